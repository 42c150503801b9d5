#pragma once
// Bare RSA signatures: PKCS#1 v1.5 over the hash of the data (with the hash's algorithm
// identifier), in the byte order Windows uses for them, least significant byte first.

#include <span>
#include <variant>

#include "platform/crypto/certificate.h"
#include "platform/crypto/digest.h"
#include "platform/crypto/private_key.h"
#include "platform/os/content_source.h"

namespace marqen::crypto {

// The step at which a signature or its verification stopped.
enum class RawSignatureFailure {
  PublicKey,  // the certificate's key cannot be used
  Hash,       // the hash cannot be set up
  HashData,   // the data cannot be hashed
  Signature,  // signing failed, or the signature does not verify
};

// The data is hashed as it is read; HashData also when it cannot be read.
std::variant<Bytes, RawSignatureFailure> rawSign(const PrivateKey& key, DigestAlgorithm digest,
                                                 const os::ContentSource& data);
std::variant<Bytes, RawSignatureFailure> rawSign(const PrivateKey& key, DigestAlgorithm digest,
                                                 std::span<const unsigned char> data);

// Size in bytes of the certificate's public key (of its signatures); 0 when it has none.
std::size_t signatureSize(const Certificate& certificate);

// Empty when the signature, least significant byte first, verifies over the data.
std::optional<RawSignatureFailure> rawVerify(const Certificate& certificate, DigestAlgorithm digest,
                                             const os::ContentSource& data,
                                             std::span<const unsigned char> signature);

}  // namespace marqen::crypto
