#pragma once
// Finding the one certificate an operation works with: in a store by issuer name and serial
// number, in a PFX file, or from an encoded string; and the key-usage checks that follow.

#include <memory>
#include <optional>
#include <string>

#include "library/include/Marqen_InterfaceV2.h"
#include "platform/crypto/cert_store.h"
#include "platform/crypto/certificate.h"
#include "platform/crypto/private_key.h"

namespace marqen {

// A located certificate and where its private key can be had, if anywhere.
class CertContext {
 public:
  explicit CertContext(crypto::Certificate certificate) : certificate_(std::move(certificate)) {}
  CertContext(crypto::Certificate certificate, std::shared_ptr<crypto::PrivateKey> key)
      : certificate_(std::move(certificate)), key_(std::move(key)) {}
  explicit CertContext(crypto::StoredCertificate stored)
      : certificate_(stored.certificate), stored_(std::move(stored)) {}

  const crypto::Certificate& certificate() const noexcept { return certificate_; }
  // The certificate's private key, or null when it has none that can be used. A key on a token
  // may ask the user for its PIN; why a token key cannot be had goes to the log.
  std::shared_ptr<crypto::PrivateKey> acquirePrivateKey() const;
  // Logs the token holding the key out, so that the next acquisition asks for the PIN again.
  void forgetPin() const;

 private:
  crypto::Certificate certificate_;
  std::shared_ptr<crypto::PrivateKey> key_;
  std::optional<crypto::StoredCertificate> stored_;
};

// "MY" for STORE_PERSONAL, "ADDRESSBOOK" for STORE_OTHER_PEOPLE; callers check the type first.
// Raises 304 when the store cannot be read.
crypto::CertificateStore openCertificateStore(int32_t storeType);
// Raises 304 when the named system store cannot be read.
crypto::CertificateStore openSystemStore(const char* name);

// Raises 105/104 (each logged) for a missing or empty issuer name or serial number, 308 when no
// certificate matches. The serial compares case-insensitively; the issuer by name matching.
CertContext getCertContextFromStore(const char16_t* issuerDN, const char* serialNumber,
                                    const crypto::CertificateStore& store);

// Raises 102 (null path), 305 (missing file), the file reader's codes, 306 (not a PFX),
// 307 (import failed, e.g. wrong password), 308 (no certificate with its key).
CertContext getCertContextFromPfxFile(const char16_t* path, const char16_t* password);

// Base64 text (up to its first zero byte) or else the first `length` bytes as DER. Raises 308.
CertContext getCertContextFromCertString(const char* text, int32_t length);

std::string serialNumberText(const crypto::Certificate& certificate);

// Raise 102 (no certificate), 302 (no key usage extension), 301 / 309 (bit not set).
void checkDigitalSignatureUsage(const crypto::Certificate* certificate);
void checkKeyEnciphermentUsage(const crypto::Certificate* certificate);

}  // namespace marqen
