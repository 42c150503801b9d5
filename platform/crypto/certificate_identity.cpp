#include "platform/crypto/certificate_identity.h"

#include <openssl/err.h>
#include <openssl/pem.h>

#include <climits>
#include <cstring>

#include "platform/crypto/name_text.h"
#include "platform/crypto/openssl_ptr.h"

namespace marqen::crypto {
namespace {

constexpr char kPemMarker[] = "-----BEGIN CERTIFICATE-----";

// The DER inside PEM armour, without parsing the certificate.
std::optional<Bytes> pemContent(std::span<const unsigned char> bytes) {
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
  BioPtr bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
  unsigned char* data = nullptr;
  long length = 0;
  const bool read = bio && PEM_bytes_read_bio(&data, &length, nullptr, PEM_STRING_X509, bio.get(),
                                              nullptr, nullptr) == 1;
  ERR_clear_error();
  if (!read) return std::nullopt;
  OpenSslMemory<unsigned char> owned(data);
  return Bytes(data, data + length);
}

}  // namespace

std::optional<CertificateIdentity> CertificateIdentity::read(std::span<const unsigned char> bytes) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  std::optional<Bytes> pem;
  if (text.find(kPemMarker) != std::string_view::npos) {
    pem = pemContent(bytes);
    if (!pem) return std::nullopt;
    bytes = *pem;
  }
  if (bytes.empty() || bytes.size() > static_cast<std::size_t>(LONG_MAX)) return std::nullopt;
  ASN1_INTEGER* serial = nullptr;
  ASN1_STRING* issuer = nullptr;
  const int ok = marqen_read_certificate_identity(bytes.data(), static_cast<long>(bytes.size()),
                                                  &serial, &issuer);
  ERR_clear_error();
  if (!ok) return std::nullopt;
  const Asn1IntegerPtr ownedSerial(serial);
  const Asn1StringPtr ownedIssuer(issuer);
  CertificateIdentity identity;
  try {
    identity.serialText_ = serialHexText(serial);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  const unsigned char* name = ASN1_STRING_get0_data(issuer);
  identity.issuer_.assign(name, name + ASN1_STRING_length(issuer));
  return identity;
}

std::string CertificateIdentity::issuerText() const {
  const unsigned char* p = issuer_.data();
  const X509NamePtr name(d2i_X509_NAME(nullptr, &p, static_cast<long>(issuer_.size())));
  ERR_clear_error();
  if (!name || p != issuer_.data() + issuer_.size()) return {};
  return nameToText(name.get());
}

}  // namespace marqen::crypto
