#include "library/api/cert_details.h"

#include "library/api/heap_buffer.h"
#include "library/core/file_time.h"
#include "library/core/library_error.h"
#include "library/validation/cert_checks.h"
#include "platform/os/text.h"

namespace marqen {

void checkCertificateType(int32_t certificateType) {
  if (certificateType != SIGNING_CERTIFICATE && certificateType != ENCRYPTION_CERTIFICATE)
    raiseError(err::INVALID_CERT_TYPE);
}

void checkDetailsRecord(CertificateDetails** result) {
  if (!result || !*result) raiseError(err::NULL_OUTPUT);
}

void checkUsageForType(const crypto::Certificate& certificate, int32_t certificateType) {
  if (certificateType == SIGNING_CERTIFICATE)
    checkDigitalSignatureUsage(&certificate);
  else
    checkKeyEnciphermentUsage(&certificate);
}

template <typename Record>
void fillCertificateIdentity(const crypto::Certificate& certificate, Record& record) {
  auto issuer = heapCopy(std::u16string_view(os::toUtf16(certificate.issuerText())));
  auto serial = heapCopy(std::string_view(serialNumberText(certificate)));
  auto subject = heapCopy(std::u16string_view(os::toUtf16(certificate.subjectText())));
  // notAfter goes through FILETIME like every other time the library reports.
  const FileTime notAfter = FileTime::fromUnixSeconds(certificate.notAfter());
  const int32_t expiry = fileTimeToUnixTime(notAfter.low(), notAfter.high());

  record.issuerName = issuer.release();
  record.serialNumberHex = serial.release();
  record.subjectName = subject.release();
  record.expiryTime = expiry;
}

template void fillCertificateIdentity<CertificateDetails>(const crypto::Certificate&,
                                                          CertificateDetails&);

void fillCertificateDetails(const CertContext& context, int32_t certificateType,
                            CertificateDetails& record) {
  const crypto::Certificate& certificate = context.certificate();
  checkUsageForType(certificate, certificateType);
  record.certificateType = certificateType;
  checkTrustedCA(&certificate).require();
  fillCertificateIdentity(certificate, record);
}

}  // namespace marqen
