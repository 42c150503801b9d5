#include "library/verify/counter_signature.h"

#include <string>
#include <string_view>

#include "library/cert/dn_match.h"
#include "library/core/library_error.h"
#include "platform/crypto/oids.h"
#include "platform/os/text.h"

namespace marqen {
namespace {

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

// The first counter-signature attribute of the signer, decoded.
crypto::CounterSignature firstCounterSignature(const crypto::SignedMessage& message, int index) {
  for (const auto& attribute : message.unsignedAttributes(index)) {
    if (attribute.oid != crypto::kCounterSignatureOid) continue;
    if (attribute.values.empty()) raiseError(err::COUNTER_SIGNATURE_DECODE);
    auto decoded = crypto::CounterSignature::decode(attribute.values.front());
    if (!decoded) raiseError(err::COUNTER_SIGNATURE_DECODE);
    return std::move(*decoded);
  }
  raiseError(err::NOT_COUNTER_SIGNED);
}

// The certificate the caller gives must be the one the counter-signature names; without one,
// the named certificate is looked up in the store.
CertContext counterSignerCertificate(const CounterSignatureVerifyRequest& r,
                                     const crypto::CounterSignature& counterSignature) {
  const std::u16string issuer = os::toUtf16(counterSignature.issuerText());
  const std::string serial = counterSignature.serialText();
  if (r.certificateString) {
    if (r.certificateStringLength < 1) raiseError(err::INVALID_CERT_STRING_LENGTH);
    CertContext given =
        getCertContextFromCertString(r.certificateString, r.certificateStringLength);
    const std::u16string givenIssuer = os::toUtf16(given.certificate().issuerText());
    if (compareDistinguishedNames(givenIssuer, issuer) != 0 ||
        !sameIgnoringCase(given.certificate().serialText(), serial))
      raiseError(err::COUNTER_SIGNER_MISMATCH);
    return given;
  }
  if (r.storeType != STORE_PERSONAL && r.storeType != STORE_OTHER_PEOPLE)
    raiseError(err::INVALID_STORE_TYPE);
  const auto store = openCertificateStore(r.storeType);
  return getCertContextFromStore(issuer.c_str(), serial.c_str(), store);
}

}  // namespace

CounterSignatureToVerify findCounterSignature(crypto::SignedMessage message,
                                              const CounterSignatureVerifyRequest& r) {
  if (r.signerIndex >= message.signerCount()) raiseError(err::SIGNER_INFO);
  crypto::CounterSignature counterSignature = firstCounterSignature(message, r.signerIndex);
  CertContext counterSigner = counterSignerCertificate(r, counterSignature);
  return {std::move(message), r.signerIndex, std::move(counterSignature), std::move(counterSigner)};
}

void checkCounterSignature(const CounterSignatureToVerify& found) {
  if (!found.counterSignature.verify(found.counterSigner.certificate(),
                                     found.message.signatureValue(found.index)))
    raiseError(err::COUNTER_SIGNATURE_VERIFY);
}

}  // namespace marqen
