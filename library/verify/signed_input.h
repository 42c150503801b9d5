#pragma once
// How every operation takes an existing signed message: Base64 text is decoded, DER is taken
// as it is, and the result must be a complete PKCS#7 signed-data message.

#include <optional>
#include <span>

#include "library/include/Marqen_InterfaceV2.h"
#include "library/util/input_data.h"
#include "platform/crypto/signed_message.h"

namespace marqen {

// Replaces the input by its Base64 decoding when the text decodes to at least one byte.
void normaliseSignedInput(InputData& input);

// The decoded message when it is a complete signed-data message; raises 1001 (no bytes), 101
// (no length), 1005 otherwise.
crypto::SignedMessage checkSignedData(const unsigned char* bytes, int64_t length);

}  // namespace marqen
