#pragma once
// The serial number and issuer name of a certificate, read without decoding the rest of it:
// what a store lookup by issuer and serial compares before it decodes the one that matches.

#include <openssl/asn1.h>

#ifdef __cplusplus
extern "C" {
#endif

/* 1 when der is exactly one certificate, with *serial (an INTEGER) and *issuer (the Name's
 * whole encoding as a SEQUENCE string) then owned by the caller; 0 otherwise. */
int marqen_read_certificate_identity(const unsigned char* der, long length, ASN1_INTEGER** serial,
                                     ASN1_STRING** issuer);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
#include <optional>
#include <span>
#include <string>

#include "platform/crypto/certificate.h"

namespace marqen::crypto {

class CertificateIdentity {
 public:
  // Empty when the bytes are not one certificate in DER, or in PEM ("CERTIFICATE").
  static std::optional<CertificateIdentity> read(std::span<const unsigned char> bytes);

  // Two upper-case hex digits per byte of the serial's encoding, as Certificate::serialText.
  const std::string& serialText() const noexcept { return serialText_; }
  // The issuer as Certificate::issuerText writes it; empty when the name does not decode.
  std::string issuerText() const;

 private:
  std::string serialText_;
  Bytes issuer_;
};

}  // namespace marqen::crypto
#endif
