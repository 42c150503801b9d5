#pragma once
// The last step of every signing operation: the result as Base64 text or DER bytes, returned in
// memory or written to a file.

#include <span>

#include "library/include/Marqen_InterfaceV2.h"

namespace marqen {

// signatureFormat and outputKind are validated by the operation before any work. The result
// record is filled only once everything succeeded.
void deliverOutput(std::span<const unsigned char> bytes, int32_t signatureFormat,
                   int32_t outputKind, const char16_t* outputPath, DataBuffer** result);

}  // namespace marqen
