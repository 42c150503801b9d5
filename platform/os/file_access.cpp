#include "platform/os/file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

std::optional<std::vector<unsigned char>> readSmallFile(const std::string& path) {
  struct stat info {};
  UniqueFd file = openRegularFileForReading(path, info);
  if (!file) return std::nullopt;
  std::vector<unsigned char> bytes(static_cast<std::size_t>(info.st_size));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::read(file.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    done += static_cast<std::size_t>(n);
  }
  return bytes;
}

bool pathExists(const std::string& path) noexcept {
  return ::access(path.c_str(), F_OK) == 0;
}

bool isReadableAndWritable(const std::string& path) noexcept {
  return ::access(path.c_str(), R_OK | W_OK) == 0;
}

}  // namespace marqen::os
