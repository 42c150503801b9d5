#include "library/verify/signer_judging.h"

#include "library/cert/cert_lookup.h"
#include "library/core/library_error.h"
#include "library/validation/cert_checks.h"
#include "library/verify/signed_input.h"
#include "platform/crypto/attribute_value.h"
#include "platform/crypto/oids.h"

namespace marqen {

SignerToJudge findSignerToJudge(std::span<const unsigned char> message, int32_t signerIndex) {
  const crypto::SignedMessage decoded =
      checkSignedData(message.data(), static_cast<int64_t>(message.size()));
  if (signerIndex >= decoded.signerCount()) raiseError(err::SIGNER_INFO);
  auto certificate = decoded.signerCertificate(signerIndex);
  if (!certificate) raiseError(err::CERT_CONTEXT);
  checkDigitalSignatureUsage(&*certificate);
  checkTrustedCA(&*certificate).require();

  for (const auto& attribute : decoded.signedAttributes(signerIndex)) {
    if (attribute.oid != crypto::kSigningTimeOid) continue;
    if (attribute.values.empty()) break;
    const auto seconds = crypto::decodeTime(attribute.values.front());
    if (!seconds) raiseError(err::SIGNING_TIME_DECODE);
    return {std::move(*certificate), FileTime::fromUnixSeconds(*seconds)};
  }
  raiseError(err::SIGNING_TIME_MISSING);
}

}  // namespace marqen
