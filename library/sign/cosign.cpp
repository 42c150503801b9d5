#include "library/sign/cosign.h"

#include <variant>

#include "library/core/file_time.h"
#include "library/core/library_error.h"
#include "library/sign/signing_steps.h"
#include "platform/crypto/cosigned_message.h"

namespace marqen {
namespace {

// SHA-1 and MD5 stand in for each other when a key refuses one of them.
std::optional<crypto::DigestAlgorithm> alternativeTo(crypto::DigestAlgorithm digest) {
  if (digest == crypto::DigestAlgorithm::Sha1) return crypto::DigestAlgorithm::Md5;
  if (digest == crypto::DigestAlgorithm::Md5) return crypto::DigestAlgorithm::Sha1;
  return std::nullopt;
}

// When the signer cannot be added with the requested hash, SHA-1 and MD5 try the other once.
std::variant<crypto::Bytes, crypto::CosignFailure> cosignWithFallback(
    std::span<const unsigned char> message, const os::ContentSource* detachedContent,
    const CertContext& signer, const crypto::PrivateKey& key, crypto::SignParameters& parameters) {
  auto first = crypto::addSigner(message, detachedContent, signer.certificate(), key, parameters);
  const auto* failure = std::get_if<crypto::CosignFailure>(&first);
  const auto other = alternativeTo(parameters.digest);
  if (!failure || *failure != crypto::CosignFailure::Signer || !other ||
      (detachedContent && detachedContent->readFailed()))
    return first;
  parameters.digest = *other;
  return crypto::addSigner(message, detachedContent, signer.certificate(), key, parameters);
}

}  // namespace

crypto::Bytes cosignMessage(std::span<const unsigned char> message,
                            const os::ContentSource* detachedContent, const CosignRequest& r) {
  const FileTime now = currentFileTime();
  const CertContext signer = acquireSignerCertificate(*r.signerLocator);
  // The token logs out before the key is acquired, so acquiring it asks for the PIN again.
  if (r.askPinAlways == 1) resetPin(signer);
  const auto key = signer.acquirePrivateKey();
  if (!key) raiseError(err::PRIVATE_KEY);
  const FileTime signingTime = resolveSigningTime(r.attributes, r.attributeCount, now);
  preSigningChecks(signer.certificate(), &signingTime,
                   {r.validateCertificate == 1, r.revocationMode, r.revocationLevel}, now);
  const crypto::MessageAttribute encodedTime = encodeSigningTime(signingTime);
  SignatureAttributes attributes =
      buildSignedAttributes(r.attributes, r.attributeCount, encodedTime);

  crypto::SignParameters parameters;
  parameters.digest = requireDigest(r.hashAlgorithm);
  parameters.signedAttributes = std::move(attributes.authenticated);
  parameters.unsignedAttributes = std::move(attributes.unauthenticated);
  auto cosigned = cosignWithFallback(message, detachedContent, signer, *key, parameters);
  if (const auto* failure = std::get_if<crypto::CosignFailure>(&cosigned)) {
    if (detachedContent && detachedContent->readFailed()) raiseError(err::FILE_INCOMPLETE_READ);
    raiseError(*failure == crypto::CosignFailure::Certificate ? err::COSIGNER_CERT
                                                              : err::COSIGN_FAILED);
  }
  return std::move(std::get<crypto::Bytes>(cosigned));
}

}  // namespace marqen
