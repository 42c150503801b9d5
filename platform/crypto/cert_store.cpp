#include "platform/crypto/cert_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/asn1.h>
#include <openssl/err.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <set>
#include <system_error>

#include "platform/crypto/certificate_identity.h"
#include "platform/os/file_access.h"

namespace marqen::crypto {
namespace fs = std::filesystem;

namespace {

constexpr std::array kCertificateExtensions = {".cer", ".crt", ".der", ".pem"};
// Far above any real certificate; a larger file in a store is not read at all.
constexpr std::size_t kMaxCertificateFile = std::size_t{1} << 20;

bool isCertificateFile(const fs::path& path) {
  const std::string ext = path.extension().string();
  return std::find(kCertificateExtensions.begin(), kCertificateExtensions.end(), ext) !=
         kCertificateExtensions.end();
}

// Whether bytes are exactly one DER value by the length its header states; the read of a store
// file stops there instead of asking for the end of the file.
bool isWholeDerValue(std::span<const unsigned char> bytes) {
  const unsigned char* p = bytes.data();
  long length = 0;
  int tag = 0;
  int cls = 0;
  const int info = ASN1_get_object(&p, &length, &tag, &cls, static_cast<long>(bytes.size()));
  ERR_clear_error();
  if ((info & 0x80) != 0 || (info & 0x01) != 0) return false;  // error, or indefinite length
  const auto header = static_cast<std::size_t>(p - bytes.data());
  return header + static_cast<std::size_t>(length) == bytes.size();
}

fs::path sibling(const fs::path& file, const char* extension) {
  fs::path p = file;
  p.replace_extension(extension);
  return p;
}

// Writes a file under a temporary name and renames it into place.
bool writeAtomically(const fs::path& target, std::string_view content, mode_t mode) {
  return os::writeFileAtomically(
      target.string(), {reinterpret_cast<const unsigned char*>(content.data()), content.size()},
      mode);
}

}  // namespace

fs::path certStoreRoot() {
  if (const char* explicitRoot = std::getenv("MARQEN_CERTSTORE"); explicitRoot && *explicitRoot)
    return explicitRoot;
  fs::path data;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
    data = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    data = fs::path(home) / ".local/share";
  } else {
    data = ".local/share";
  }
  return data / "marqen/certstore";
}

fs::path StoredCertificate::keyFile() const {
  return sibling(file, ".key");
}
fs::path StoredCertificate::tokenFile() const {
  return sibling(file, ".p11");
}

bool StoredCertificate::hasPrivateKey() const {
  std::error_code ec;
  return fs::exists(keyFile(), ec) || fs::exists(tokenFile(), ec);
}

std::unique_ptr<PrivateKey> StoredCertificate::openPrivateKey() const {
  return openPrivateKey(PinAsker()).key;
}

KeyOpening StoredCertificate::openPrivateKey(const PinAsker& askPin) const {
  std::error_code ec;
  if (!fs::exists(tokenFile(), ec) || fs::exists(keyFile(), ec)) {
    auto key = loadKeyFile(keyFile());
    if (key && key->matches(certificate)) return {std::move(key), {}};
    return {};
  }
  const auto uri = readTokenUriFile(tokenFile());
  if (!uri) return {nullptr, tokenFile().string() + " holds no PKCS#11 URI"};
  KeyOpening opened = openTokenKey(*uri, askPin);
  if (opened.key && !opened.key->matches(certificate))
    return {nullptr, "the token key named by " + tokenFile().string() +
                         " does not belong to the certificate"};
  return opened;
}

std::optional<CertificateStore> CertificateStore::open(std::string_view name) {
  return openFolder(certStoreRoot() / name);
}

std::optional<CertificateStore> CertificateStore::openFolder(const fs::path& folder) {
  CertificateStore store;
  store.folder_ = folder;
  std::error_code ec;
  if (!fs::exists(folder, ec)) {
    if (ec) return std::nullopt;
    return store;
  }
  std::vector<fs::path> files;
  fs::directory_iterator it(folder, ec);
  if (ec) return std::nullopt;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) return std::nullopt;
    if (it->is_regular_file(ec) && isCertificateFile(it->path())) files.push_back(it->path());
  }
  // Byte order of the file names is the store's own order.
  // All in one folder: the byte order of the whole paths is that of the file names.
  std::sort(files.begin(), files.end(),
            [](const fs::path& a, const fs::path& b) { return a.native() < b.native(); });
  store.files_ = std::move(files);
  return store;
}

const std::vector<StoredCertificate>& CertificateStore::certificates() const {
  if (certificates_) return *certificates_;
  std::vector<StoredCertificate> certificates;
  certificates.reserve(files_.size());
  std::vector<unsigned char> bytes;
  for (const auto& file : files_) {
    if (!os::readListedFile(file.string(), kMaxCertificateFile, bytes, isWholeDerValue)) continue;
    if (auto certificate = Certificate::fromDerOrPem(bytes))
      certificates.push_back({std::move(*certificate), file});
  }
  certificates_ = std::move(certificates);
  return *certificates_;
}

std::optional<StoredCertificate> CertificateStore::find(const IdentityMatch& match) const {
  if (certificates_) {
    for (const auto& entry : *certificates_)
      if (match.serial(entry.certificate.serialText()) &&
          match.issuer(entry.certificate.issuerText()))
        return entry;
    return std::nullopt;
  }
  std::vector<unsigned char> bytes;
  for (const auto& file : files_) {
    if (!os::readListedFile(file.string(), kMaxCertificateFile, bytes, isWholeDerValue)) continue;
    const auto identity = CertificateIdentity::read(bytes);
    if (!identity || !match.serial(identity->serialText()) || !match.issuer(identity->issuerText()))
      continue;
    // A file whose certificate does not decode whole holds no certificate, as in certificates().
    if (auto certificate = Certificate::fromDerOrPem(bytes))
      return StoredCertificate{std::move(*certificate), file};
  }
  return std::nullopt;
}

IssuerLookup findIssuer(const Certificate& subject,
                        std::initializer_list<const CertificateStore*> stores) {
  if (subject.isSelfSigned()) return {IssuerStatus::SelfSigned, std::nullopt};
  for (const CertificateStore* store : stores) {
    for (const auto& entry : store->certificates()) {
      if (!entry.certificate.sameAs(subject) && subject.isIssuedBy(entry.certificate))
        return {IssuerStatus::Found, entry.certificate};
    }
  }
  return {IssuerStatus::NotFound, std::nullopt};
}

StoreWrite addToStore(const fs::path& folder, const Certificate& certificate,
                      const PrivateKey* key) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) return StoreWrite::Failed;
  const fs::path certificateFile = folder / (certificate.thumbprint() + ".cer");
  if (fs::exists(certificateFile, ec)) return StoreWrite::AlreadyPresent;
  // The key goes first: a certificate never appears in MY claiming a key that is not there.
  if (key && !writeAtomically(sibling(certificateFile, ".key"), privateKeyPem(*key), 0600))
    return StoreWrite::Failed;
  const Bytes der = certificate.der();
  const std::string_view content(reinterpret_cast<const char*>(der.data()), der.size());
  if (!writeAtomically(certificateFile, content, 0644)) {
    if (key) fs::remove(sibling(certificateFile, ".key"), ec);
    return StoreWrite::Failed;
  }
  return StoreWrite::Written;
}

StoreWrite addTokenCertificateToStore(const fs::path& folder, const Certificate& certificate,
                                      const std::string& keyUri) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) return StoreWrite::Failed;
  const fs::path certificateFile = folder / (certificate.thumbprint() + ".cer");
  if (fs::exists(certificateFile, ec)) return StoreWrite::AlreadyPresent;
  // The URI may name a pin-source file: readable by its owner only.
  if (!writeAtomically(sibling(certificateFile, ".p11"), keyUri + "\n", 0600))
    return StoreWrite::Failed;
  const Bytes der = certificate.der();
  const std::string_view content(reinterpret_cast<const char*>(der.data()), der.size());
  if (!writeAtomically(certificateFile, content, 0644)) {
    fs::remove(sibling(certificateFile, ".p11"), ec);
    return StoreWrite::Failed;
  }
  return StoreWrite::Written;
}

bool removeFromStore(const StoredCertificate& entry) {
  std::error_code ec;
  const bool removed = fs::remove(entry.file, ec) && !ec;
  fs::remove(entry.keyFile(), ec);
  fs::remove(entry.tokenFile(), ec);
  return removed;
}

}  // namespace marqen::crypto
