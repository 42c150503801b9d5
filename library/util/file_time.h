#pragma once
// Windows FILETIME (100-ns intervals since 1601-01-01 UTC) and Unix seconds.

#include <cstdint>

namespace marqen {

struct FileTime {
  uint32_t low = 0;
  uint32_t high = 0;
};

// Truncates toward zero to whole seconds and keeps the low 32 bits, as callers expect.
int32_t fileTimeToUnixTime(uint32_t low, uint32_t high) noexcept;
FileTime unixTimeToFileTime(int32_t seconds) noexcept;

}  // namespace marqen
