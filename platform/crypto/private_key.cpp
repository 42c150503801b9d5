#include "platform/crypto/private_key.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>
#include <stdexcept>

namespace marqen::crypto {

bool PrivateKey::matches(const Certificate& certificate) const {
  const bool ok = X509_check_private_key(certificate.get(), key()) == 1;
  ERR_clear_error();
  return ok;
}

std::unique_ptr<PrivateKey> loadKeyFile(const std::filesystem::path& path) {
  OpenSslPtr<BIO, BIO_free> bio(BIO_new_file(path.c_str(), "r"));
  if (!bio) {
    ERR_clear_error();
    return nullptr;
  }
  // A passphrase-protected file gets no passphrase and fails, which is the answer we want.
  EvpPkeyPtr key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, const_cast<char*>("")));
  ERR_clear_error();
  if (!key) return nullptr;
  return std::make_unique<SoftwareKey>(std::move(key));
}

std::string privateKeyPem(const PrivateKey& key) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_PKCS8PrivateKey(bio.get(), key.key(), nullptr, nullptr, 0, nullptr,
                                            nullptr) != 1)
    throw std::runtime_error("private key cannot be written as PEM");
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(n));
}

}  // namespace marqen::crypto
