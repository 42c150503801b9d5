#include "library/verify/signed_content.h"

#include "library/cert/cert_lookup.h"
#include "library/core/library_error.h"
#include "library/validation/cert_checks.h"
#include "library/verify/signed_input.h"

namespace marqen {

crypto::SignedMessage openSignedContent(std::span<const unsigned char> bytes) {
  auto decoded = crypto::SignedMessage::decode(bytes);
  if (!decoded) raiseError(err::MESSAGE_UPDATE);
  const crypto::SignedMessage& message = *decoded;
  const auto content = message.isSignedData() ? message.content() : std::nullopt;
  if (!content || content->empty()) raiseError(err::SIGNED_CONTENT_SIZE);
  const int signers = message.signerCount();
  if (signers == 0) raiseError(err::SIGNER_COUNT);
  for (const char* store : {"MY", "CA", "ROOT"})
    (void)openSystemStore(store);

  // Only the trusted-CA rule applies here; the first signer without an embedded certificate
  // ends the examination.
  for (int i = 0; i < signers; ++i) {
    const auto certificate = message.signerCertificate(i);
    if (!certificate) break;
    checkTrustedCA(&*certificate).require();
  }
  return std::move(*decoded);
}

bool SignerToVerify::hasEmbeddedContent() const {
  const auto embedded = message.content();
  return embedded && !embedded->empty();
}

SignerToVerify findSignerToVerify(std::span<const unsigned char> signedData, int32_t signerIndex) {
  crypto::SignedMessage message =
      checkSignedData(signedData.data(), static_cast<int64_t>(signedData.size()));
  if (signerIndex >= message.signerCount()) raiseError(err::SIGNER_INFO);
  auto certificate = message.signerCertificate(signerIndex);
  if (!certificate) raiseError(err::CERT_CONTEXT);
  checkTrustedCA(&*certificate).require();
  return {std::move(message), std::move(*certificate), signerIndex};
}

void verifySignature(const SignerToVerify& signer, const os::ContentSource* detached) {
  if (signer.message.verifySigner(signer.index, signer.certificate, detached)) return;
  if (detached && detached->readFailed()) raiseError(err::FILE_INCOMPLETE_READ);
  raiseError(err::VERIFICATION_FAILED);
}

}  // namespace marqen
