#include "library/validation/chain_trust.h"

#include <array>
#include <utility>

#include "library/core/error_codes.h"
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

}  // namespace

ErrorCode trustStatusCode(std::uint32_t errorStatus) {
  ErrorCode code = err::NO_ERROR;
  for (const auto& [bit, bitCode] : kStatusCodes)
    if (errorStatus & bit) code = bitCode;
  return code;
}

ErrorCode evaluateChainTrust(const crypto::Certificate& certificate, int32_t revocationMode,
                             int32_t revocationLevel) {
  if (revocationLevel < REVOCATION_NONE || revocationLevel > REVOCATION_CHAIN)
    return err::INVALID_REVOCATION_LEVEL;
  if (revocationMode != REVOCATION_ONLINE && revocationMode != REVOCATION_OFFLINE)
    return err::INVALID_REVOCATION_MODE;

  crypto::ChainOptions options;
  options.revocation = revocationLevel == REVOCATION_END_CERT
                           ? crypto::RevocationScope::EndCertificate
                       : revocationLevel == REVOCATION_CHAIN ? crypto::RevocationScope::WholeChain
                                                             : crypto::RevocationScope::None;
  options.cacheOnly = revocationMode == REVOCATION_OFFLINE && revocationLevel != REVOCATION_NONE;
  const auto chain = crypto::buildChain(certificate, options);
  if (!chain) return err::CHAIN_CREATE;

  const std::uint32_t status = chain->errorStatus;
  ErrorCode code = trustStatusCode(status);
  if (revocationLevel == REVOCATION_NONE && code == err::NO_ERROR)
    code = err::REVOCATION_NOT_CHECKED;

  const bool revocationOpen = status == 0 || (status & crypto::kTrustRevocationStatusUnknown) != 0;
  if (revocationMode == REVOCATION_ONLINE && revocationOpen) {
    if (revocationLevel == REVOCATION_NONE) return err::NO_ERROR;
    if (const ErrorCode crl = checkChainRevocationByCrl(certificate, revocationLevel);
        crl != err::NO_ERROR)
      return crl;
    // The library's own check settles revocation only; every other finding still counts.
    return trustStatusCode(status & ~kRevocationFindings);
  }
  return code;
}

}  // namespace marqen
