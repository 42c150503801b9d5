#pragma once
// How every operation takes an existing signed message: Base64 text is decoded, DER is taken
// as it is, and the result must be a complete PKCS#7 signed-data message.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "library/include/Marqen_InterfaceV2.h"
#include "platform/crypto/signed_message.h"

namespace marqen {

// The Base64 decoding of the bytes as text (up to their first zero byte) when it gives at least
// one byte; empty when the bytes are to be taken as they are.
std::optional<std::vector<unsigned char>> decodedSignedText(std::span<const unsigned char> bytes);

// The decoded message when it is a complete signed-data message; raises 1001 (no bytes), 101
// (no length), 1005 otherwise.
crypto::SignedMessage checkSignedData(const unsigned char* bytes, int64_t length);

}  // namespace marqen
