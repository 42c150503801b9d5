#include "library/sign/countersign.h"

#include "library/core/file_time.h"
#include "library/core/library_error.h"
#include "library/sign/signing_steps.h"
#include "platform/crypto/counter_signature.h"

namespace marqen {

crypto::Bytes countersignMessage(std::span<const unsigned char> message, int32_t signerIndex,
                                 const CountersignRequest& r) {
  const FileTime now = currentFileTime();
  const CertContext counterSigner = acquireSignerCertificate(*r.signerLocator);
  // The token logs out before the key is acquired, so acquiring it asks for the PIN again.
  if (r.askPinAlways == 1) resetPin(counterSigner);
  const auto key = counterSigner.acquirePrivateKey();
  if (!key) raiseError(err::PRIVATE_KEY);
  preSigningChecks(counterSigner.certificate(), nullptr,
                   {r.validateCertificate == 1, r.revocationMode, r.revocationLevel}, now);

  const crypto::DigestAlgorithm digest = requireDigest(r.hashAlgorithm);
  const auto attempt = [&] {
    return crypto::addCounterSignature(message, signerIndex, counterSigner.certificate(), *key,
                                       digest);
  };
  auto countersigned = attempt();
  // A second attempt, as a token may fail once while it wakes up.
  if (!countersigned) countersigned = attempt();
  if (!countersigned) raiseError(err::COUNTERSIGN);
  return std::move(*countersigned);
}

}  // namespace marqen
