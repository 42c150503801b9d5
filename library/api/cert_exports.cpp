// Exports that report certificates: getCertificateDetailsFromStore, ...FromFile,
// ...FromCertString, listAllCertificatesFromStore and viewCertificate.

#include <memory>
#include <vector>

#include "library/api/cert_details.h"
#include "library/api/heap_buffer.h"
#include "library/cert/cert_listing.h"
#include "library/cert/cert_lookup.h"
#include "library/cert/cert_viewer.h"
#include "library/core/library_error.h"
#include "library/include/Marqen_InterfaceV2.h"
#include "library/validation/cert_checks.h"

using namespace marqen;

namespace {

void checkStoreType(int32_t storeType) {
  if (storeType != STORE_PERSONAL && storeType != STORE_OTHER_PEOPLE)
    raiseError(err::INVALID_STORE_TYPE);
}

struct SummaryDeleter {
  void operator()(CertificateSummary* summary) const noexcept {
    std::free(summary->issuerName);
    std::free(summary->serialNumberHex);
    std::free(summary->subjectName);
    std::free(summary);
  }
};
using OwnedSummary = std::unique_ptr<CertificateSummary, SummaryDeleter>;

// The certificate viewCertificate shows: from the store when issuer and serial are given, else
// from the PFX file when its path is given, else from the certificate string.
CertContext certificateToView(const char16_t* issuerDN, const char* serialNumber, int32_t storeType,
                              const char16_t* pfxFilePath, const char16_t* pfxPassword,
                              const char* certificateString, int32_t certificateStringLength) {
  if (issuerDN && serialNumber) {
    checkStoreType(storeType);
    const auto store = openCertificateStore(storeType);
    return getCertContextFromStore(issuerDN, serialNumber, store);
  }
  if (pfxFilePath) return getCertContextFromPfxFile(pfxFilePath, pfxPassword);
  return getCertContextFromCertString(certificateString, certificateStringLength);
}

}  // namespace

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

MARQEN_API ErrorCode listAllCertificatesFromStore(int32_t certificateType, int32_t storeType,
                                                  CertificateSummary*** list, int32_t* count) {
  return runExport([&] {
    checkCertificateType(certificateType);
    checkStoreType(storeType);
    if (!list || !count) raiseError(err::NULL_OUTPUT);
    const auto store = openCertificateStore(storeType);
    const auto fit = listFitCertificates(store, certificateType, currentFileTime());

    std::vector<OwnedSummary> summaries;
    summaries.reserve(fit.size());
    for (const auto& certificate : fit) {
      OwnedSummary summary(heapRecords<CertificateSummary>(1).release());
      fillCertificateIdentity(certificate, *summary);
      summaries.push_back(std::move(summary));
    }
    // The null pointer after the last entry is part of the list.
    auto array = heapPointers<CertificateSummary>(summaries.size() + 1);
    for (std::size_t i = 0; i < summaries.size(); ++i)
      array.get()[i] = summaries[i].release();
    *list = array.release();
    *count = static_cast<int32_t>(fit.size());
  });
}

MARQEN_API ErrorCode viewCertificate(const char16_t* issuerDN, const char* serialNumber,
                                     int32_t storeType, const char16_t* pfxFilePath,
                                     const char16_t* pfxPassword, const char* certificateString,
                                     int32_t certificateStringLength, int32_t certificateType) {
  return runExport([&] {
    const bool fromStore = issuerDN && serialNumber;
    const bool fromFile = pfxFilePath && pfxPassword;
    const bool fromString = certificateString && certificateStringLength > 0;
    if (!fromStore && !fromFile && !fromString) raiseError(err::MISSING_ARGUMENT);
    checkCertificateType(certificateType);
    const CertContext context =
        certificateToView(issuerDN, serialNumber, storeType, pfxFilePath, pfxPassword,
                          certificateString, certificateStringLength);
    const crypto::Certificate& certificate = context.certificate();
    checkUsageForType(certificate, certificateType);
    checkTrustedCA(&certificate).require();
    showCertificate(certificate);
  });
}

}  // extern "C"
