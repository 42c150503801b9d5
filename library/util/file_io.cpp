#include "library/util/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <new>
#include <vector>

#include "library/core/library_error.h"
#include "platform/os/file_access.h"
#include "platform/os/host_program.h"
#include "platform/os/text.h"

namespace marqen {
namespace {

// Reads until count bytes arrived or the file ends; returns how many arrived.
std::size_t readFully(int fd, unsigned char* into, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(fd, into + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

std::size_t writeFully(int fd, const unsigned char* from, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd, from + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

}  // namespace

InputData readInputFile(const char16_t* filePath) {
  if (!filePath || filePath[0] == u'\0') raiseError(err::FILE_OPEN_READ);
  const std::string path = os::toUtf8(os::wideView(filePath));
  if (!os::pathExists(path)) raiseError(err::FILE_OPEN_READ);

  os::UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file) raiseError(err::FILE_OPEN_READ);
  struct stat info {};
  // Only regular files have a size to trust; a folder or a pipe is not an input file.
  if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) raiseError(err::FILE_OPEN_READ);
  if (info.st_size == 0) raiseError(err::EMPTY_INPUT_FILE);
  if (info.st_size > std::numeric_limits<int32_t>::max()) raiseError(err::FILE_INCOMPLETE_READ);

  const auto size = static_cast<std::size_t>(info.st_size);
  std::vector<unsigned char> buffer;
  try {
    buffer.resize(size + 1);
  } catch (const std::bad_alloc&) {
    raiseError(err::MEMORY_ALLOCATION);
  }
  if (readFully(file.get(), buffer.data(), size) != size) raiseError(err::FILE_INCOMPLETE_READ);
  return InputData::adopt(std::move(buffer));
}

void checkOutputFolder(const std::string& filePath) {
  const std::string folder = os::folderOf(filePath);
  if (!os::pathExists(folder)) raiseError(err::FOLDER_MISSING);
  if (!os::isReadableAndWritable(folder)) raiseError(err::FOLDER_NOT_READ_WRITABLE);
}

void writeOutputFile(const unsigned char* bytes, int32_t count, const char16_t* filePath) {
  if (!filePath) raiseError(err::INVALID_OUTPUT_PATH);
  if (filePath[0] == u'\0') raiseError(err::FILE_OPEN_READ);
  if (!bytes || count <= 0) raiseError(err::INVALID_INPUT_BUFFER);
  const std::string path = os::toUtf8(os::wideView(filePath));
  checkOutputFolder(path);

  os::UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (!file) raiseError(err::FILE_OPEN_READ);
  struct stat info {};
  const bool regular = ::fstat(file.get(), &info) == 0 && S_ISREG(info.st_mode);

  const auto wanted = static_cast<std::size_t>(count);
  const std::size_t written = writeFully(file.get(), bytes, wanted);
  const bool closed = file.close();
  if (written == wanted && closed) return;
  // Never unlink a device or pipe the caller named; only a file we truncated and part-filled.
  if (written > 0 && regular) ::unlink(path.c_str());
  raiseError(err::FILE_INCOMPLETE_WRITE);
}

}  // namespace marqen
