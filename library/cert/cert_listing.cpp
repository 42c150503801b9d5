#include "library/cert/cert_listing.h"

#include "library/cert/cert_lookup.h"
#include "library/core/library_error.h"
#include "library/include/Marqen_InterfaceV2.h"
#include "library/validation/cert_checks.h"

namespace marqen {
namespace {

bool hasUsageFor(const crypto::Certificate& certificate, int32_t certificateType) {
  try {
    if (certificateType == SIGNING_CERTIFICATE)
      checkDigitalSignatureUsage(&certificate);
    else
      checkKeyEnciphermentUsage(&certificate);
    return true;
  } catch (const LibraryError&) {
    return false;
  }
}

}  // namespace

std::vector<crypto::Certificate> listFitCertificates(const crypto::CertificateStore& store,
                                                     int32_t certificateType, FileTime now) {
  TrustedCARule trustedCA;
  std::vector<crypto::Certificate> fit;
  for (const auto& entry : store.certificates()) {
    const crypto::Certificate& certificate = entry.certificate;
    if (!hasUsageFor(certificate, certificateType)) continue;
    try {
      checkTimeValidity(certificate, now);
    } catch (const LibraryError&) {
      continue;
    }
    if (!trustedCA.check(certificate).passed()) continue;
    fit.push_back(certificate);
  }
  return fit;
}

}  // namespace marqen
