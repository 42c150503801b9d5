#pragma once
#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace marqen::os {

// Owns a POSIX file descriptor; closes it when it goes out of scope.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) noexcept : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(std::exchange(other.fd_, -1));
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const noexcept { return fd_; }
  explicit operator bool() const noexcept { return fd_ >= 0; }
  void reset(int fd = -1) noexcept;
  // Closes now and reports whether the close itself succeeded (a deferred write error shows
  // up here on some file systems).
  bool close() noexcept;

 private:
  int fd_ = -1;
};

bool pathExists(const std::string& path) noexcept;

// Opens a path without ever waiting on it: a FIFO with no peer would block open() forever.
// Blocking I/O is restored once open, and `info` tells the caller what the path is. An invalid
// descriptor means it could not be opened.
UniqueFd openWithoutWaiting(const std::string& path, int flags, struct stat& info,
                            mode_t mode = 0) noexcept;

// Opens a regular file for reading; anything else (folder, FIFO, device, socket) is refused.
UniqueFd openRegularFileForReading(const std::string& path, struct stat& info) noexcept;

// The whole content of a small regular file (a certificate, a key, a list); empty when it
// cannot be read.
std::optional<std::vector<unsigned char>> readSmallFile(const std::string& path);
bool isReadableAndWritable(const std::string& path) noexcept;

}  // namespace marqen::os
