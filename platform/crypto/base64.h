#pragma once
// The library's Base64 text: standard alphabet with "=" padding, a line feed after every 64
// characters. The decoder is deliberately lenient in the ways existing callers depend on.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace marqen::crypto {

// Never fails; empty input gives empty text.
std::string encodeBase64(std::span<const unsigned char> bytes);
// The length of that text, and the text written to `out` (exactly that many characters), for
// callers that place it in a buffer of their own.
std::size_t base64TextLength(std::size_t byteCount);
void encodeBase64Into(std::span<const unsigned char> bytes, char* out);

// Never fails. Line breaks are skipped; any character outside the alphabet and "=" gives no
// bytes at all; a short last group is completed with "A"; an "=" inside the text only
// suppresses the byte(s) of its own group.
std::vector<unsigned char> decodeBase64(std::string_view text);

}  // namespace marqen::crypto
