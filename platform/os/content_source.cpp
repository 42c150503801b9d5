#include "platform/os/content_source.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace marqen::os {
namespace {

// Reads at an offset until `count` bytes came, the file ends or a call fails.
std::size_t readAt(int fd, unsigned char* into, std::size_t count, std::uint64_t offset) noexcept {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd, into + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

}  // namespace

ContentSource ContentSource::inMemory(std::span<const unsigned char> bytes) noexcept {
  ContentSource source;
  source.memory_ = bytes;
  source.size_ = bytes.size();
  source.blockSize_ = kBlockSize;
  return source;
}

ContentSource ContentSource::inFile(UniqueFd file, std::uint64_t size,
                                    std::size_t blockSize) noexcept {
  ContentSource source;
  source.file_ = std::move(file);
  source.size_ = size;
  source.blockSize_ = std::max<std::size_t>(blockSize, 1);
  return source;
}

std::optional<std::span<const unsigned char>> ContentSource::memory() const noexcept {
  if (file_) return std::nullopt;
  return memory_;
}

bool ContentSource::forEachBlock(
    const std::function<bool(std::span<const unsigned char>)>& take) const {
  if (!file_) {
    // Memory is handed over in pieces too: each hashing call stays short.
    for (std::size_t at = 0; at < memory_.size(); at += blockSize_)
      if (!take(memory_.subspan(at, std::min(blockSize_, memory_.size() - at)))) return false;
    return true;
  }
  std::vector<unsigned char> block(static_cast<std::size_t>(
      std::min<std::uint64_t>(blockSize_, std::max<std::uint64_t>(size_, 1))));
  std::uint64_t at = 0;
  while (at < size_) {
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), size_ - at));
    const std::size_t got = readAt(file_.get(), block.data(), want, at);
    if (got != want) {
      readFailed_ = true;  // shorter than when it was opened, or unreadable
      return false;
    }
    if (!take({block.data(), got})) return false;
    at += got;
  }
  // A file that grew since it was opened is not the content that was measured.
  unsigned char probe = 0;
  if (readAt(file_.get(), &probe, 1, size_) != 0) {
    readFailed_ = true;
    return false;
  }
  return true;
}

}  // namespace marqen::os
