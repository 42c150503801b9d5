#include "library/util/file_time.h"

namespace marqen {
namespace {
constexpr uint64_t kEpochDifference = 116444736000000000ULL;  // 1601 to 1970 in 100 ns
constexpr int64_t kTicksPerSecond = 10000000;
}  // namespace

int32_t fileTimeToUnixTime(uint32_t low, uint32_t high) noexcept {
  // Subtract in unsigned arithmetic so the wrap-around of the signed difference is defined.
  const uint64_t ticks = (static_cast<uint64_t>(high) << 32) | low;
  const auto difference = static_cast<int64_t>(ticks - kEpochDifference);
  const int64_t seconds = difference / kTicksPerSecond;
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(seconds)));
}

FileTime unixTimeToFileTime(int32_t seconds) noexcept {
  const auto ticks =
      static_cast<uint64_t>((static_cast<int64_t>(seconds) + 11644473600LL) * kTicksPerSecond);
  return {static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};
}

}  // namespace marqen
