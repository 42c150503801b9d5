#include "library/validation/validity.h"

#include "library/core/library_error.h"
#include "library/validation/cert_checks.h"
#include "library/validation/chain_trust.h"

namespace marqen {
namespace {

// The code a raising check ends with, 0 when it returns.
template <typename Check>
ErrorCode codeOf(Check&& check) {
  try {
    check();
    return err::NO_ERROR;
  } catch (const LibraryError& e) {
    return e.code();
  }
}

}  // namespace

void judgeCertificateValidity(const crypto::Certificate& certificate, FileTime judgingTime,
                              FileTime now) {
  checkTrustedCA(&certificate).require();
  checkTimeValidityAt(certificate, judgingTime);
  checkChainExpiry(&certificate, now);
}

SignerCertificateStatus judgeSignerCertificate(const crypto::Certificate& certificate,
                                               FileTime signingTime, int32_t revocationMode,
                                               int32_t revocationLevel, FileTime now) {
  SignerCertificateStatus status{};
  status.currentTimeValidity = codeOf([&] { checkTimeValidity(certificate, now); });
  status.signingTimeValidity = codeOf([&] { checkTimeValidityAt(certificate, signingTime); });
  status.chainValidity = codeOf([&] { checkChainExpiry(&certificate, now); });
  status.chainTrust = codeOf([&] {
    const CheckOutcome trust =
        evaluateChainTrust(certificate, revocationMode, revocationLevel, now);
    if (trust.kind() == CheckOutcome::Kind::Failure) raiseError(trust.code());
  });
  return status;
}

}  // namespace marqen
