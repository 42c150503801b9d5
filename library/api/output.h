#pragma once
// The last step of every signing operation: the result as Base64 text or DER bytes, returned in
// memory or written to a file.

#include <span>

#include "library/api/heap_buffer.h"
#include "library/include/Marqen_InterfaceV2.h"

namespace marqen {

// A result already in a caller-releasable buffer (calloc, one zero byte past `size`), so that
// a large DER result in memory is handed over without another copy.
struct OutputBytes {
  HeapPtr<unsigned char> buffer;
  std::size_t size = 0;
};

// signatureFormat and outputKind are validated by the operation before any work. The result
// record is filled only once everything succeeded.
void deliverOutput(OutputBytes bytes, int32_t signatureFormat, int32_t outputKind,
                   const char16_t* outputPath, DataBuffer** result);
void deliverOutput(std::span<const unsigned char> bytes, int32_t signatureFormat,
                   int32_t outputKind, const char16_t* outputPath, DataBuffer** result);

}  // namespace marqen
