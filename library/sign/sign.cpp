#include "library/sign/sign.h"

#include "library/core/file_time.h"
#include "library/core/library_error.h"
#include "library/sign/signing_steps.h"

namespace marqen {

crypto::MessageEncoding signContent(const os::ContentSource& content, const SignRequest& r) {
  const FileTime now = currentFileTime();
  const CertContext signer = acquireSignerCertificate(*r.signerLocator);
  if (r.askPinAlways == 1) resetPin(signer);
  const FileTime signingTime = resolveSigningTime(r.attributes, r.attributeCount, now);
  preSigningChecks(signer.certificate(), &signingTime,
                   {r.validateCertificate == 1, r.revocationMode, r.revocationLevel}, now);
  const crypto::MessageAttribute encodedTime = encodeSigningTime(signingTime);
  SignatureAttributes attributes =
      buildSignedAttributes(r.attributes, r.attributeCount, encodedTime);

  const auto key = signer.acquirePrivateKey();
  if (!key) raiseError(err::PRIVATE_KEY);
  crypto::SignParameters parameters;
  parameters.digest = requireDigest(r.hashAlgorithm);
  parameters.detached = r.signatureMode == SIGNATURE_DETACHED;
  parameters.signedAttributes = std::move(attributes.authenticated);
  parameters.unsignedAttributes = std::move(attributes.unauthenticated);
  auto message = crypto::signMessage(content, signer.certificate(), *key, parameters);
  if (!message) raiseError(content.readFailed() ? err::FILE_INCOMPLETE_READ : err::MESSAGE_SIGNING);
  return std::move(*message);
}

}  // namespace marqen
