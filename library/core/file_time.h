#pragma once
// Windows FILETIME: 100-ns intervals since 1601-01-01 UTC. The library compares and reports
// times in this form, so all conversion to and from Unix seconds lives here.

#include <compare>
#include <cstdint>

namespace marqen {

class FileTime {
 public:
  static constexpr std::int64_t kTicksPerSecond = 10000000;
  static constexpr std::uint64_t kUnixEpochTicks = 116444736000000000ULL;  // 1601 to 1970

  constexpr FileTime() = default;
  static constexpr FileTime fromTicks(std::uint64_t ticks) noexcept { return FileTime(ticks); }
  static constexpr FileTime fromParts(std::uint32_t low, std::uint32_t high) noexcept {
    return FileTime((static_cast<std::uint64_t>(high) << 32) | low);
  }
  // Unsigned arithmetic, so that times before 1601 wrap as the 32-bit callers expect.
  static constexpr FileTime fromUnixSeconds(std::int64_t seconds) noexcept {
    return FileTime(static_cast<std::uint64_t>(seconds) *
                        static_cast<std::uint64_t>(kTicksPerSecond) +
                    kUnixEpochTicks);
  }

  constexpr std::uint64_t ticks() const noexcept { return ticks_; }
  constexpr std::uint32_t low() const noexcept { return static_cast<std::uint32_t>(ticks_); }
  constexpr std::uint32_t high() const noexcept { return static_cast<std::uint32_t>(ticks_ >> 32); }
  // Whole seconds since 1970, truncated toward zero.
  constexpr std::int64_t unixSeconds() const noexcept {
    // Subtract in unsigned arithmetic so the wrap-around of the signed difference is defined.
    return static_cast<std::int64_t>(ticks_ - kUnixEpochTicks) / kTicksPerSecond;
  }

  friend constexpr auto operator<=>(FileTime, FileTime) = default;

 private:
  constexpr explicit FileTime(std::uint64_t ticks) noexcept : ticks_(ticks) {}
  std::uint64_t ticks_ = 0;
};

// The current time; operations read it once and pass it to the checks they make.
FileTime currentFileTime() noexcept;

// Truncates toward zero to whole seconds and keeps the low 32 bits, as callers expect.
std::int32_t fileTimeToUnixTime(std::uint32_t low, std::uint32_t high) noexcept;
FileTime unixTimeToFileTime(std::int32_t seconds) noexcept;

}  // namespace marqen
