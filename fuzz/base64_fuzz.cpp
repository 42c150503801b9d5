// Base64toDER on any text. It answers 0 or 1201 only; text with a character other than the
// alphabet, "=", carriage return and line feed before its first zero byte decodes to nothing,
// and text with at least one kept character decodes to something. What it decodes comes back
// zero-terminated, and encoding it with DERtoBase64 and decoding again gives the same bytes.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "fuzz/fuzz_support.h"

namespace {

using marqen::fuzz::Bytes;
using marqen::fuzz::require;
using marqen::fuzz::requireCode;

bool isAlphabet(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '/' || c == '=';
}

struct Decoded {
  ErrorCode code = 0;
  unsigned char* bytes = nullptr;
  int32_t length = -1;
};

Decoded decode(unsigned char* text, std::size_t size) {
  DataBuffer input{nullptr, text, static_cast<int32_t>(size), DATA_IN_MEMORY};
  unsigned char placeholder = 0;
  Decoded out;
  out.bytes = &placeholder;
  out.code = Base64toDER(&input, &out.bytes, &out.length);
  if (out.code != 0) {
    require(out.bytes == &placeholder, "Base64toDER replaced the output on failure");
    out.bytes = nullptr;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 1U << 20) return 0;
  Bytes text(data, data + size);
  const Decoded decoded = decode(text.data(), text.size());
  requireCode(decoded.code, {0, 1201}, "Base64toDER code");

  bool foreign = false;
  bool kept = false;
  for (const unsigned char c : text) {
    if (c == 0) break;
    if (isAlphabet(c))
      kept = true;
    else if (c != '\r' && c != '\n')
      foreign = true;
  }
  require((decoded.code == 0) == (kept && !foreign), "Base64toDER decoded the wrong texts");
  if (decoded.code != 0) return 0;

  require(decoded.length > 0 && decoded.bytes[decoded.length] == 0,
          "decoded bytes not counted and zero-terminated");
  DataBuffer der{nullptr, decoded.bytes, decoded.length, DATA_IN_MEMORY};
  char placeholder = 0;
  char* encoded = &placeholder;
  requireCode(DERtoBase64(&der, &encoded), {0}, "DERtoBase64 of decoded bytes");
  const Decoded again = decode(reinterpret_cast<unsigned char*>(encoded), std::strlen(encoded));
  require(again.code == 0 && again.length == decoded.length &&
              std::memcmp(again.bytes, decoded.bytes, static_cast<std::size_t>(again.length)) == 0,
          "encoding and decoding again changed the bytes");
  std::free(again.bytes);
  std::free(encoded);
  std::free(decoded.bytes);
  return 0;
}
