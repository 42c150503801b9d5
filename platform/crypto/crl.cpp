#include "platform/crypto/crl.h"

#include <openssl/err.h>
#include <openssl/pem.h>

#include <algorithm>
#include <climits>
#include <ctime>
#include <stdexcept>
#include <string_view>

#include "platform/crypto/failure_reason.h"
#include "platform/os/file_access.h"

namespace marqen::crypto {
namespace {

// Parsing checks only the encoding; a list whose update times are not real times is refused.
bool hasReadableTimes(const X509_CRL* crl) {
  std::tm parts{};
  const ASN1_TIME* next = X509_CRL_get0_nextUpdate(crl);
  return ASN1_TIME_to_tm(X509_CRL_get0_lastUpdate(crl), &parts) == 1 &&
         (!next || ASN1_TIME_to_tm(next, &parts) == 1);
}

}  // namespace
Crl::Crl(X509CrlPtr crl) : crl_(std::move(crl)) {
  if (!crl_) throw std::invalid_argument("null CRL");
}

Crl::Crl(const Crl& other) : crl_(upRef(other.crl_.get())) {}

Crl& Crl::operator=(const Crl& other) {
  if (this != &other) crl_ = upRef(other.crl_.get());
  return *this;
}

std::optional<Crl> Crl::fromDer(std::span<const unsigned char> der) {
  if (der.empty() || der.size() > static_cast<std::size_t>(LONG_MAX)) return std::nullopt;
  const unsigned char* p = der.data();
  X509CrlPtr parsed(d2i_X509_CRL(nullptr, &p, static_cast<long>(der.size())));
  keepFailureReason();
  if (!parsed || p != der.data() + der.size() || !hasReadableTimes(parsed.get()))
    return std::nullopt;
  return Crl(std::move(parsed));
}

std::optional<Crl> Crl::fromDerOrPem(std::span<const unsigned char> bytes) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (text.find("-----BEGIN X509 CRL-----") == std::string_view::npos) return fromDer(bytes);
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
  BioPtr bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
  X509CrlPtr parsed(bio ? PEM_read_bio_X509_CRL(bio.get(), nullptr, nullptr, nullptr) : nullptr);
  keepFailureReason();
  if (!parsed || !hasReadableTimes(parsed.get())) return std::nullopt;
  return Crl(std::move(parsed));
}

const X509_NAME* Crl::issuer() const noexcept {
  return X509_CRL_get_issuer(crl_.get());
}

std::int64_t Crl::thisUpdate() const {
  return unixSecondsOf(X509_CRL_get0_lastUpdate(crl_.get()));
}

std::optional<std::int64_t> Crl::nextUpdate() const {
  const ASN1_TIME* next = X509_CRL_get0_nextUpdate(crl_.get());
  if (!next) return std::nullopt;
  return unixSecondsOf(next);
}

int Crl::timeValidity(std::int64_t unixTime) const {
  if (unixTime < thisUpdate()) return -1;
  if (const auto next = nextUpdate(); next && unixTime > *next) return 1;
  return 0;
}

bool Crl::namesIssuerOf(const Certificate& certificate) const {
  return X509_NAME_cmp(issuer(), certificate.issuer()) == 0;
}

bool Crl::isSignedBy(const Certificate& signer) const {
  if (X509_NAME_cmp(issuer(), signer.subject()) != 0) return false;
  EVP_PKEY* key = X509_get0_pubkey(signer.get());
  const bool ok = key && X509_CRL_verify(crl_.get(), key) == 1;
  keepFailureReason();
  return ok;
}

bool Crl::lists(const Certificate& certificate) const {
  X509_REVOKED* entry = nullptr;
  const int found = X509_CRL_get0_by_serial(
      crl_.get(), &entry, const_cast<ASN1_INTEGER*>(X509_get0_serialNumber(certificate.get())));
  // 2 marks an entry that a delta list takes off hold: not revoked.
  return found == 1;
}

std::vector<Crl> loadCrlFolder(const std::filesystem::path& folder) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file(ec)) files.push_back(it->path());
  std::sort(files.begin(), files.end());
  std::vector<Crl> crls;
  for (const auto& file : files) {
    const auto bytes = os::readSmallFile(file.string());
    if (!bytes) continue;
    if (auto crl = Crl::fromDerOrPem(*bytes)) crls.push_back(std::move(*crl));
  }
  return crls;
}

}  // namespace marqen::crypto
