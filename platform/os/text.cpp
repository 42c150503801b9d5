#include "platform/os/text.h"

#include <cstdint>

namespace marqen::os {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t cp) {
  auto put = [&out](unsigned value) { out.push_back(static_cast<char>(value)); };
  if (cp < 0x80) {
    put(static_cast<unsigned>(cp));
  } else if (cp < 0x800) {
    put(0xC0U | (cp >> 6));
    put(0x80U | (cp & 0x3FU));
  } else if (cp < 0x10000) {
    put(0xE0U | (cp >> 12));
    put(0x80U | ((cp >> 6) & 0x3FU));
    put(0x80U | (cp & 0x3FU));
  } else {
    put(0xF0U | (cp >> 18));
    put(0x80U | ((cp >> 12) & 0x3FU));
    put(0x80U | ((cp >> 6) & 0x3FU));
    put(0x80U | (cp & 0x3FU));
  }
}

void appendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    const char32_t v = cp - 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
  }
}

bool isHighSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(char32_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// Decodes one UTF-8 sequence starting at text[i]; advances i past what was consumed.
char32_t decodeUtf8(std::string_view text, std::size_t& i) {
  const auto lead = static_cast<unsigned char>(text[i++]);
  if (lead < 0x80) return lead;
  int extra = 0;
  char32_t cp = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0U) == 0xC0U) {
    extra = 1, cp = lead & 0x1FU, minimum = 0x80;
  } else if ((lead & 0xF0U) == 0xE0U) {
    extra = 2, cp = lead & 0x0FU, minimum = 0x800;
  } else if ((lead & 0xF8U) == 0xF0U) {
    extra = 3, cp = lead & 0x07U, minimum = 0x10000;
  } else {
    return kReplacement;
  }
  for (int k = 0; k < extra; ++k) {
    if (i >= text.size()) return kReplacement;
    const auto next = static_cast<unsigned char>(text[i]);
    if ((next & 0xC0U) != 0x80U) return kReplacement;  // the next byte starts afresh
    cp = (cp << 6) | (next & 0x3FU);
    ++i;
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacement;
  return cp;
}

}  // namespace

std::string toUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00);
      ++i;
    } else if (isHighSurrogate(c) || isLowSurrogate(c)) {
      c = kReplacement;
    }
    appendUtf8(out, c);
  }
  return out;
}

std::u16string toUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();)
    appendUtf16(out, decodeUtf8(text, i));
  return out;
}

std::size_t wideLength(const char16_t* text) noexcept {
  if (!text) return 0;
  return std::char_traits<char16_t>::length(text);
}

}  // namespace marqen::os
