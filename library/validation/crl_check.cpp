#include "library/validation/crl_check.h"

#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <ctime>
#include <optional>
#include <variant>

#include "library/core/error_codes.h"
#include "library/util/base64.h"
#include "platform/crypto/cert_store.h"
#include "platform/crypto/crl.h"
#include "platform/net/http_client.h"

namespace marqen {
namespace {

using crypto::Certificate;
using DistPointsPtr = crypto::OpenSslPtr<STACK_OF(DIST_POINT), CRL_DIST_POINTS_free>;

DistPointsPtr distributionPoints(const Certificate& certificate) {
  return DistPointsPtr(static_cast<STACK_OF(DIST_POINT)*>(
      X509_get_ext_d2i(certificate.get(), NID_crl_distribution_points, nullptr, nullptr)));
}

// The body's CRL: DER as it is, or the Base64 between PEM markers.
ErrorCode crlFromBody(const std::vector<unsigned char>& body, std::vector<unsigned char>& crl) {
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
  if (begin == std::string_view::npos) {
    crl = body;
    return err::NO_ERROR;
  }
  const std::size_t from = begin + beginLength;
  // The end marker is looked for after the begin marker, never before it.
  std::size_t end = text.find(kEnd, from);
  if (end == std::string_view::npos) end = text.find(kEndShort, from);
  if (end == std::string_view::npos) return err::CRL_LOAD;
  crl = decodeBase64(text.substr(from, end - from));
  return err::NO_ERROR;
}

std::optional<crypto::CertificateStore> openOptional(const char* name) {
  return crypto::CertificateStore::open(name);
}

// A downloaded list counts only when the certificate's issuer signed it.
bool isFromTheIssuer(const crypto::Crl& crl, const Certificate& certificate) {
  if (X509_NAME_cmp(crl.issuer(), certificate.issuer()) != 0) return false;
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
  const auto points = distributionPoints(certificate);
  ERR_clear_error();
  return points ? static_cast<std::uint32_t>(sk_DIST_POINT_num(points.get())) : 0U;
}

std::string getCrlDistributionPointUrl(const Certificate& certificate, std::uint32_t index) {
  const auto points = distributionPoints(certificate);
  ERR_clear_error();
  if (!points || index >= static_cast<std::uint32_t>(sk_DIST_POINT_num(points.get()))) return {};
  const DIST_POINT* point = sk_DIST_POINT_value(points.get(), static_cast<int>(index));
  if (!point->distpoint || point->distpoint->type != 0) return {};
  const GENERAL_NAMES* names = point->distpoint->name.fullname;
  if (!names || sk_GENERAL_NAME_num(names) < 1) return {};
  const GENERAL_NAME* first = sk_GENERAL_NAME_value(names, 0);
  if (first->type != GEN_URI) return {};
  const ASN1_IA5STRING* uri = first->d.uniformResourceIdentifier;
  return std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(uri)),
                     static_cast<std::size_t>(ASN1_STRING_length(uri)));
}

ErrorCode downloadCrl(const std::string& url, std::vector<unsigned char>& crl) {
  auto fetched = net::httpGet(url);
  if (const auto* error = std::get_if<net::HttpError>(&fetched)) {
    switch (*error) {
      case net::HttpError::UnsupportedUrl:
      case net::HttpError::ConnectFailed:
      case net::HttpError::TimedOut:
        return err::CRL_CONNECT;
      case net::HttpError::TooLarge:
      case net::HttpError::Incomplete:
      case net::HttpError::Failed:
        return err::CRL_FETCH;
    }
  }
  const auto& response = std::get<net::HttpResponse>(fetched);
  if (response.status != 200 || !response.contentLength) return err::CRL_CONNECT;
  return crlFromBody(response.body, crl);
}

ErrorCode checkCertificateRevocationByCrl(const Certificate& certificate) {
  const std::uint32_t count = getCrlDistributionPointCount(certificate);
  if (count == 0) return err::NO_CRL_DISTRIBUTION_POINT;

  std::optional<crypto::Crl> used;
  ErrorCode lastPoint = err::NO_ERROR;
  for (std::uint32_t i = 0; i < count && !used; ++i) {
    const std::string url = getCrlDistributionPointUrl(certificate, i);
    if (url.empty()) {
      lastPoint = err::CRL_DISTRIBUTION_POINT_EXTRACT;
      continue;
    }
    std::vector<unsigned char> bytes;
    if (const ErrorCode code = downloadCrl(url, bytes); code != err::NO_ERROR) {
      lastPoint = code;
      continue;
    }
    if (bytes.empty()) return err::CRL_FETCH;
    auto crl = crypto::Crl::fromDer(bytes);
    if (!crl) return err::CRL_CONTEXT;
    if (!isFromTheIssuer(*crl, certificate)) {
      lastPoint = err::CRL_CONTEXT;
      continue;
    }
    used = std::move(crl);
  }
  if (!used) return lastPoint;

  const int validity = used->timeValidity(static_cast<std::int64_t>(std::time(nullptr)));
  if (validity > 0) return err::CRL_EXPIRED;
  if (validity < 0) return err::CRL_NOT_YET_VALID;
  if (used->lists(certificate)) return err::TRUST_REVOKED;
  return err::NO_ERROR;
}

ErrorCode checkChainRevocationByCrl(const Certificate& certificate, int32_t level) {
  if (const ErrorCode own = checkCertificateRevocationByCrl(certificate); own != err::NO_ERROR)
    return own;
  if (level != REVOCATION_CHAIN) return err::NO_ERROR;

  const auto my = openOptional("MY");
  const auto addressBook = openOptional("ADDRESSBOOK");
  const auto ca = openOptional("CA");
  const auto root = openOptional("ROOT");
  if (!my || !ca || !root) return err::STORE_OPEN;
  const crypto::CertificateStore empty;
  const crypto::CertificateStore& others = addressBook ? *addressBook : empty;

  Certificate current = certificate;
  std::vector<Certificate> seen{certificate};
  while (true) {
    auto lookup = crypto::findIssuer(current, {&*my, &others, &*ca, &*root});
    if (lookup.status == crypto::IssuerStatus::SelfSigned) return err::NO_ERROR;
    if (lookup.status == crypto::IssuerStatus::NotFound) return err::TRUST_PARTIAL_CHAIN;
    for (const auto& s : seen)
      if (s.sameAs(*lookup.issuer)) return err::TRUST_PARTIAL_CHAIN;  // a loop has no root
    if (const ErrorCode code = checkCertificateRevocationByCrl(*lookup.issuer);
        code != err::NO_ERROR)
      return code;
    seen.push_back(*lookup.issuer);
    current = std::move(*lookup.issuer);
  }
}

}  // namespace marqen
