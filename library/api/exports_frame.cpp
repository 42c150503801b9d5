// Exports of the library frame: messages, the trusted CA list, Base64 conversion.

#include <cstdint>
#include <limits>

#include "library/core/error_table.h"
#include "library/core/library_error.h"
#include "library/core/signer_library.h"
#include "library/include/Marqen_InterfaceV2.h"
#include "library/util/heap_buffer.h"
#include "library/util/input_data.h"
#include "platform/crypto/base64.h"

using namespace marqen;

extern "C" {

MARQEN_API const char* getErrorMessage(ErrorCode code) {
  return errorMessage(code);
}

MARQEN_API ErrorCode setTrustedCANames(const char16_t* const* names, int32_t count) {
  return runExport([&] { SignerLibrary::instance().setTrustedCANames(names, count); });
}

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
