#pragma once
// One more signer on an existing signed message: the new signer signs the content the message
// carries (or the detached content given again), with its own signed and unsigned attributes;
// the existing signers are left exactly as they are, in their places, and the new one follows.

#include <optional>
#include <span>
#include <variant>

#include "platform/crypto/certificate.h"
#include "platform/crypto/private_key.h"
#include "platform/crypto/signed_message.h"
#include "platform/os/content_source.h"

namespace marqen::crypto {

enum class CosignFailure {
  Signer,       // the message cannot be read, or the new signer cannot be made or encoded
  Certificate,  // the cosigner's certificate cannot be added
};

// `der` is a signed-data message; `detachedContent` is read (hashed a block at a time) only when it
// carries no content.
// The signer's certificate is added unless the message already holds it. The message keeps
// its form: a detached message stays detached. Returns the new message's DER.
std::variant<Bytes, CosignFailure> addSigner(std::span<const unsigned char> der,
                                             const os::ContentSource* detachedContent,
                                             const Certificate& signer, const PrivateKey& key,
                                             const SignParameters& parameters);

}  // namespace marqen::crypto
