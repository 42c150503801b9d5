// Exports that convert between DER bytes and Base64 text: DERtoBase64, Base64toDER.

#include <cstdint>

#include "library/api/heap_buffer.h"
#include "library/api/input_data.h"
#include "library/core/library_error.h"
#include "library/include/Marqen_InterfaceV2.h"
#include "platform/crypto/base64.h"

using namespace marqen;

extern "C" {

MARQEN_API ErrorCode DERtoBase64(const DataBuffer* input, char** output) {
  return runExport([&] {
    const InputData copy = readInput(input);
    if (!output || !*output) raiseError(err::NULL_OUTPUT);
    const std::string text = crypto::encodeBase64(copy.bytes());
    if (text.empty()) raiseError(err::DER_TO_BASE64);
    *output = heapCopy(text).release();
  });
}

MARQEN_API ErrorCode Base64toDER(const DataBuffer* input, unsigned char** output,
                                 int32_t* outputLength) {
  return runExport([&] {
    const InputData copy = readInput(input);
    if (!output || !*output || !outputLength) raiseError(err::NULL_OUTPUT);
    const auto bytes = crypto::decodeBase64(copy.text());
    if (bytes.empty()) raiseError(err::BASE64_TO_DER);
    // Decoding never grows the text, so the count fits the input's 32-bit length.
    const auto count = static_cast<int32_t>(bytes.size());
    *output = heapCopy(bytes).release();
    *outputLength = count;
  });
}

}  // extern "C"
