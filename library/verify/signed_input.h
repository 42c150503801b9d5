#pragma once
// How every operation takes an existing signed message: Base64 text is decoded, DER is taken
// as it is, and the result must be a complete PKCS#7 signed-data message.

#include "library/include/Marqen_InterfaceV2.h"
#include "library/util/working_copy.h"

namespace marqen {

// Replaces the copy by its Base64 decoding when the text decodes to at least one byte.
void normaliseSignedInput(WorkingCopy& copy);

// 0 for a complete signed-data message; 1001 (no bytes), 101 (no length), 1005 otherwise.
ErrorCode checkSignedData(const unsigned char* bytes, int64_t length);

}  // namespace marqen
