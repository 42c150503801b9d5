// Exports that judge a certificate without signing or verifying data:
// checkCertificateValidity and verifySignerCertificate.

#include "library/api/cert_details.h"
#include "library/api/input_data.h"
#include "library/cert/cert_lookup.h"
#include "library/core/file_time.h"
#include "library/core/library_error.h"
#include "library/include/Marqen_InterfaceV2.h"
#include "library/validation/validity.h"
#include "library/verify/signer_judging.h"

using namespace marqen;

extern "C" {

MARQEN_API ErrorCode checkCertificateValidity(const char16_t* issuerDN, const char* serialNumber,
                                              int32_t storeType, const char16_t* pfxFilePath,
                                              const char16_t* pfxPassword, int32_t certificateType,
                                              int32_t validityTime) {
  return runExport([&] {
    const bool fromStore = issuerDN && serialNumber;
    // An empty password counts as given: it opens a file that has none.
    if (!fromStore && !(pfxFilePath && pfxPassword)) raiseError(err::MISSING_ARGUMENT);
    checkCertificateType(certificateType);
    const FileTime now = currentFileTime();
    const CertContext context = [&] {
      if (!fromStore) return getCertContextFromPfxFile(pfxFilePath, pfxPassword);
      if (storeType != STORE_PERSONAL && storeType != STORE_OTHER_PEOPLE)
        raiseError(err::INVALID_STORE_TYPE);
      const auto store = openCertificateStore(storeType);
      return getCertContextFromStore(issuerDN, serialNumber, store);
    }();
    checkUsageForType(context.certificate(), certificateType);
    const FileTime judgingTime = validityTime > 0 ? unixTimeToFileTime(validityTime) : now;
    judgeCertificateValidity(context.certificate(), judgingTime, now);
  });
}

MARQEN_API ErrorCode verifySignerCertificate(const VerifySignerCertificateRequest* request,
                                             int32_t signerIndex,
                                             SignerCertificateStatus** status) {
  return runExport([&] {
    if (!request || !request->signedData) raiseError(err::MISSING_ARGUMENT);
    if (signerIndex < 0) raiseError(err::INVALID_SIGNER_INDEX);
    InputData copy = readInput(request->signedData, {.requireSomePointer = false,
                                                     .missingPointer = err::INVALID_SIGNED_DATA,
                                                     .pointerBeforeLength = true});
    if (!status || !*status) raiseError(err::NULL_OUTPUT);
    normaliseSignedInput(copy);
    const FileTime now = currentFileTime();
    const SignerToJudge signer = findSignerToJudge(copy.bytes(), signerIndex);
    // Written whole, and only now: a failure above leaves the caller's record untouched.
    **status = judgeSignerCertificate(signer.certificate, signer.signingTime,
                                      request->revocationMode, request->revocationLevel, now);
  });
}

}  // extern "C"
