#include "library/validation/crl_check.h"

#include <optional>
#include <variant>

#include "library/core/library_error.h"
#include "library/core/log_file.h"
#include "platform/crypto/base64.h"
#include "platform/crypto/cert_store.h"
#include "platform/crypto/crl.h"
#include "platform/net/http_client.h"

namespace marqen {
namespace {

using crypto::Certificate;

// The body's CRL: DER as it is, or the Base64 between PEM markers.
std::vector<unsigned char> crlFromBody(const std::vector<unsigned char>& body) {
  const std::string_view whole(reinterpret_cast<const char*>(body.data()), body.size());
  const std::string_view text = whole.substr(0, whole.find('\0'));
  constexpr std::string_view kBegin = "-----BEGIN X509 CRL-----",
                             kBeginShort = "-----BEGIN CRL-----";
  constexpr std::string_view kEnd = "-----END X509 CRL-----", kEndShort = "-----END CRL-----";
  std::size_t begin = text.find(kBegin);
  std::size_t beginLength = kBegin.size();
  if (begin == std::string_view::npos) {
    begin = text.find(kBeginShort);
    beginLength = kBeginShort.size();
  }
  if (begin == std::string_view::npos) return body;
  const std::size_t from = begin + beginLength;
  // The end marker is looked for after the begin marker, never before it.
  std::size_t end = text.find(kEnd, from);
  if (end == std::string_view::npos) end = text.find(kEndShort, from);
  if (end == std::string_view::npos) raiseError(err::CRL_LOAD);
  return crypto::decodeBase64(text.substr(from, end - from));
}

std::optional<crypto::CertificateStore> openOptional(const char* name) {
  return crypto::CertificateStore::open(name);
}

// A downloaded list counts only when the certificate's issuer signed it.
bool isFromTheIssuer(const crypto::Crl& crl, const Certificate& certificate) {
  if (!crl.namesIssuerOf(certificate)) return false;
  if (certificate.isSelfSigned() && crl.isSignedBy(certificate)) return true;
  for (const char* name : {"MY", "ADDRESSBOOK", "CA", "ROOT"}) {
    const auto store = openOptional(name);
    if (!store) continue;
    for (const auto& entry : store->certificates())
      if (certificate.isIssuedBy(entry.certificate) && crl.isSignedBy(entry.certificate))
        return true;
  }
  return false;
}

}  // namespace

std::uint32_t getCrlDistributionPointCount(const Certificate& certificate) {
  return static_cast<std::uint32_t>(certificate.crlDistributionPointUrls().size());
}

std::string getCrlDistributionPointUrl(const Certificate& certificate, std::uint32_t index) {
  auto urls = certificate.crlDistributionPointUrls();
  return index < urls.size() ? std::move(urls[index]) : std::string();
}

std::vector<unsigned char> downloadCrl(const std::string& url) {
  auto fetched = net::httpGet(url);
  if (const auto* error = std::get_if<net::HttpError>(&fetched)) {
    switch (*error) {
      case net::HttpError::Unavailable:
        writeLog("CRL download from " + url +
                 " impossible: the download module could not be loaded: " +
                 net::downloadUnavailableReason());
        raiseError(err::CRL_CONNECT);
      case net::HttpError::UnsupportedUrl:
      case net::HttpError::ConnectFailed:
      case net::HttpError::TimedOut:
        raiseError(err::CRL_CONNECT);
      case net::HttpError::TooLarge:
      case net::HttpError::Incomplete:
      case net::HttpError::Failed:
        raiseError(err::CRL_FETCH);
    }
  }
  const auto& response = std::get<net::HttpResponse>(fetched);
  if (response.status != 200 || !response.contentLength) raiseError(err::CRL_CONNECT);
  return crlFromBody(response.body);
}

void checkCertificateRevocationByCrl(const Certificate& certificate, FileTime now) {
  const std::vector<std::string> urls = certificate.crlDistributionPointUrls();
  if (urls.empty()) raiseError(err::NO_CRL_DISTRIBUTION_POINT);

  // A point that cannot be used passes the turn to the next; the last one's reason counts.
  std::optional<crypto::Crl> used;
  ErrorCode lastPoint = err::NO_ERROR;
  for (const std::string& url : urls) {
    if (url.empty()) {
      lastPoint = err::CRL_DISTRIBUTION_POINT_EXTRACT;
      continue;
    }
    std::vector<unsigned char> bytes;
    try {
      bytes = downloadCrl(url);
    } catch (const LibraryError& e) {
      lastPoint = e.code();
      continue;
    }
    if (bytes.empty()) raiseError(err::CRL_FETCH);
    auto crl = crypto::Crl::fromDer(bytes);
    if (!crl) raiseError(err::CRL_CONTEXT);
    if (!isFromTheIssuer(*crl, certificate)) {
      lastPoint = err::CRL_CONTEXT;
      continue;
    }
    used = std::move(crl);
    break;
  }
  if (!used) {
    if (lastPoint != err::NO_ERROR) raiseError(lastPoint);
    return;
  }

  const int validity = used->timeValidity(now.unixSeconds());
  if (validity > 0) raiseError(err::CRL_EXPIRED);
  if (validity < 0) raiseError(err::CRL_NOT_YET_VALID);
  if (used->lists(certificate)) raiseError(err::TRUST_REVOKED);
}

void checkChainRevocationByCrl(const Certificate& certificate, int32_t level, FileTime now) {
  checkCertificateRevocationByCrl(certificate, now);
  if (level != REVOCATION_CHAIN) return;

  const auto my = openOptional("MY");
  const auto addressBook = openOptional("ADDRESSBOOK");
  const auto ca = openOptional("CA");
  const auto root = openOptional("ROOT");
  if (!my || !ca || !root) raiseError(err::STORE_OPEN);
  const crypto::CertificateStore empty;
  const crypto::CertificateStore& others = addressBook ? *addressBook : empty;

  Certificate current = certificate;
  std::vector<Certificate> seen{certificate};
  while (true) {
    auto lookup = crypto::findIssuer(current, {&*my, &others, &*ca, &*root});
    if (lookup.status == crypto::IssuerStatus::SelfSigned) return;
    if (lookup.status == crypto::IssuerStatus::NotFound) raiseError(err::TRUST_PARTIAL_CHAIN);
    for (const auto& s : seen)
      if (s.sameAs(*lookup.issuer)) raiseError(err::TRUST_PARTIAL_CHAIN);  // a loop has no root
    checkCertificateRevocationByCrl(*lookup.issuer, now);
    seen.push_back(*lookup.issuer);
    current = std::move(*lookup.issuer);
  }
}

}  // namespace marqen
