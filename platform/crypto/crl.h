#pragma once
// Certificate revocation lists, read and checked with OpenSSL.

#include <openssl/x509.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "platform/crypto/certificate.h"
#include "platform/crypto/openssl_ptr.h"

namespace marqen::crypto {

class Crl {
 public:
  explicit Crl(X509CrlPtr crl);
  Crl(const Crl& other);
  Crl& operator=(const Crl& other);
  Crl(Crl&&) noexcept = default;
  Crl& operator=(Crl&&) noexcept = default;
  ~Crl() = default;

  // Exactly one DER CRL, nothing after it.
  static std::optional<Crl> fromDer(std::span<const unsigned char> der);
  // DER, or PEM with "-----BEGIN X509 CRL-----".
  static std::optional<Crl> fromDerOrPem(std::span<const unsigned char> bytes);

  X509_CRL* get() const noexcept { return crl_.get(); }
  const X509_NAME* issuer() const noexcept;
  std::int64_t thisUpdate() const;
  std::optional<std::int64_t> nextUpdate() const;  // empty: the CRL names no next update
  // -1 before thisUpdate, +1 after nextUpdate, 0 inside.
  int timeValidity(std::int64_t unixTime) const;

  // Whether the CRL's issuer name is the certificate's issuer name.
  bool namesIssuerOf(const Certificate& certificate) const;
  // Whether the key of `signer` verifies the CRL's signature.
  bool isSignedBy(const Certificate& signer) const;
  // Whether the certificate's serial number is listed (the caller has matched the issuer).
  bool lists(const Certificate& certificate) const;

 private:
  X509CrlPtr crl_;
};

// Every CRL in a folder (DER or PEM files; others are passed over), in file-name order.
std::vector<Crl> loadCrlFolder(const std::filesystem::path& folder);

}  // namespace marqen::crypto
