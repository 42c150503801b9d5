#pragma once
// Conversions between the UTF-16 strings that cross the library boundary and the UTF-8 text
// used everywhere inside (paths, 8-bit messages). Malformed input becomes U+FFFD, never a crash.

#include <string>
#include <string_view>

namespace marqen::os {

std::string toUtf8(std::u16string_view text);
std::u16string toUtf16(std::string_view text);

// Length of a zero-terminated UTF-16 string; a null pointer has length 0.
std::size_t wideLength(const char16_t* text) noexcept;

// A zero-terminated UTF-16 string as a view; a null pointer is the empty view.
inline std::u16string_view wideView(const char16_t* text) noexcept {
  return text ? std::u16string_view(text, wideLength(text)) : std::u16string_view();
}

}  // namespace marqen::os
