#include "platform/crypto/digest.h"

namespace marqen::crypto {

const EVP_MD* evpDigest(DigestAlgorithm algorithm) noexcept {
  switch (algorithm) {
    case DigestAlgorithm::Md5:
      return EVP_md5();
    case DigestAlgorithm::Sha256:
      return EVP_sha256();
    case DigestAlgorithm::Sha384:
      return EVP_sha384();
    case DigestAlgorithm::Sha512:
      return EVP_sha512();
    case DigestAlgorithm::Sha1:
      break;
  }
  return EVP_sha1();
}

}  // namespace marqen::crypto
