#pragma once
// An X.509 certificate: its encoding, names, serial number, validity and extensions, read with
// OpenSSL. Copies share the one parsed certificate.

#include <openssl/x509.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/crypto/openssl_ptr.h"

namespace marqen::crypto {

using Bytes = std::vector<unsigned char>;

// An ASN.1 time as Unix seconds (64-bit); throws when it cannot be read.
std::int64_t unixSecondsOf(const ASN1_TIME* time);

// Key usage bits in the first byte of the extension, as the library tests them.
inline constexpr unsigned kDigitalSignatureUsage = 0x80;
inline constexpr unsigned kKeyEnciphermentUsage = 0x20;
inline constexpr unsigned kKeyCertSignUsage = 0x04;

// A serial number's DER content octets, most significant first, leading zero kept; and the
// same as two upper-case hex digits per byte. Both throw when the number cannot be encoded.
Bytes serialContentOctets(const ASN1_INTEGER* serial);
std::string serialHexText(const ASN1_INTEGER* serial);

class Certificate {
 public:
  // Takes over one reference to the certificate.
  explicit Certificate(X509Ptr certificate);
  Certificate(const Certificate& other);
  Certificate& operator=(const Certificate& other);
  Certificate(Certificate&&) noexcept = default;
  Certificate& operator=(Certificate&&) noexcept = default;
  ~Certificate() = default;

  // Exactly one DER certificate, nothing after it; empty when it does not parse.
  static std::optional<Certificate> fromDer(std::span<const unsigned char> der);
  // DER, or PEM with "-----BEGIN CERTIFICATE-----".
  static std::optional<Certificate> fromDerOrPem(std::span<const unsigned char> bytes);

  X509* get() const noexcept { return certificate_.get(); }
  Bytes der() const;
  std::string pem() const;

  const X509_NAME* subject() const noexcept;
  const X509_NAME* issuer() const noexcept;
  std::string subjectText() const;  // Windows X.500 reverse-order text, UTF-8
  std::string issuerText() const;

  // Content octets of the DER serial number, most significant first, leading zero kept.
  Bytes serialBytes() const;
  // Two upper-case hex digits per serial byte, most significant first.
  std::string serialText() const;

  // Validity in Unix seconds (64-bit: dates past 2038 and before 1970 stay exact).
  std::int64_t notBefore() const;
  std::int64_t notAfter() const;
  // -1 before notBefore, +1 after notAfter, 0 inside (both ends included).
  int timeValidity(std::int64_t unixTime) const;

  // One entry per CRL distribution point: the first name of the point's full name when it is a
  // URL, else empty. No entries when the extension is absent or does not decode.
  std::vector<std::string> crlDistributionPointUrls() const;

  // The authority information access extension (OID 1.3.6.1.5.5.7.1.1): whether it is there and
  // decodes, and the location of its first access description when that is a URI (an empty
  // text when it is a name of another kind, or when the extension lists no description).
  struct AuthorityInfoAccess {
    enum class Status { Absent, Undecodable, Present } status = Status::Absent;
    std::string firstUri;
  };
  AuthorityInfoAccess authorityInfoAccess() const;

  // First byte of the key usage extension; empty when the certificate has none.
  std::optional<unsigned> keyUsageFirstByte() const;

  bool sameAs(const Certificate& other) const noexcept;
  // SHA-1 of the encoding as upper-case hex.
  std::string thumbprint() const;

  // Whether `issuer`'s subject is this certificate's issuer and its key verifies our signature.
  bool isIssuedBy(const Certificate& issuer) const;
  // Issuer name equals subject name and our own key verifies the signature.
  bool isSelfSigned() const;

 private:
  X509Ptr certificate_;
};

}  // namespace marqen::crypto
