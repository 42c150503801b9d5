#pragma once
// The hash algorithms the signing operations offer, and OpenSSL's implementations of them.

#include <openssl/evp.h>

namespace marqen::crypto {

enum class DigestAlgorithm { Sha1, Md5, Sha256, Sha384, Sha512 };

const EVP_MD* evpDigest(DigestAlgorithm algorithm) noexcept;

}  // namespace marqen::crypto
