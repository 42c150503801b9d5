#include "platform/com/guid.h"

#include <array>
#include <cstdio>

namespace marqen::com {
namespace {

// Offsets of the 16 bytes' hex pairs in the braced form, in the order data1..data4.
constexpr std::array<std::size_t, 16> kPairs = {1,  3,  5,  7,  10, 12, 15, 17,
                                                20, 22, 25, 27, 29, 31, 33, 35};

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string guidToString(const GUID& guid) {
  std::array<char, 39> text{};
  const int written =
      std::snprintf(text.data(), text.size(), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                    guid.data1, guid.data2, guid.data3, guid.data4[0], guid.data4[1], guid.data4[2],
                    guid.data4[3], guid.data4[4], guid.data4[5], guid.data4[6], guid.data4[7]);
  return written == 38 ? std::string(text.data(), 38) : std::string();
}

std::optional<GUID> guidFromString(std::string_view text) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}' || text[9] != '-' ||
      text[14] != '-' || text[19] != '-' || text[24] != '-')
    return std::nullopt;
  std::array<std::uint8_t, 16> bytes{};
  for (std::size_t i = 0; i < kPairs.size(); ++i) {
    const int high = hexValue(text[kPairs[i]]);
    const int low = hexValue(text[kPairs[i] + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  GUID guid{};
  guid.data1 = static_cast<std::uint32_t>(bytes[0]) << 24 |
               static_cast<std::uint32_t>(bytes[1]) << 16 |
               static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
  guid.data2 = static_cast<std::uint16_t>(bytes[4] << 8 | bytes[5]);
  guid.data3 = static_cast<std::uint16_t>(bytes[6] << 8 | bytes[7]);
  for (std::size_t i = 0; i < 8; ++i)
    guid.data4[i] = bytes[8 + i];
  return guid;
}

}  // namespace marqen::com
