#pragma once
// Files as the project reads and writes them: whole, opened without waiting, with interrupted
// calls retried.

#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <span>
#include <string>
#include <utility>
#include <variant>
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

bool isReadableAndWritable(const std::string& path) noexcept;

// Move bytes until `count` have moved, the file ends or a call fails; interrupted calls are
// retried. Return how many moved.
std::size_t readFully(int fd, unsigned char* into, std::size_t count) noexcept;
std::size_t writeFully(int fd, const unsigned char* from, std::size_t count) noexcept;

enum class ReadFailure { CannotOpen, NotRegularFile, Empty, TooLarge, OutOfMemory, Incomplete };

// The whole content of a regular file of at most maxSize bytes, followed by one zero byte that
// is not part of the content (size() - 1 bytes are the file's).
std::variant<std::vector<unsigned char>, ReadFailure> readWholeFile(const std::string& path,
                                                                    std::size_t maxSize);

// The whole content of a small regular file (a certificate, a key, a list); empty when it
// cannot be read.
std::optional<std::vector<unsigned char>> readSmallFile(const std::string& path);

// The content of a file that a folder listing found to be a regular file, read with as few
// system calls as a scan of thousands of such files wants. It is opened without waiting, so a
// FIFO put in its place meanwhile gives nothing. `complete`, when given, may say after a read
// that the bytes so far are all there is (a format that states its own length), which saves
// the read that would find the end. Empty when it cannot be read or holds more than maxSize
// bytes. The bytes go into `into`, whose memory is reused from one file to the next.
bool readListedFile(const std::string& path, std::size_t maxSize, std::vector<unsigned char>& into,
                    bool (*complete)(std::span<const unsigned char> bytes) = nullptr);

enum class WriteFailure { CannotCreate, Incomplete };

// Creates or replaces the file with the bytes. A regular file left part-written is removed; a
// device or pipe the caller named is never removed.
std::optional<WriteFailure> writeWholeFile(const std::string& path,
                                           std::span<const unsigned char> bytes);

// Writes under a temporary name, flushes to disk and renames into place, so readers see the
// old or the new content, never a part.
bool writeFileAtomically(const std::string& path, std::span<const unsigned char> bytes,
                         mode_t mode);

}  // namespace marqen::os
