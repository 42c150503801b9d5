#pragma once
// Content that is only hashed: bytes in memory, or a regular file read a block at a time, so
// that a file of any size is hashed in bounded memory.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "platform/os/file_access.h"

namespace marqen::os {

class ContentSource {
 public:
  static constexpr std::size_t kBlockSize = std::size_t{1} << 20;

  // The caller's bytes, which must outlive the source.
  static ContentSource inMemory(std::span<const unsigned char> bytes) noexcept;
  // An open regular file of `size` bytes, read from its start each time it is walked.
  static ContentSource inFile(UniqueFd file, std::uint64_t size,
                              std::size_t blockSize = kBlockSize) noexcept;

  std::uint64_t size() const noexcept { return size_; }
  // The bytes when they are in memory.
  std::optional<std::span<const unsigned char>> memory() const noexcept;

  // Hands every block to `take`, in order; false when `take` refuses one, or the file cannot
  // be read or no longer has the size it had when opened (which readFailed() then reports).
  bool forEachBlock(const std::function<bool(std::span<const unsigned char>)>& take) const;
  bool readFailed() const noexcept { return readFailed_; }

 private:
  ContentSource() = default;
  std::span<const unsigned char> memory_;
  UniqueFd file_;
  std::uint64_t size_ = 0;
  std::size_t blockSize_ = kBlockSize;
  mutable bool readFailed_ = false;
};

}  // namespace marqen::os
