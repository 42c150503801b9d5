#include "library/util/output.h"

#include <string>

#include "library/api/library_error.h"
#include "library/util/base64.h"
#include "library/util/file_io.h"
#include "library/util/heap_buffer.h"
#include "platform/os/text.h"

namespace marqen {
namespace {

int32_t countOf(std::size_t n) {
  if (n > static_cast<std::size_t>(INT32_MAX)) raiseError(err::kSignedMessageSize);
  return static_cast<int32_t>(n);
}

}  // namespace

void deliverOutput(std::span<const unsigned char> bytes, int32_t signatureFormat,
                   int32_t outputKind, const char16_t* outputPath, DataBuffer** result) {
  if (!result || !*result) raiseError(err::kNullOutput);
  if (signatureFormat != FORMAT_BASE64 && signatureFormat != FORMAT_DER)
    raiseError(err::kInvalidSignatureFormat);
  if (outputKind != DATA_IN_FILE && outputKind != DATA_IN_MEMORY)
    raiseError(err::kInvalidDestinationType);

  std::string text;
  std::span<const unsigned char> payload = bytes;
  if (signatureFormat == FORMAT_BASE64) {
    text = encodeBase64(bytes);
    payload = {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
  }
  const int32_t count = countOf(payload.size());
  DataBuffer& out = **result;

  if (outputKind == DATA_IN_MEMORY) {
    auto copy = heapCopy(payload);
    out.data = copy.release();
    out.length = count;
    out.kind = DATA_IN_MEMORY;
    return;
  }
  raiseIfFailed(writeOutputFile(payload.data(), count, outputPath));
  const std::u16string_view path = os::wideView(outputPath);
  const int32_t pathLength = countOf(path.size());
  auto copy = heapCopy(path);
  out.filePath = copy.release();
  out.length = pathLength;
  out.kind = DATA_IN_FILE;
}

}  // namespace marqen
