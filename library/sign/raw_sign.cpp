#include "library/sign/raw_sign.h"

#include <variant>

#include "library/core/file_time.h"
#include "library/core/library_error.h"
#include "library/sign/signing_steps.h"
#include "platform/crypto/raw_signature.h"

namespace marqen {

crypto::Bytes rawSignContent(const os::ContentSource& content, const RawSignRequest& r) {
  const FileTime now = currentFileTime();
  const CertContext signer = acquireSignerCertificate(*r.signerLocator);
  preSigningChecks(signer.certificate(), nullptr,
                   {r.validateCertificate == 1, r.revocationMode, r.revocationLevel}, now);
  // The token logs out before the key is acquired, so acquiring it asks for the PIN again.
  if (r.askPinAlways == 1) resetPin(signer);
  const auto key = signer.acquirePrivateKey();
  if (!key) raiseError(err::PRIVATE_KEY);

  auto signature = crypto::rawSign(*key, requireDigest(r.hashAlgorithm), content);
  if (const auto* failure = std::get_if<crypto::RawSignatureFailure>(&signature)) {
    if (content.readFailed()) raiseError(err::FILE_INCOMPLETE_READ);
    switch (*failure) {
      case crypto::RawSignatureFailure::Hash:
        raiseError(err::HASH_CREATE);
      case crypto::RawSignatureFailure::HashData:
        raiseError(err::HASH_DATA);
      default:
        raiseError(err::RAW_SIGN);
    }
  }
  return std::move(std::get<crypto::Bytes>(signature));
}

}  // namespace marqen
