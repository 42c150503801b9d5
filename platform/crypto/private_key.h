#pragma once
// A private key the signing code can use without knowing where it lives: a key file today, a
// key on a PKCS#11 token behind the same interface.

#include <openssl/evp.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/crypto/certificate.h"
#include "platform/crypto/openssl_ptr.h"

namespace marqen::crypto {

class PrivateKey {
 public:
  virtual ~PrivateKey() = default;
  // The key as OpenSSL uses it for signing; owned by this object.
  virtual EVP_PKEY* key() const noexcept = 0;
  // Where the key comes from, for messages ("key file", "token").
  virtual std::string kind() const = 0;

  // Whether the key belongs to the certificate's public key.
  bool matches(const Certificate& certificate) const;
};

// A key held in memory, read from a PEM key file or taken out of a PFX file.
class SoftwareKey final : public PrivateKey {
 public:
  explicit SoftwareKey(EvpPkeyPtr key) : key_(std::move(key)) {}
  EVP_PKEY* key() const noexcept override { return key_.get(); }
  std::string kind() const override { return "key file"; }

 private:
  EvpPkeyPtr key_;
};

// Reads an unencrypted PEM private key; null when the file is missing or not a key.
std::unique_ptr<PrivateKey> loadKeyFile(const std::filesystem::path& path);

// PKCS#8 PEM of the key, unencrypted.
std::string privateKeyPem(const PrivateKey& key);

}  // namespace marqen::crypto
