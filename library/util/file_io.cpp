#include "library/util/file_io.h"

#include <limits>
#include <variant>

#include "library/core/library_error.h"
#include "platform/os/file_access.h"
#include "platform/os/host_program.h"
#include "platform/os/text.h"

namespace marqen {

std::vector<unsigned char> readInputFile(const char16_t* filePath) {
  if (!filePath || filePath[0] == u'\0') raiseError(err::FILE_OPEN_READ);
  const std::string path = os::toUtf8(os::wideView(filePath));
  if (!os::pathExists(path)) raiseError(err::FILE_OPEN_READ);

  auto read = os::readWholeFile(path, std::numeric_limits<int32_t>::max());
  if (const auto* failure = std::get_if<os::ReadFailure>(&read)) {
    switch (*failure) {
      case os::ReadFailure::CannotOpen:
      case os::ReadFailure::NotRegularFile:
        raiseError(err::FILE_OPEN_READ);
      case os::ReadFailure::Empty:
        raiseError(err::EMPTY_INPUT_FILE);
      case os::ReadFailure::OutOfMemory:
        raiseError(err::MEMORY_ALLOCATION);
      case os::ReadFailure::TooLarge:
      case os::ReadFailure::Incomplete:
        raiseError(err::FILE_INCOMPLETE_READ);
    }
  }
  auto& bytes = std::get<std::vector<unsigned char>>(read);
  bytes.pop_back();  // the platform's terminator; the capacity stays
  return std::move(bytes);
}

os::ContentSource openInputFile(const char16_t* filePath) {
  if (!filePath || filePath[0] == u'\0') raiseError(err::FILE_OPEN_READ);
  const std::string path = os::toUtf8(os::wideView(filePath));
  if (!os::pathExists(path)) raiseError(err::FILE_OPEN_READ);
  struct stat info {};
  // A FIFO, folder or device is refused without waiting on it, as when a file is read whole.
  os::UniqueFd file = os::openRegularFileForReading(path, info);
  if (!file) raiseError(err::FILE_OPEN_READ);
  if (info.st_size == 0) raiseError(err::EMPTY_INPUT_FILE);
  return os::ContentSource::inFile(std::move(file), static_cast<std::uint64_t>(info.st_size));
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

  const auto failure = os::writeWholeFile(path, {bytes, static_cast<std::size_t>(count)});
  if (failure == os::WriteFailure::CannotCreate) raiseError(err::FILE_OPEN_READ);
  if (failure == os::WriteFailure::Incomplete) raiseError(err::FILE_INCOMPLETE_WRITE);
}

}  // namespace marqen
