#pragma once
// The current user's certificate stores as folders under $MARQEN_CERTSTORE:
// MY/ ADDRESSBOOK/ CA/ ROOT/ hold one certificate per .cer/.crt/.der/.pem file (DER or PEM);
// a certificate in MY may have its private key beside it in <same name>.key (PEM) or
// <same name>.p11 (a PKCS#11 URI). A store lists its certificates in byte order of file names.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/crypto/certificate.h"
#include "platform/crypto/private_key.h"
#include "platform/crypto/token_key.h"

namespace marqen::crypto {

// $MARQEN_CERTSTORE, else ${XDG_DATA_HOME:-$HOME/.local/share}/marqen/certstore.
std::filesystem::path certStoreRoot();

struct StoredCertificate {
  Certificate certificate;
  std::filesystem::path file;

  std::filesystem::path keyFile() const;    // <base>.key
  std::filesystem::path tokenFile() const;  // <base>.p11
  bool hasPrivateKey() const;
  // The private key beside the certificate, when there is one and it belongs to it: a key
  // file, else the token key its .p11 file names (whose PIN `askPin` may be asked for).
  std::unique_ptr<PrivateKey> openPrivateKey() const;
  KeyOpening openPrivateKey(const PinAsker& askPin) const;
};

class CertificateStore {
 public:
  // A store by its system name ("MY", "ADDRESSBOOK", "CA", "ROOT", "CRL") under the root.
  // A missing folder is an empty store; empty result only when it exists but cannot be read.
  static std::optional<CertificateStore> open(std::string_view name);
  static std::optional<CertificateStore> openFolder(const std::filesystem::path& folder);

  const std::filesystem::path& folder() const noexcept { return folder_; }
  // In the store's own order. Files that hold no certificate are passed over. The files are
  // read when this is first asked for, so a store is not shared between threads.
  const std::vector<StoredCertificate>& certificates() const;

  // The first certificate in the store's order whose serial text and issuer text are accepted,
  // the issuer asked about only when the serial is. Of the other files only the serial number
  // is decoded, and only the match is decoded whole.
  struct IdentityMatch {
    std::function<bool(std::string_view serialText)> serial;
    std::function<bool(const std::string& issuerText)> issuer;
  };
  std::optional<StoredCertificate> find(const IdentityMatch& match) const;

 private:
  std::filesystem::path folder_;
  std::vector<std::filesystem::path> files_;
  mutable std::optional<std::vector<StoredCertificate>> certificates_;
};

enum class IssuerStatus { Found, SelfSigned, NotFound };

struct IssuerLookup {
  IssuerStatus status = IssuerStatus::NotFound;
  std::optional<Certificate> issuer;
};

// The certificate's issuer: the first certificate, store by store in the order given and in
// each store's own order, whose subject is the issuer name and whose key verifies the
// signature. A self-signed certificate is reported as such without searching.
IssuerLookup findIssuer(const Certificate& subject,
                        std::initializer_list<const CertificateStore*> stores);

// Adding to and removing from a store folder, for the store management command.
enum class StoreWrite { Written, AlreadyPresent, Failed };
// Writes <thumbprint>.cer (DER) and, with a key, <thumbprint>.key (PEM, mode 0600). Each file
// appears under its final name complete or not at all.
StoreWrite addToStore(const std::filesystem::path& folder, const Certificate& certificate,
                      const PrivateKey* key = nullptr);
// Writes <thumbprint>.cer with <thumbprint>.p11 beside it, holding the URI of its token key.
StoreWrite addTokenCertificateToStore(const std::filesystem::path& folder,
                                      const Certificate& certificate, const std::string& keyUri);
// Removes the certificate file and any key files beside it.
bool removeFromStore(const StoredCertificate& entry);

}  // namespace marqen::crypto
