#include "platform/os/file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
  UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file) return ReadFailure::CannotOpen;
  struct stat info {};
  // Only regular files have a size to trust; a folder or a pipe is not an input file.
  if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return ReadFailure::NotRegularFile;
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

std::optional<WriteFailure> writeWholeFile(const std::string& path,
                                           std::span<const unsigned char> bytes) {
  UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (!file) return WriteFailure::CannotCreate;
  struct stat info {};
  const bool regular = ::fstat(file.get(), &info) == 0 && S_ISREG(info.st_mode);

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
  UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
  if (!fd) return false;
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
