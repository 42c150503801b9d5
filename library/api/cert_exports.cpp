// Exports that report a certificate's details: getCertificateDetailsFromStore, ...FromFile,
// ...FromCertString.

#include "library/api/cert_details.h"
#include "library/cert/cert_lookup.h"
#include "library/core/library_error.h"
#include "library/include/Marqen_InterfaceV2.h"

using namespace marqen;

extern "C" {

MARQEN_API ErrorCode getCertificateDetailsFromStore(const char16_t* issuerDN,
                                                    const char* serialNumber, int32_t storeType,
                                                    int32_t certificateType,
                                                    CertificateDetails** result) {
  return runExport([&] {
    if (!issuerDN || !serialNumber) raiseError(err::MISSING_ARGUMENT);
    checkCertificateType(certificateType);
    if (storeType != STORE_PERSONAL && storeType != STORE_OTHER_PEOPLE)
      raiseError(err::INVALID_STORE_TYPE);
    checkDetailsRecord(result);
    const auto store = openCertificateStore(storeType);
    const CertContext context = getCertContextFromStore(issuerDN, serialNumber, store);
    fillCertificateDetails(context, certificateType, **result);
  });
}

MARQEN_API ErrorCode getCertificateDetailsFromFile(const char16_t* pfxFilePath,
                                                   const char16_t* pfxPassword,
                                                   int32_t certificateType,
                                                   CertificateDetails** result) {
  return runExport([&] {
    if (!pfxFilePath) raiseError(err::MISSING_ARGUMENT);
    checkCertificateType(certificateType);
    checkDetailsRecord(result);
    const CertContext context = getCertContextFromPfxFile(pfxFilePath, pfxPassword);
    fillCertificateDetails(context, certificateType, **result);
  });
}

MARQEN_API ErrorCode getCertificateDetailsFromCertString(const char* certString, int32_t length,
                                                         int32_t certificateType,
                                                         CertificateDetails** result) {
  return runExport([&] {
    if (!certString) raiseError(err::MISSING_ARGUMENT);
    if (length <= 0) raiseError(err::INVALID_CERT_STRING_LENGTH);
    checkCertificateType(certificateType);
    checkDetailsRecord(result);
    const CertContext context = getCertContextFromCertString(certString, length);
    fillCertificateDetails(context, certificateType, **result);
  });
}

}  // extern "C"
