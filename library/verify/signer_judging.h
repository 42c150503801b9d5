#pragma once
// Taking one signer of a signed message to be judged: its certificate from the message and
// the signing time it claims.

#include <cstdint>
#include <span>

#include "library/core/file_time.h"
#include "platform/crypto/certificate.h"

namespace marqen {

struct SignerToJudge {
  crypto::Certificate certificate;
  FileTime signingTime;
};

// From a message already taken out of Base64: checkSignedData's codes, 1602 (no such signer),
// 308 (its certificate is not in the message), the digital-signature usage (301, 302), the
// trusted-CA rule, 1603 (no signing time) and 1604 (a signing time that does not decode).
SignerToJudge findSignerToJudge(std::span<const unsigned char> message, int32_t signerIndex);

}  // namespace marqen
