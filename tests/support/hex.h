#pragma once
#include <cstdio>
#include <string>
#include <vector>

namespace marqen::test {

// Upper-case hex digits, no separators: how callers and the tool write a serial number.
inline std::string hexOf(const std::vector<unsigned char>& bytes) {
  std::string text;
  char digits[3];
  for (const unsigned char byte : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", byte);
    text += digits;
  }
  return text;
}

}  // namespace marqen::test
