#pragma once
// Reading the content of a signed message and verifying its signers.

#include <cstdint>
#include <optional>
#include <span>

#include "library/include/Marqen_InterfaceV2.h"
#include "platform/crypto/certificate.h"
#include "platform/crypto/signed_message.h"
#include "platform/os/content_source.h"

namespace marqen {

// An attached signed message whose content may be handed out: decoded (1003), with content
// (1451) and signers (1302), the stores readable (304), and the trusted-CA rule applied to the
// signers whose certificates it carries.
crypto::SignedMessage openSignedContent(std::span<const unsigned char> message);

// One signer of a signed message, ready to have its signature verified.
struct SignerToVerify {
  crypto::SignedMessage message;
  crypto::Certificate certificate;
  int index = 0;
  // Whether the message carries the content it signs; if not, the caller supplies it.
  bool hasEmbeddedContent() const;
};

// Decodes the message (checkSignedData's codes), finds the signer (1602) and its embedded
// certificate (308) and applies the trusted-CA rule to it.
SignerToVerify findSignerToVerify(std::span<const unsigned char> signedData, int32_t signerIndex);

// Raises 1701 unless the signature verifies over the embedded content, or over `detached`
// (hashed as it is read; 203 when its file cannot be read).
void verifySignature(const SignerToVerify& signer, const os::ContentSource* detached);

}  // namespace marqen
