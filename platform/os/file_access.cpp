#include "platform/os/file_access.h"

#include <unistd.h>

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

bool pathExists(const std::string& path) noexcept {
  return ::access(path.c_str(), F_OK) == 0;
}

bool isReadableAndWritable(const std::string& path) noexcept {
  return ::access(path.c_str(), R_OK | W_OK) == 0;
}

}  // namespace marqen::os
