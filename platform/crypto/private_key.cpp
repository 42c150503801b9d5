#include "platform/crypto/private_key.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <climits>
#include <cstdio>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/crypto/failure_reason.h"
#include "platform/os/file_access.h"

namespace marqen::crypto {

bool PrivateKey::matches(const Certificate& certificate) const {
  const bool ok = X509_check_private_key(certificate.get(), key()) == 1;
  keepFailureReason();
  return ok;
}

namespace {

// A digest of a key file's content: the cache answers only for the very bytes it decoded,
// without keeping a second copy of the key text.
using FileIdentity = std::string;

FileIdentity identityOf(const std::string& content) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(content.data(), content.size(), digest, &length, EVP_sha256(), nullptr) != 1)
    return {};
  return FileIdentity(reinterpret_cast<const char*>(digest), length);
}

std::optional<std::string> contentOf(const std::filesystem::path& path) {
  auto bytes = os::readSmallFile(path.string());
  if (!bytes) return std::nullopt;
  std::string content(bytes->begin(), bytes->end());
  OPENSSL_cleanse(bytes->data(), bytes->size());
  return content;
}

// Keys read from files, kept while their file holds the same bytes. Decoding a PEM key and
// preparing it for its first signature cost several times the signature itself; a program
// that signs repeatedly with one certificate pays that once. A changed file is decoded again.
class KeyFileCache {
 public:
  EvpPkeyPtr find(const std::filesystem::path& path, const FileIdentity& identity) {
    std::lock_guard lock(mutex_);
    for (auto& entry : entries_) {
      if (entry.path != path || entry.identity != identity) continue;
      return upRef(entry.key.get());
    }
    return nullptr;
  }
  void remember(const std::filesystem::path& path, const FileIdentity& identity, EVP_PKEY* key) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [&](const Entry& e) { return e.path == path; });
    if (entries_.size() >= kCapacity) entries_.erase(entries_.begin());
    entries_.push_back({path, identity, upRef(key)});
  }

 private:
  static constexpr std::size_t kCapacity = 8;
  struct Entry {
    std::filesystem::path path;
    FileIdentity identity;
    EvpPkeyPtr key;
  };
  std::mutex mutex_;
  std::vector<Entry> entries_;
};

KeyFileCache& keyFileCache() {
  static KeyFileCache cache;
  return cache;
}

EvpPkeyPtr decodeKey(const std::string& pem) {
  if (pem.size() > static_cast<std::size_t>(INT_MAX)) return nullptr;
  BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  // A passphrase-protected file gets no passphrase and fails, which is the answer we want.
  EvpPkeyPtr key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, const_cast<char*>(""))
                     : nullptr);
  keepFailureReason();
  return key;
}

}  // namespace

std::unique_ptr<PrivateKey> loadKeyFile(const std::filesystem::path& path) {
  auto content = contentOf(path);
  if (!content) return nullptr;
  const FileIdentity identity = identityOf(*content);
  EvpPkeyPtr key = identity.empty() ? nullptr : keyFileCache().find(path, identity);
  if (!key) {
    key = decodeKey(*content);
    if (key && !identity.empty()) keyFileCache().remember(path, identity, key.get());
  }
  OPENSSL_cleanse(content->data(), content->size());
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
