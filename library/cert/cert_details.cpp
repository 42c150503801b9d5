#include "library/cert/cert_details.h"

#include "library/core/library_error.h"
#include "library/util/file_time.h"
#include "library/util/heap_buffer.h"
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

ErrorCode checkUsageForType(const crypto::Certificate& certificate, int32_t certificateType) {
  return certificateType == SIGNING_CERTIFICATE ? checkDigitalSignatureUsage(&certificate)
                                                : checkKeyEnciphermentUsage(&certificate);
}

template <typename Record>
void fillCertificateIdentity(const crypto::Certificate& certificate, Record& record) {
  auto issuer = heapCopy(std::u16string_view(os::toUtf16(certificate.issuerText())));
  auto serial = heapCopy(std::string_view(serialNumberText(certificate)));
  auto subject = heapCopy(std::u16string_view(os::toUtf16(certificate.subjectText())));
  // notAfter goes through FILETIME like every other time the library reports.
  const std::int64_t notAfter = certificate.notAfter();
  const auto ticks = static_cast<uint64_t>((notAfter + 11644473600LL) * 10000000LL);
  const int32_t expiry =
      fileTimeToUnixTime(static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32));

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
  raiseIfFailed(checkUsageForType(certificate, certificateType));
  record.certificateType = certificateType;
  if (const ErrorCode trusted = checkTrustedCA(&certificate); trusted != err::NO_TRUSTED_CA_LIST)
    raiseIfFailed(trusted);
  fillCertificateIdentity(certificate, record);
}

}  // namespace marqen
