#include "library/validation/cert_checks.h"

#include <vector>

#include "library/core/library_error.h"
#include "library/core/signer_library.h"
#include "platform/crypto/cert_store.h"
#include "platform/os/text.h"

namespace marqen {
namespace {

constexpr std::size_t kMaxCommonName = 1024;

// Certificate times as FILETIME ticks, so a time given as FILETIME compares exactly. Signed,
// as certificates may name times before 1601.
std::int64_t ticksOf(std::int64_t unixSeconds) {
  return static_cast<std::int64_t>(FileTime::fromUnixSeconds(unixSeconds).ticks());
}

ErrorCode timeValidity(const crypto::Certificate& certificate, FileTime time, ErrorCode after,
                       ErrorCode before) {
  const auto ticks = static_cast<std::int64_t>(time.ticks());
  if (ticks > ticksOf(certificate.notAfter())) return after;
  if (ticks < ticksOf(certificate.notBefore())) return before;
  return err::NO_ERROR;
}

char16_t foldCase(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

bool equalIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (foldCase(a[i]) != foldCase(b[i])) return false;
  return true;
}

std::u16string issuerCommonNameOf(const crypto::Certificate& certificate) {
  return issuerCommonName(os::toUtf16(certificate.issuerText()));
}

// Walks from a certificate up through "CA" then "ROOT". The visitor sees each certificate and
// returns true to stop; the walk ends at a self-signed certificate or a missing issuer.
enum class WalkEnd { Stopped, ReachedSelfSigned, IssuerMissing };

template <typename Visitor>
WalkEnd walkUp(const crypto::Certificate& start, const crypto::CertificateStore& ca,
               const crypto::CertificateStore& root, Visitor&& visit) {
  crypto::Certificate current = start;
  std::vector<crypto::Certificate> seen;
  while (true) {
    if (visit(current)) return WalkEnd::Stopped;
    auto lookup = crypto::findIssuer(current, {&ca, &root});
    if (lookup.status == crypto::IssuerStatus::SelfSigned) return WalkEnd::ReachedSelfSigned;
    if (lookup.status == crypto::IssuerStatus::NotFound) return WalkEnd::IssuerMissing;
    // Cross-certified CAs can form a loop; a chain that revisits a certificate has no root.
    for (const auto& s : seen)
      if (s.sameAs(*lookup.issuer)) return WalkEnd::IssuerMissing;
    seen.push_back(current);
    current = std::move(*lookup.issuer);
  }
}

struct ChainStores {
  crypto::CertificateStore ca;
  crypto::CertificateStore root;
};

std::optional<ChainStores> openChainStores() {
  auto ca = crypto::CertificateStore::open("CA");
  auto root = crypto::CertificateStore::open("ROOT");
  if (!ca || !root) return std::nullopt;
  return ChainStores{std::move(*ca), std::move(*root)};
}

bool heldBy(const crypto::Certificate& certificate, const crypto::CertificateStore& store) {
  for (const auto& entry : store.certificates())
    if (entry.certificate.sameAs(certificate)) return true;
  return false;
}

enum class NameSearch { Found, ReachedRoot, IssuerMissing };

// Looks for `name` as an issuer's common name above the certificate. A name counts only on a
// link the stores vouch for: the issuer's certificate is in "CA" or "ROOT" and its key verifies
// the certificate below. Otherwise anyone could make a certificate that merely names a trusted
// CA as its issuer (or as itself, when self-signed) and pass.
NameSearch findTrustedIssuerName(const crypto::Certificate& start,
                                 const crypto::CertificateStore& ca,
                                 const crypto::CertificateStore& root, std::u16string_view name) {
  crypto::Certificate current = start;
  std::vector<crypto::Certificate> seen;
  while (true) {
    const bool named = equalIgnoringCase(issuerCommonNameOf(current), name);
    auto lookup = crypto::findIssuer(current, {&ca, &root});
    if (lookup.status == crypto::IssuerStatus::SelfSigned) {
      // A self-signed certificate is its own issuer: the stores vouch for it only if they hold it.
      if (!named) return NameSearch::ReachedRoot;
      const bool held = !seen.empty() || heldBy(current, ca) || heldBy(current, root);
      return held ? NameSearch::Found : NameSearch::IssuerMissing;
    }
    if (lookup.status == crypto::IssuerStatus::NotFound) return NameSearch::IssuerMissing;
    if (named) return NameSearch::Found;
    for (const auto& s : seen)
      if (s.sameAs(*lookup.issuer)) return NameSearch::IssuerMissing;
    seen.push_back(current);
    current = std::move(*lookup.issuer);
  }
}

}  // namespace

void checkTimeValidity(const crypto::Certificate& certificate, FileTime now) {
  if (const ErrorCode code =
          timeValidity(certificate, now, err::CERT_EXPIRED, err::CERT_NOT_YET_VALID))
    raiseError(code);
}

void checkTimeValidityAt(const crypto::Certificate& certificate, FileTime time) {
  if (const ErrorCode code = timeValidity(certificate, time, err::SIGNING_TIME_AFTER_EXPIRY,
                                          err::SIGNING_TIME_BEFORE_START))
    raiseError(code);
}

std::u16string issuerCommonName(std::u16string_view issuerText) {
  const std::string text = os::toUtf8(issuerText);
  const auto start = text.find("CN=");
  if (start == std::string::npos) return {};
  const auto from = start + 3;
  const auto comma = text.find(',', from);
  std::u16string name = os::toUtf16(std::string_view(text).substr(
      from, comma == std::string::npos ? std::string::npos : comma - from));
  if (name.size() > kMaxCommonName) name.resize(kMaxCommonName);
  return name;
}

TrustedCARule::TrustedCARule() : names_(SignerLibrary::instance().trustedCANames()) {}

CheckOutcome TrustedCARule::check(const crypto::Certificate& certificate) {
  const TrustedCANames& names = *names_;
  if (names.empty()) return CheckOutcome::passWithNote(err::NO_TRUSTED_CA_LIST);
  if (!stores_ && !storesUnreadable_) {
    auto ca = crypto::CertificateStore::open("CA");
    auto root = crypto::CertificateStore::open("ROOT");
    if (ca && root)
      stores_.emplace(Stores{std::move(*ca), std::move(*root)});
    else
      storesUnreadable_ = true;
  }
  if (!stores_) return CheckOutcome::failure(err::STORE_OPEN);

  switch (findTrustedIssuerName(certificate, stores_->ca, stores_->root, names[0])) {
    case NameSearch::ReachedRoot:
      return CheckOutcome::failure(err::TRUSTED_CA_NOT_IN_CHAIN);
    case NameSearch::IssuerMissing:
      return CheckOutcome::failure(err::CHAIN_BUILD);
    case NameSearch::Found:
      break;
  }

  if (names.size() > 1) {
    const std::u16string directIssuer = issuerCommonNameOf(certificate);
    for (std::size_t i = 1; i < names.size(); ++i)
      if (equalIgnoringCase(directIssuer, names[i])) return CheckOutcome::pass();
    return CheckOutcome::failure(err::TRUSTED_CA_NOT_IN_CHAIN);
  }
  return CheckOutcome::pass();
}

CheckOutcome checkTrustedCA(const crypto::Certificate* certificate) {
  // One snapshot for the whole check: a list set meanwhile on another thread applies to the
  // next check.
  TrustedCARule rule;
  if (!certificate) {
    if (!rule.listInForce()) return CheckOutcome::passWithNote(err::NO_TRUSTED_CA_LIST);
    return CheckOutcome::failure(err::MISSING_ARGUMENT);
  }
  return rule.check(*certificate);
}

void checkChainExpiry(const crypto::Certificate* certificate, FileTime now) {
  if (!certificate) raiseError(err::MISSING_ARGUMENT);
  const auto stores = openChainStores();
  if (!stores) raiseError(err::STORE_OPEN);

  const WalkEnd end =
      walkUp(*certificate, stores->ca, stores->root, [&](const crypto::Certificate& current) {
        return timeValidity(current, now, err::CERT_EXPIRED, err::CERT_NOT_YET_VALID) !=
               err::NO_ERROR;
      });
  if (end == WalkEnd::Stopped) raiseError(err::CHAIN_CERT_EXPIRED);
  if (end == WalkEnd::IssuerMissing) raiseError(err::CHAIN_BUILD);
}

}  // namespace marqen
