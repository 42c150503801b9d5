#include "library/validation/chain_trust.h"

#include <array>
#include <utility>

#include "library/core/library_error.h"
#include "library/validation/crl_check.h"
#include "platform/crypto/chain_engine.h"

namespace marqen {
namespace {

constexpr std::array<std::pair<std::uint32_t, ErrorCode>, 13> kStatusCodes = {{
    {crypto::kTrustIsNotTimeValid, err::TRUST_NOT_TIME_VALID},
    {crypto::kTrustIsNotTimeNested, err::TRUST_NOT_TIME_NESTED},
    {crypto::kTrustIsRevoked, err::TRUST_REVOKED},
    {crypto::kTrustIsNotSignatureValid, err::TRUST_BAD_SIGNATURE},
    {crypto::kTrustIsNotValidForUsage, err::TRUST_WRONG_USAGE},
    {crypto::kTrustIsUntrustedRoot, err::TRUST_UNTRUSTED_ROOT},
    {crypto::kTrustRevocationStatusUnknown, err::TRUST_REVOCATION_UNKNOWN},
    {crypto::kTrustIsCyclic, err::TRUST_CYCLIC},
    {crypto::kTrustIsPartialChain, err::TRUST_PARTIAL_CHAIN},
    {crypto::kTrustCtlIsNotTimeValid, err::TRUST_CTL_NOT_TIME_VALID},
    {crypto::kTrustCtlIsNotSignatureValid, err::TRUST_CTL_BAD_SIGNATURE},
    {crypto::kTrustCtlIsNotValidForUsage, err::TRUST_CTL_WRONG_USAGE},
    {crypto::kTrustIsOfflineRevocation, err::TRUST_REVOCATION_OFFLINE},
}};

constexpr std::uint32_t kRevocationFindings =
    crypto::kTrustRevocationStatusUnknown | crypto::kTrustIsOfflineRevocation;

CheckOutcome outcomeOf(ErrorCode code) {
  return code == err::NO_ERROR ? CheckOutcome::pass() : CheckOutcome::failure(code);
}

}  // namespace

ErrorCode trustStatusCode(std::uint32_t errorStatus) {
  ErrorCode code = err::NO_ERROR;
  for (const auto& [bit, bitCode] : kStatusCodes)
    if (errorStatus & bit) code = bitCode;
  return code;
}

CheckOutcome evaluateChainTrust(const crypto::Certificate& certificate, int32_t revocationMode,
                                int32_t revocationLevel, FileTime now) {
  if (revocationLevel < REVOCATION_NONE || revocationLevel > REVOCATION_CHAIN)
    return CheckOutcome::failure(err::INVALID_REVOCATION_LEVEL);
  if (revocationMode != REVOCATION_ONLINE && revocationMode != REVOCATION_OFFLINE)
    return CheckOutcome::failure(err::INVALID_REVOCATION_MODE);

  crypto::ChainOptions options;
  options.revocation = revocationLevel == REVOCATION_END_CERT
                           ? crypto::RevocationScope::EndCertificate
                       : revocationLevel == REVOCATION_CHAIN ? crypto::RevocationScope::WholeChain
                                                             : crypto::RevocationScope::None;
  options.cacheOnly = revocationMode == REVOCATION_OFFLINE && revocationLevel != REVOCATION_NONE;
  const auto chain = crypto::buildChain(certificate, options);
  if (!chain) return CheckOutcome::failure(err::CHAIN_CREATE);

  const std::uint32_t status = chain->errorStatus;
  const bool revocationOpen = status == 0 || (status & crypto::kTrustRevocationStatusUnknown) != 0;
  if (revocationMode == REVOCATION_ONLINE && revocationOpen) {
    if (revocationLevel == REVOCATION_NONE) return CheckOutcome::pass();
    try {
      checkChainRevocationByCrl(certificate, revocationLevel, now);
    } catch (const LibraryError& e) {
      return CheckOutcome::failure(e.code());
    }
    // The library's own check settles revocation only; every other finding still counts.
    return outcomeOf(trustStatusCode(status & ~kRevocationFindings));
  }
  const ErrorCode code = trustStatusCode(status);
  if (code == err::NO_ERROR && revocationLevel == REVOCATION_NONE)
    return CheckOutcome::passWithNote(err::REVOCATION_NOT_CHECKED);
  return outcomeOf(code);
}

}  // namespace marqen
