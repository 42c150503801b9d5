#include "library/api/output.h"

#include <climits>
#include <string>

#include "library/core/library_error.h"
#include "library/util/file_io.h"
#include "platform/crypto/base64.h"
#include "platform/os/text.h"

namespace marqen {
namespace {

int32_t countOf(std::size_t n) {
  if (n > static_cast<std::size_t>(INT32_MAX)) raiseError(err::SIGNED_MESSAGE_SIZE);
  return static_cast<int32_t>(n);
}

}  // namespace

void deliverOutput(OutputBytes bytes, int32_t signatureFormat, int32_t outputKind,
                   const char16_t* outputPath, DataBuffer** result) {
  if (!result || !*result) raiseError(err::NULL_OUTPUT);
  if (signatureFormat != FORMAT_BASE64 && signatureFormat != FORMAT_DER)
    raiseError(err::INVALID_SIGNATURE_FORMAT);
  if (outputKind != DATA_IN_FILE && outputKind != DATA_IN_MEMORY)
    raiseError(err::INVALID_DESTINATION_TYPE);

  if (signatureFormat == FORMAT_BASE64) {
    const std::size_t length = crypto::base64TextLength(bytes.size);
    auto text = heapAllocate<unsigned char>(length);
    crypto::encodeBase64Into({bytes.buffer.get(), bytes.size}, reinterpret_cast<char*>(text.get()));
    bytes = {std::move(text), length};
  }
  const int32_t count = countOf(bytes.size);
  DataBuffer& out = **result;

  if (outputKind == DATA_IN_MEMORY) {
    out.data = bytes.buffer.release();
    out.length = count;
    out.kind = DATA_IN_MEMORY;
    return;
  }
  writeOutputFile(bytes.buffer.get(), count, outputPath);
  const std::u16string_view path = os::wideView(outputPath);
  const int32_t pathLength = countOf(path.size());
  auto copy = heapCopy(path);
  out.filePath = copy.release();
  out.length = pathLength;
  out.kind = DATA_IN_FILE;
}

void deliverOutput(std::span<const unsigned char> bytes, int32_t signatureFormat,
                   int32_t outputKind, const char16_t* outputPath, DataBuffer** result) {
  deliverOutput(OutputBytes{heapCopy(bytes), bytes.size()}, signatureFormat, outputKind, outputPath,
                result);
}

}  // namespace marqen
