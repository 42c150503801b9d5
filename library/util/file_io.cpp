#include "library/util/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <new>
#include <vector>

#include "library/api/library_error.h"
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
  if (!filePath || filePath[0] == u'\0') raiseError(err::kFileOpenRead);
  const std::string path = os::toUtf8(os::wideView(filePath));
  if (!os::pathExists(path)) raiseError(err::kFileOpenRead);

  struct stat info {};
  // Only regular files have a size to trust; a folder, a FIFO or a device is not an input file.
  const os::UniqueFd file = os::openRegularFileForReading(path, info);
  if (!file) raiseError(err::kFileOpenRead);
  if (info.st_size == 0) raiseError(err::kEmptyInputFile);
  if (info.st_size > std::numeric_limits<int32_t>::max()) raiseError(err::kFileIncompleteRead);

  const auto size = static_cast<std::size_t>(info.st_size);
  std::vector<unsigned char> buffer;
  try {
    buffer.resize(size + 1);
  } catch (const std::bad_alloc&) {
    raiseError(err::kMemoryAllocation);
  }
  if (readFully(file.get(), buffer.data(), size) != size) raiseError(err::kFileIncompleteRead);
  return InputData::adopt(std::move(buffer));
}

ErrorCode checkOutputFolder(const std::string& filePath) {
  const std::string folder = os::folderOf(filePath);
  if (!os::pathExists(folder)) return err::kFolderMissing;
  if (!os::isReadableAndWritable(folder)) return err::kFolderNotReadWritable;
  return err::kNoError;
}

ErrorCode writeOutputFile(const unsigned char* bytes, int32_t count, const char16_t* filePath) {
  if (!filePath) return err::kInvalidOutputPath;
  if (filePath[0] == u'\0') return err::kFileOpenRead;
  if (!bytes || count <= 0) return err::kInvalidInputBuffer;
  const std::string path = os::toUtf8(os::wideView(filePath));
  if (const ErrorCode folder = checkOutputFolder(path); folder != err::kNoError) return folder;

  struct stat info {};
  os::UniqueFd file = os::openWithoutWaiting(path, O_WRONLY | O_CREAT | O_TRUNC, info, 0666);
  // A FIFO or socket would make the result depend on whoever is at the other end.
  if (!file || S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) return err::kFileOpenRead;
  const bool regular = S_ISREG(info.st_mode);

  const auto wanted = static_cast<std::size_t>(count);
  const std::size_t written = writeFully(file.get(), bytes, wanted);
  const bool closed = file.close();
  if (written == wanted && closed) return err::kNoError;
  // Never unlink a device or pipe the caller named; only a file we truncated and part-filled.
  if (written > 0 && regular) ::unlink(path.c_str());
  return err::kFileIncompleteWrite;
}

}  // namespace marqen
