#include "platform/os/file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <new>

namespace marqen::os {

void UniqueFd::reset(int fd) noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

bool UniqueFd::close() noexcept {
  if (fd_ < 0) return true;
  const int rc = ::close(std::exchange(fd_, -1));
  return rc == 0;
}

UniqueFd openWithoutWaiting(const std::string& path, int flags, struct stat& info,
                            mode_t mode) noexcept {
  UniqueFd file(::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, mode));
  if (!file || ::fstat(file.get(), &info) != 0) return {};
  const int status = ::fcntl(file.get(), F_GETFL);
  if (status < 0 || ::fcntl(file.get(), F_SETFL, status & ~O_NONBLOCK) != 0) return {};
  return file;
}

UniqueFd openRegularFileForReading(const std::string& path, struct stat& info) noexcept {
  UniqueFd file = openWithoutWaiting(path, O_RDONLY, info);
  if (file && !S_ISREG(info.st_mode)) return {};
  return file;
}

std::size_t readFully(int fd, unsigned char* into, std::size_t count) noexcept {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(fd, into + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

std::size_t writeFully(int fd, const unsigned char* from, std::size_t count) noexcept {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd, from + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

std::variant<std::vector<unsigned char>, ReadFailure> readWholeFile(const std::string& path,
                                                                    std::size_t maxSize) {
  struct stat info {};
  const UniqueFd file = openWithoutWaiting(path, O_RDONLY, info);
  if (!file) return ReadFailure::CannotOpen;
  // Only regular files have a size to trust; a folder, a FIFO or a device is not an input file.
  if (!S_ISREG(info.st_mode)) return ReadFailure::NotRegularFile;
  if (info.st_size == 0) return ReadFailure::Empty;
  if (static_cast<std::uint64_t>(info.st_size) > maxSize) return ReadFailure::TooLarge;

  const auto size = static_cast<std::size_t>(info.st_size);
  std::vector<unsigned char> buffer;
  try {
    buffer.resize(size + 1);
  } catch (const std::bad_alloc&) {
    return ReadFailure::OutOfMemory;
  }
  if (readFully(file.get(), buffer.data(), size) != size) return ReadFailure::Incomplete;
  return buffer;
}

std::optional<std::vector<unsigned char>> readSmallFile(const std::string& path) {
  auto read = readWholeFile(path, static_cast<std::size_t>(PTRDIFF_MAX) - 1);
  if (const auto* failure = std::get_if<ReadFailure>(&read))
    return *failure == ReadFailure::Empty ? std::optional<std::vector<unsigned char>>(std::in_place)
                                          : std::nullopt;
  auto& bytes = std::get<std::vector<unsigned char>>(read);
  bytes.pop_back();  // the terminator
  return std::move(bytes);
}

bool readListedFile(const std::string& path, std::size_t maxSize, std::vector<unsigned char>& into,
                    bool (*complete)(std::span<const unsigned char> bytes)) {
  // No fstat and no restoring of blocking mode: a regular file never blocks, and anything else
  // answers a non-blocking read at once.
  const UniqueFd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!file) return false;
  constexpr std::size_t kFirstRead = 8192;
  // Grown, never shrunk: after the first file no allocation is needed.
  if (into.size() < std::min(kFirstRead, maxSize + 1))
    into.resize(std::min(kFirstRead, maxSize + 1));
  std::size_t size = 0;
  while (true) {
    if (size == into.size()) {
      if (into.size() > maxSize) return false;
      into.resize(std::min(into.size() * 2, maxSize + 1));
    }
    const ssize_t n = ::read(file.get(), into.data() + size, into.size() - size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    size += static_cast<std::size_t>(n);
    if (complete && size < into.size() && complete({into.data(), size})) break;
  }
  into.resize(size);
  return true;
}

std::optional<WriteFailure> writeWholeFile(const std::string& path,
                                           std::span<const unsigned char> bytes) {
  struct stat info {};
  UniqueFd file = openWithoutWaiting(path, O_WRONLY | O_CREAT | O_TRUNC, info, 0666);
  // A FIFO or socket would make the result depend on whoever is at the other end.
  if (!file || S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) return WriteFailure::CannotCreate;
  const bool regular = S_ISREG(info.st_mode);

  const std::size_t written = writeFully(file.get(), bytes.data(), bytes.size());
  const bool closed = file.close();
  if (written == bytes.size() && closed) return std::nullopt;
  // Never unlink a device or pipe the caller named; only a file we truncated and part-filled.
  if (written > 0 && regular) ::unlink(path.c_str());
  return WriteFailure::Incomplete;
}

bool writeFileAtomically(const std::string& path, std::span<const unsigned char> bytes,
                         mode_t mode) {
  namespace fs = std::filesystem;
  const std::string temporary = path + ".tmp-" + std::to_string(::getpid());
  struct stat info {};
  UniqueFd fd = openWithoutWaiting(temporary, O_WRONLY | O_CREAT | O_TRUNC, info, mode);
  if (!fd || !S_ISREG(info.st_mode)) return false;
  const bool ok = writeFully(fd.get(), bytes.data(), bytes.size()) == bytes.size() &&
                  ::fsync(fd.get()) == 0 && fd.close();
  std::error_code ec;
  if (ok) fs::rename(temporary, path, ec);
  if (!ok || ec) {
    fs::remove(temporary, ec);
    return false;
  }
  return true;
}

bool pathExists(const std::string& path) noexcept {
  return ::access(path.c_str(), F_OK) == 0;
}

bool isReadableAndWritable(const std::string& path) noexcept {
  return ::access(path.c_str(), R_OK | W_OK) == 0;
}

}  // namespace marqen::os
