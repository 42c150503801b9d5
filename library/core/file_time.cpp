#include "library/core/file_time.h"

#include <ctime>

namespace marqen {

FileTime currentFileTime() noexcept {
  return FileTime::fromUnixSeconds(static_cast<std::int64_t>(std::time(nullptr)));
}

std::int32_t fileTimeToUnixTime(std::uint32_t low, std::uint32_t high) noexcept {
  const std::int64_t seconds = FileTime::fromParts(low, high).unixSeconds();
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(seconds)));
}

FileTime unixTimeToFileTime(std::int32_t seconds) noexcept {
  return FileTime::fromUnixSeconds(seconds);
}

}  // namespace marqen
