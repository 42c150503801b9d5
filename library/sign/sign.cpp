#include "library/sign/sign.h"

#include "library/core/library_error.h"
#include "library/sign/signing_steps.h"
#include "library/util/input_data.h"
#include "library/util/output.h"

namespace marqen {
namespace {

bool isFlag(int32_t value) {
  return value == 0 || value == 1;
}

void checkRequest(const SignRequest& r, DataBuffer** result) {
  if (r.outputKind == DATA_IN_FILE && !r.outputPath) raiseError(err::INVALID_OUTPUT_PATH);
  if (!r.signerLocator) raiseError(err::MISSING_ARGUMENT);
  if (r.signerLocator->locationType != LOCATION_PFX_FILE &&
      r.signerLocator->locationType != LOCATION_STORE)
    raiseError(err::INVALID_LOCATION_TYPE);
  if (r.hashAlgorithm != HASH_SHA1 && r.hashAlgorithm != HASH_MD5)
    raiseError(err::INVALID_HASH_ALGORITHM);
  if (r.signingAlgorithm != SIGNING_RSA) raiseError(err::INVALID_SIGNING_ALGORITHM);
  if (r.signatureMode != SIGNATURE_ATTACHED && r.signatureMode != SIGNATURE_DETACHED)
    raiseError(err::INVALID_SIGNATURE_MODE);
  if (r.outputKind != DATA_IN_FILE && r.outputKind != DATA_IN_MEMORY)
    raiseError(err::INVALID_DESTINATION_TYPE);
  if (!isFlag(r.validateCertificate)) raiseError(err::INVALID_VALIDATE_FLAG);
  if (!isFlag(r.askPinAlways)) raiseError(err::INVALID_ASK_PIN_FLAG);
  if (r.signatureFormat != FORMAT_BASE64 && r.signatureFormat != FORMAT_DER)
    raiseError(err::INVALID_SIGNATURE_FORMAT);
  if (r.attributeCount < 0 || (r.attributeCount > 0 && !r.attributes))
    raiseError(err::INVALID_ATTRIBUTE_COUNT);
  if (!result || !*result) raiseError(err::NULL_OUTPUT);
}

}  // namespace

void signContent(const SignRequest* request, DataBuffer** result) {
  if (!request || !request->content) raiseError(err::MISSING_ARGUMENT);
  const InputData content = readInput(request->content, {.pointerBeforeLength = true});
  const SignRequest& r = *request;
  checkRequest(r, result);

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
  parameters.digest =
      r.hashAlgorithm == HASH_MD5 ? crypto::DigestAlgorithm::Md5 : crypto::DigestAlgorithm::Sha1;
  parameters.detached = r.signatureMode == SIGNATURE_DETACHED;
  parameters.signedAttributes = std::move(attributes.authenticated);
  parameters.unsignedAttributes = std::move(attributes.unauthenticated);
  const auto message = crypto::signMessage(content.bytes(), signer.certificate(), *key, parameters);
  if (!message) raiseError(err::MESSAGE_SIGNING);
  const std::size_t size = message->size();
  if (size == 0) raiseError(err::SIGNED_MESSAGE_SIZE);
  // Encoded once, straight into the buffer that the caller may receive.
  OutputBytes encoded{heapAllocate<unsigned char>(size), size};
  if (!message->writeTo(encoded.buffer.get())) raiseError(err::MESSAGE_SIGNING);

  deliverOutput(std::move(encoded), r.signatureFormat, r.outputKind, r.outputPath, result);
}

}  // namespace marqen
