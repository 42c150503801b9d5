#include "library/verify/signed_data_parse.h"

#include <array>
#include <charconv>

#include "library/cert/cert_lookup.h"
#include "library/core/file_time.h"
#include "library/core/library_error.h"
#include "library/include/Marqen_InterfaceV2.h"
#include "library/validation/cert_checks.h"
#include "library/verify/signed_input.h"
#include "platform/crypto/attribute_value.h"
#include "platform/crypto/base64.h"
#include "platform/crypto/oids.h"
#include "platform/os/text.h"

namespace marqen {
namespace {

struct KnownAttribute {
  std::string_view oid;
  int32_t dataType;
};

// The attributes that are reported, in the order they are matched; any other is skipped.
constexpr std::array<KnownAttribute, 6> kKnownAttributes = {{
    {crypto::kDocumentNameOid, ATTR_OCTET_STRING},
    {crypto::kCommentsOid, ATTR_OCTET_STRING},
    {"1.2.840.113549.1.9.25.3", ATTR_OCTET_STRING},
    {"1.2.840.113549.1.9.25.4", ATTR_INTEGER},
    {crypto::kSigningTimeOid, ATTR_TIME},
    {"1.2.840.113549.1.9.16.14", ATTR_TIME},
}};

std::vector<unsigned char> decimalText(std::int64_t value) {
  char text[24];
  const auto [end, error] = std::to_chars(std::begin(text), std::end(text), value);
  if (error != std::errc()) raiseError(err::ATTRIBUTE_DECODE);
  return {text, end};
}

std::vector<unsigned char> renderValue(int32_t dataType, std::span<const unsigned char> der) {
  switch (dataType) {
    case ATTR_OCTET_STRING:
      if (auto octets = crypto::decodeOctetString(der)) return std::move(*octets);
      break;
    case ATTR_INTEGER:
      if (const auto number = crypto::decodeInteger32(der)) return decimalText(*number);
      break;
    default:
      // Seconds as a caller of the 32-bit interface reads them back: through FILETIME, the
      // low 32 bits kept.
      if (const auto seconds = crypto::decodeTime(der)) {
        const FileTime time = FileTime::fromUnixSeconds(*seconds);
        return decimalText(fileTimeToUnixTime(time.low(), time.high()));
      }
      break;
  }
  raiseError(err::ATTRIBUTE_DECODE);
}

// The known attributes of one list, in its order. A repeated OID reports the value of the
// list's first attribute with that OID, as a lookup by OID finds it.
void appendKnown(const std::vector<crypto::FoundAttribute>& list, int32_t authenticationType,
                 std::vector<ParsedAttribute>& out) {
  for (const auto& attribute : list) {
    for (const auto& known : kKnownAttributes) {
      if (attribute.oid != known.oid) continue;
      const crypto::FoundAttribute* first = &attribute;
      for (const auto& candidate : list) {
        if (candidate.oid == known.oid) {
          first = &candidate;
          break;
        }
      }
      if (first->values.empty()) raiseError(err::ATTRIBUTE_DECODE);
      out.push_back({first->oid, renderValue(known.dataType, first->values.front()),
                     authenticationType, known.dataType});
      break;
    }
  }
}

std::optional<std::u16string> authorityInfoAccessUrl(const crypto::Certificate& certificate) {
  const auto access = certificate.authorityInfoAccess();
  using Status = crypto::Certificate::AuthorityInfoAccess::Status;
  if (access.status == Status::Absent) return std::nullopt;
  if (access.status == Status::Undecodable) raiseError(err::ATTRIBUTE_DECODE);
  return os::toUtf16(access.firstUri);
}

ParsedSigner describeSigner(const crypto::SignedMessage& message, int index,
                            const crypto::Certificate& certificate,
                            const crypto::CertificateStore& ca,
                            const crypto::CertificateStore& root) {
  ParsedSigner signer;
  // The issuer as the stores hold it: "CA" first, then "ROOT".
  auto issuer = crypto::findIssuer(certificate, {&ca});
  if (issuer.status == crypto::IssuerStatus::NotFound)
    issuer = crypto::findIssuer(certificate, {&root});
  if (issuer.issuer) signer.issuerCertificate = crypto::encodeBase64(issuer.issuer->der());

  signer.signerCertificate = crypto::encodeBase64(certificate.der());
  signer.issuerDN = os::toUtf16(certificate.issuerText());
  signer.serialNumber = serialNumberText(certificate);
  signer.subjectDN = os::toUtf16(certificate.subjectText());
  const FileTime notAfter = FileTime::fromUnixSeconds(certificate.notAfter());
  signer.validTo = fileTimeToUnixTime(notAfter.low(), notAfter.high());

  const auto authenticated = message.signedAttributes(index);
  const auto unauthenticated = message.unsignedAttributes(index);
  signer.attributeRoom = authenticated.size() + unauthenticated.size();
  appendKnown(authenticated, ATTR_AUTHENTICATED, signer.attributes);
  appendKnown(unauthenticated, ATTR_UNAUTHENTICATED, signer.attributes);

  signer.authorityInfoAccessUrl = authorityInfoAccessUrl(certificate);
  return signer;
}

}  // namespace

ParsedSignedData parseSignedMessage(std::span<const unsigned char> bytes) {
  const crypto::SignedMessage message =
      checkSignedData(bytes.data(), static_cast<int64_t>(bytes.size()));
  const int count = message.signerCount();
  if (count == 0) raiseError(err::SIGNER_COUNT);
  (void)openSystemStore("MY");
  const crypto::CertificateStore ca = openSystemStore("CA");
  const crypto::CertificateStore root = openSystemStore("ROOT");

  ParsedSignedData parsed;
  parsed.signers.resize(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    // The first signer whose certificate the message lacks ends the walk, without an error.
    const auto certificate = message.signerCertificate(i);
    if (!certificate) break;
    checkTrustedCA(&*certificate).require();
    parsed.signers[static_cast<std::size_t>(i)] =
        describeSigner(message, i, *certificate, ca, root);
  }
  return parsed;
}

}  // namespace marqen
