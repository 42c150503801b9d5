#include "library/validation/chain_trust.h"

#include <array>
#include <utility>

#include "library/api/error_codes.h"
#include "library/validation/crl_check.h"
#include "platform/crypto/chain_engine.h"

namespace marqen {
namespace {

constexpr std::array<std::pair<std::uint32_t, ErrorCode>, 13> kStatusCodes = {{
    {crypto::kTrustIsNotTimeValid, err::kTrustNotTimeValid},
    {crypto::kTrustIsNotTimeNested, err::kTrustNotTimeNested},
    {crypto::kTrustIsRevoked, err::kTrustRevoked},
    {crypto::kTrustIsNotSignatureValid, err::kTrustBadSignature},
    {crypto::kTrustIsNotValidForUsage, err::kTrustWrongUsage},
    {crypto::kTrustIsUntrustedRoot, err::kTrustUntrustedRoot},
    {crypto::kTrustRevocationStatusUnknown, err::kTrustRevocationUnknown},
    {crypto::kTrustIsCyclic, err::kTrustCyclic},
    {crypto::kTrustIsPartialChain, err::kTrustPartialChain},
    {crypto::kTrustCtlIsNotTimeValid, err::kTrustCtlNotTimeValid},
    {crypto::kTrustCtlIsNotSignatureValid, err::kTrustCtlBadSignature},
    {crypto::kTrustCtlIsNotValidForUsage, err::kTrustCtlWrongUsage},
    {crypto::kTrustIsOfflineRevocation, err::kTrustRevocationOffline},
}};

constexpr std::uint32_t kRevocationFindings =
    crypto::kTrustRevocationStatusUnknown | crypto::kTrustIsOfflineRevocation;

}  // namespace

ErrorCode trustStatusCode(std::uint32_t errorStatus) {
  ErrorCode code = err::kNoError;
  for (const auto& [bit, bitCode] : kStatusCodes)
    if (errorStatus & bit) code = bitCode;
  return code;
}

ErrorCode evaluateChainTrust(const crypto::Certificate& certificate, int32_t revocationMode,
                             int32_t revocationLevel) {
  if (revocationLevel < REVOCATION_NONE || revocationLevel > REVOCATION_CHAIN)
    return err::kInvalidRevocationLevel;
  if (revocationMode != REVOCATION_ONLINE && revocationMode != REVOCATION_OFFLINE)
    return err::kInvalidRevocationMode;

  crypto::ChainOptions options;
  options.revocation = revocationLevel == REVOCATION_END_CERT
                           ? crypto::RevocationScope::EndCertificate
                       : revocationLevel == REVOCATION_CHAIN ? crypto::RevocationScope::WholeChain
                                                             : crypto::RevocationScope::None;
  options.cacheOnly = revocationMode == REVOCATION_OFFLINE && revocationLevel != REVOCATION_NONE;
  const auto chain = crypto::buildChain(certificate, options);
  if (!chain) return err::kChainCreate;

  const std::uint32_t status = chain->errorStatus;
  ErrorCode code = trustStatusCode(status);
  if (revocationLevel == REVOCATION_NONE && code == err::kNoError)
    code = err::kRevocationNotChecked;

  const bool revocationOpen = status == 0 || (status & crypto::kTrustRevocationStatusUnknown) != 0;
  if (revocationMode == REVOCATION_ONLINE && revocationOpen) {
    if (revocationLevel == REVOCATION_NONE) return err::kNoError;
    if (const ErrorCode crl = checkChainRevocationByCrl(certificate, revocationLevel);
        crl != err::kNoError)
      return crl;
    // The library's own check settles revocation only; every other finding still counts.
    return trustStatusCode(status & ~kRevocationFindings);
  }
  return code;
}

}  // namespace marqen
