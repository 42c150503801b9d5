#include "platform/crypto/base64.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>

namespace marqen::crypto {
namespace {

constexpr std::size_t kBytesPerLine = 48;  // 16 groups, 64 characters

// Value of a kept character; "/" and "=" both count 63.
unsigned char sextet(char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c - 'A');
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 'a' + 26);
  if (c >= '0' && c <= '9') return static_cast<unsigned char>(c - '0' + 52);
  if (c == '+') return 62;
  return 63;
}

bool isKept(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '/' || c == '=';
}

}  // namespace

std::size_t base64TextLength(std::size_t byteCount) {
  const std::size_t groups = (byteCount + 2) / 3;
  return groups * 4 + groups / 16;  // a line feed after every 16th group
}

void encodeBase64Into(std::span<const unsigned char> bytes, char* out) {
  std::array<unsigned char, 65> line{};  // EVP_EncodeBlock adds a terminating zero
  for (std::size_t at = 0; at < bytes.size(); at += kBytesPerLine) {
    const std::size_t count = std::min(kBytesPerLine, bytes.size() - at);
    const int n = EVP_EncodeBlock(line.data(), bytes.data() + at, static_cast<int>(count));
    std::copy_n(line.data(), n, out);
    out += n;
    // The line feed follows every 16th group, also a padded last one (46 and 47 bytes).
    if (n == 64) *out++ = '\n';
  }
}

std::string encodeBase64(std::span<const unsigned char> bytes) {
  std::string text(base64TextLength(bytes.size()), '\0');
  encodeBase64Into(bytes, text.data());
  return text;
}

std::vector<unsigned char> decodeBase64(std::string_view text) {
  std::string kept;
  kept.reserve(text.size());
  for (const char c : text) {
    if (c == '\r' || c == '\n') continue;
    if (!isKept(c)) return {};
    kept.push_back(c);
  }
  std::vector<unsigned char> out;
  out.reserve(kept.size() / 4 * 3 + 3);
  for (std::size_t at = 0; at < kept.size(); at += 4) {
    std::array<char, 4> group{'A', 'A', 'A', 'A'};  // positions past the end count as "A"
    std::copy_n(kept.begin() + static_cast<std::ptrdiff_t>(at),
                std::min<std::size_t>(4, kept.size() - at), group.begin());
    const unsigned v0 = sextet(group[0]), v1 = sextet(group[1]);
    const unsigned v2 = sextet(group[2]), v3 = sextet(group[3]);
    out.push_back(static_cast<unsigned char>((v0 << 2) | (v1 >> 4)));
    if (group[2] != '=') out.push_back(static_cast<unsigned char>(((v1 & 0x0FU) << 4) | (v2 >> 2)));
    if (group[3] != '=') out.push_back(static_cast<unsigned char>(((v2 & 0x03U) << 6) | v3));
  }
  return out;
}

}  // namespace marqen::crypto
