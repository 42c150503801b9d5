#include "platform/crypto/certificate.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/sha.h>

#include <climits>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include "platform/crypto/failure_reason.h"
#include "platform/crypto/name_text.h"

namespace marqen::crypto {
namespace {

std::string hexUpper(std::span<const unsigned char> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const unsigned char b : bytes) {
    text.push_back(kDigits[b >> 4]);
    text.push_back(kDigits[b & 0x0F]);
  }
  return text;
}

// A certificate whose validity cannot be read is no usable certificate: parsing checks only
// the encoding, not that the time text is a real time.
bool hasReadableValidity(const X509* certificate) {
  std::tm parts{};
  return ASN1_TIME_to_tm(X509_get0_notBefore(certificate), &parts) == 1 &&
         ASN1_TIME_to_tm(X509_get0_notAfter(certificate), &parts) == 1;
}

}  // namespace

std::int64_t unixSecondsOf(const ASN1_TIME* time) {
  std::tm parts{};
  if (!time || ASN1_TIME_to_tm(time, &parts) != 1) throw std::runtime_error("time cannot be read");
  return static_cast<std::int64_t>(::timegm(&parts));
}

Certificate::Certificate(X509Ptr certificate) : certificate_(std::move(certificate)) {
  if (!certificate_) throw std::invalid_argument("null certificate");
}

Certificate::Certificate(const Certificate& other)
    : certificate_(upRef(other.certificate_.get())) {}

Certificate& Certificate::operator=(const Certificate& other) {
  if (this != &other) certificate_ = upRef(other.certificate_.get());
  return *this;
}

std::optional<Certificate> Certificate::fromDer(std::span<const unsigned char> der) {
  if (der.empty() || der.size() > static_cast<std::size_t>(LONG_MAX)) return std::nullopt;
  const unsigned char* p = der.data();
  X509Ptr parsed(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
  keepFailureReason();
  if (!parsed || p != der.data() + der.size() || !hasReadableValidity(parsed.get()))
    return std::nullopt;
  return Certificate(std::move(parsed));
}

std::optional<Certificate> Certificate::fromDerOrPem(std::span<const unsigned char> bytes) {
  static constexpr char kPemMarker[] = "-----BEGIN CERTIFICATE-----";
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (text.find(kPemMarker) == std::string_view::npos) return fromDer(bytes);
  BioPtr bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
  if (!bio) return std::nullopt;
  X509Ptr parsed(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
  keepFailureReason();
  if (!parsed || !hasReadableValidity(parsed.get())) return std::nullopt;
  return Certificate(std::move(parsed));
}

Bytes Certificate::der() const {
  unsigned char* out = nullptr;
  const int n = i2d_X509(certificate_.get(), &out);
  if (n <= 0) throw std::runtime_error("certificate cannot be encoded");
  OpenSslMemory<unsigned char> owned(out);
  return Bytes(out, out + n);
}

std::string Certificate::pem() const {
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_X509(bio.get(), certificate_.get()) != 1)
    throw std::runtime_error("certificate cannot be written as PEM");
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(n));
}

const X509_NAME* Certificate::subject() const noexcept {
  return X509_get_subject_name(certificate_.get());
}
const X509_NAME* Certificate::issuer() const noexcept {
  return X509_get_issuer_name(certificate_.get());
}
std::string Certificate::subjectText() const {
  return nameToText(subject());
}
std::string Certificate::issuerText() const {
  return nameToText(issuer());
}

Bytes serialContentOctets(const ASN1_INTEGER* serial) {
  unsigned char* out = nullptr;
  const int n = i2d_ASN1_INTEGER(serial, &out);
  if (n <= 0) throw std::runtime_error("serial number cannot be encoded");
  OpenSslMemory<unsigned char> owned(out);
  // Skip the tag and length octets; what remains are the content octets as encoded.
  const unsigned char* p = out;
  long length = 0;
  int tag = 0, cls = 0;
  if (ASN1_get_object(&p, &length, &tag, &cls, n) & 0x80)
    throw std::runtime_error("serial number cannot be decoded");
  return Bytes(p, p + length);
}

std::string serialHexText(const ASN1_INTEGER* serial) {
  return hexUpper(serialContentOctets(serial));
}

Bytes Certificate::serialBytes() const {
  return serialContentOctets(X509_get0_serialNumber(certificate_.get()));
}

std::string Certificate::serialText() const {
  return hexUpper(serialBytes());
}

std::int64_t Certificate::notBefore() const {
  return unixSecondsOf(X509_get0_notBefore(certificate_.get()));
}
std::int64_t Certificate::notAfter() const {
  return unixSecondsOf(X509_get0_notAfter(certificate_.get()));
}

int Certificate::timeValidity(std::int64_t unixTime) const {
  if (unixTime < notBefore()) return -1;
  if (unixTime > notAfter()) return 1;
  return 0;
}

std::optional<unsigned> Certificate::keyUsageFirstByte() const {
  int critical = 0;
  UniquePtr<ASN1_BIT_STRING> usage(static_cast<ASN1_BIT_STRING*>(
      X509_get_ext_d2i(certificate_.get(), NID_key_usage, &critical, nullptr)));
  if (!usage) return std::nullopt;
  // An extension with no bits set encodes no bytes at all.
  if (ASN1_STRING_length(usage.get()) < 1) return 0U;
  return static_cast<unsigned>(ASN1_STRING_get0_data(usage.get())[0]);
}

bool Certificate::sameAs(const Certificate& other) const noexcept {
  return X509_cmp(certificate_.get(), other.certificate_.get()) == 0;
}

std::string Certificate::thumbprint() const {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (X509_digest(certificate_.get(), EVP_sha1(), digest, &length) != 1)
    throw std::runtime_error("certificate digest failed");
  return hexUpper({digest, length});
}

std::vector<std::string> Certificate::crlDistributionPointUrls() const {
  const UniquePtr<CRL_DIST_POINTS> points(static_cast<CRL_DIST_POINTS*>(
      X509_get_ext_d2i(certificate_.get(), NID_crl_distribution_points, nullptr, nullptr)));
  keepFailureReason();
  std::vector<std::string> urls;
  for (int i = 0; points && i < sk_DIST_POINT_num(points.get()); ++i) {
    std::string& url = urls.emplace_back();
    const DIST_POINT* point = sk_DIST_POINT_value(points.get(), i);
    if (!point->distpoint || point->distpoint->type != 0) continue;
    const GENERAL_NAMES* names = point->distpoint->name.fullname;
    if (!names || sk_GENERAL_NAME_num(names) < 1) continue;
    const GENERAL_NAME* first = sk_GENERAL_NAME_value(names, 0);
    if (first->type != GEN_URI) continue;
    const ASN1_IA5STRING* uri = first->d.uniformResourceIdentifier;
    url.assign(reinterpret_cast<const char*>(ASN1_STRING_get0_data(uri)),
               static_cast<std::size_t>(ASN1_STRING_length(uri)));
  }
  return urls;
}

Certificate::AuthorityInfoAccess Certificate::authorityInfoAccess() const {
  AuthorityInfoAccess result;
  // The first extension with the OID, as a reader that takes the first match would.
  const int at = X509_get_ext_by_NID(certificate_.get(), NID_info_access, -1);
  if (at < 0) return result;
  const UniquePtr<AUTHORITY_INFO_ACCESS> access(
      static_cast<AUTHORITY_INFO_ACCESS*>(X509V3_EXT_d2i(X509_get_ext(certificate_.get(), at))));
  keepFailureReason();
  if (!access) {
    result.status = AuthorityInfoAccess::Status::Undecodable;
    return result;
  }
  result.status = AuthorityInfoAccess::Status::Present;
  if (sk_ACCESS_DESCRIPTION_num(access.get()) < 1) return result;
  const GENERAL_NAME* location = sk_ACCESS_DESCRIPTION_value(access.get(), 0)->location;
  if (location && location->type == GEN_URI) {
    const ASN1_IA5STRING* uri = location->d.uniformResourceIdentifier;
    result.firstUri.assign(reinterpret_cast<const char*>(ASN1_STRING_get0_data(uri)),
                           static_cast<std::size_t>(ASN1_STRING_length(uri)));
  }
  return result;
}

bool Certificate::isIssuedBy(const Certificate& issuerCandidate) const {
  if (X509_NAME_cmp(issuer(), issuerCandidate.subject()) != 0) return false;
  EVP_PKEY* key = X509_get0_pubkey(issuerCandidate.get());
  const bool verified = key && X509_verify(certificate_.get(), key) == 1;
  ERR_clear_error();  // a failed candidate is not an error of the caller
  return verified;
}

bool Certificate::isSelfSigned() const {
  return isIssuedBy(*this);
}

}  // namespace marqen::crypto
