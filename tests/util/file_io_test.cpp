#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>

#include "library/core/library_error.h"
#include "library/core/log_file.h"
#include "library/util/file_io.h"
#include "platform/os/text.h"
#include "tests/support/raised_code.h"
#include "tests/support/temp_dir.h"

namespace marqen {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

std::u16string wide(const std::string& s) {
  return os::toUtf16(s);
}

ErrorCode readCode(const char16_t* path) {
  try {
    (void)readInputFile(path);
    return err::NO_ERROR;
  } catch (const LibraryError& e) {
    return e.code();
  }
}

ErrorCode openCode(const char16_t* path) {
  return test::raisedCode([&] { (void)openInputFile(path); });
}

ErrorCode write(std::string_view content, const std::string& path) {
  const auto p = wide(path);
  return test::raisedCode([&] {
    writeOutputFile(reinterpret_cast<const unsigned char*>(content.data()),
                    static_cast<int32_t>(content.size()), p.c_str());
  });
}

TEST(ReadInputFile, ReadsWholeFileWithRoomForATerminator) {
  TempDir dir;
  const std::string content("bin\0ary\xFF", 8);
  writeFile(dir.file("in.bin"), content);
  const auto copy = readInputFile(wide(dir.file("in.bin")).c_str());
  ASSERT_EQ(copy.size(), content.size());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(copy.data()), copy.size()), content);
  EXPECT_GT(copy.capacity(), copy.size());
}

TEST(ReadInputFile, ReadsUnicodeFileNames) {
  TempDir dir;
  writeFile(dir.file("d\xC3\xA9j\xC3\xA0.txt"), "x");
  const std::u16string path = wide(dir.path().string()) + u"/d\u00E9j\u00E0.txt";
  EXPECT_EQ(readInputFile(path.c_str()).size(), 1U);
}

TEST(ReadInputFile, FailureCodes) {
  TempDir dir;
  writeFile(dir.file("empty"), "");
  // Opening a file to be read in blocks refuses the same files with the same codes.
  for (const auto& code : {readCode, openCode}) {
    EXPECT_EQ(code(wide(dir.file("empty")).c_str()), err::EMPTY_INPUT_FILE);
    EXPECT_EQ(code(wide(dir.file("missing")).c_str()), err::FILE_OPEN_READ);
    // A folder opens for reading on this platform but is not an input file.
    EXPECT_EQ(code(wide(dir.path().string()).c_str()), err::FILE_OPEN_READ);
    EXPECT_EQ(code(u""), err::FILE_OPEN_READ);
    EXPECT_EQ(code(nullptr), err::FILE_OPEN_READ);
  }
}

TEST(ReadInputFile, FileTooLargeForA32BitLengthIsRefusedNotTruncated) {
  TempDir dir;
  const std::string path = dir.file("huge.bin");
  { std::ofstream create(path); }
  // A sparse file: no disk space is used, and nothing should be read from it.
  ASSERT_EQ(::truncate(path.c_str(), (1LL << 31) + 16), 0);
  EXPECT_EQ(readCode(wide(path).c_str()), err::FILE_INCOMPLETE_READ);
}

TEST(WriteOutputFile, ArgumentChecksInOrder) {
  TempDir dir;
  const unsigned char byte = 'x';
  EXPECT_EQ(test::raisedCode([&] { writeOutputFile(&byte, 1, nullptr); }),
            err::INVALID_OUTPUT_PATH);
  EXPECT_EQ(test::raisedCode([&] { writeOutputFile(nullptr, 1, nullptr); }),
            err::INVALID_OUTPUT_PATH);
  EXPECT_EQ(test::raisedCode([&] { writeOutputFile(&byte, 1, u""); }), err::FILE_OPEN_READ);
  EXPECT_EQ(test::raisedCode([&] { writeOutputFile(nullptr, 1, u""); }), err::FILE_OPEN_READ);
  const auto path = wide(dir.file("out"));
  EXPECT_EQ(test::raisedCode([&] { writeOutputFile(nullptr, 1, path.c_str()); }),
            err::INVALID_INPUT_BUFFER);
  EXPECT_EQ(test::raisedCode([&] { writeOutputFile(&byte, 0, path.c_str()); }),
            err::INVALID_INPUT_BUFFER);
  EXPECT_EQ(test::raisedCode([&] { writeOutputFile(&byte, -5, path.c_str()); }),
            err::INVALID_INPUT_BUFFER);
  EXPECT_FALSE(std::filesystem::exists(dir.file("out")));
}

TEST(WriteOutputFile, MissingFolderAndFolderThatIsAFile) {
  TempDir dir;
  EXPECT_EQ(write("x", dir.file("no/such/folder/out")), err::FOLDER_MISSING);
  writeFile(dir.file("plain"), "x");
  EXPECT_EQ(write("x", dir.file("plain") + "/out"), err::FILE_OPEN_READ);
}

TEST(WriteOutputFile, ReplacesExistingContent) {
  TempDir dir;
  writeFile(dir.file("out"), "a much longer previous content");
  ASSERT_EQ(write("new", dir.file("out")), err::NO_ERROR);
  EXPECT_EQ(readFile(dir.file("out")), "new");
}

TEST(WriteOutputFile, BareFileNameGoesToTheCurrentFolder) {
  TempDir dir;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const ErrorCode code = write("here", "bare.out");
  std::filesystem::current_path(previous);
  ASSERT_EQ(code, err::NO_ERROR);
  EXPECT_EQ(readFile(dir.file("bare.out")), "here");
}

TEST(WriteOutputFile, ReadOnlyFolderGives206) {
  TempDir dir;
  std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all |
                                               std::filesystem::perms::group_exec |
                                               std::filesystem::perms::others_exec);
  const std::string folder = dir.file("readonly");
  std::filesystem::create_directory(folder);
  std::filesystem::permissions(
      folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                  std::filesystem::perms::group_read | std::filesystem::perms::group_exec |
                  std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
  // Root may write anywhere, so the check runs as an ordinary user in a child process.
  const auto asOrdinaryUser = [&] {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) std::_Exit(3);
    std::_Exit(write("x", folder + "/out") == err::FOLDER_NOT_READ_WRITABLE ? 0 : 1);
  };
  EXPECT_EXIT(asOrdinaryUser(), ::testing::ExitedWithCode(0), "");
}

TEST(WriteOutputFile, PartlyWrittenFileIsRemoved) {
  TempDir dir;
  const std::string path = dir.file("partial.out");
  // The file size limit lets the first bytes through and refuses the rest.
  const auto withSizeLimit = [&] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{10, 10};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) std::_Exit(3);
    const ErrorCode code = write(std::string(100, 'x'), path);
    std::_Exit(code == err::FILE_INCOMPLETE_WRITE && !std::filesystem::exists(path) ? 0 : 1);
  };
  EXPECT_EXIT(withSizeLimit(), ::testing::ExitedWithCode(0), "");
}

TEST(WriteOutputFile, DeviceThatRefusesEveryByteIsNotRemoved) {
  if (::geteuid() != 0 || !std::filesystem::exists("/dev/full"))
    GTEST_SKIP() << "needs /dev/full writable in a writable /dev";
  EXPECT_EQ(write("x", "/dev/full"), err::FILE_INCOMPLETE_WRITE);
  EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}

// A FIFO with nobody at the other end used to block open() forever. Each path that names a
// FIFO must answer at once; the child process dies by its alarm if it ever waits.
TEST(FileAccess, FifoPathsAnswerAtOnceAsNotAFile) {
  TempDir dir;
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(::mkdir(dir.file("Logs").c_str(), 0700), 0);
  ASSERT_EQ(::mkfifo(dir.file("Logs/logFile.txt").c_str(), 0600), 0);
  const std::u16string path = wide(fifo);
  const struct {
    const char* what;
    std::function<bool()> answersNotAFile;
  } cases[] = {
      {"input file", [&] { return readCode(path.c_str()) == err::FILE_OPEN_READ; }},
      {"content file", [&] { return openCode(path.c_str()) == err::FILE_OPEN_READ; }},
      {"PFX file",
       [&] {
         CertificateDetails record{};
         CertificateDetails* details = &record;
         return getCertificateDetailsFromFile(path.c_str(), u"pw", SIGNING_CERTIFICATE, &details) ==
                err::FILE_OPEN_READ;
       }},
      {"output file", [&] { return write("x", fifo) == err::FILE_OPEN_READ; }},
      {"log file",
       [&] {
         writeLogInFolder(dir.path().string(), "entry", false);
         return true;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EXIT(
        {
          ::alarm(5);
          std::_Exit(c.answersNotAFile() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
  }
}

// Only a file read whole is limited to a 32-bit length; one read in blocks is opened at any size.
TEST(OpenInputFile, AFileTooLargeToReadWholeOpensForReadingInBlocks) {
  TempDir dir;
  const std::string large = dir.file("large");
  writeFile(large, "x");
  constexpr off_t kSize = off_t{1} << 32;
  ASSERT_EQ(::truncate(large.c_str(), kSize), 0);  // sparse: no disk space
  EXPECT_EQ(readCode(wide(large).c_str()), err::FILE_INCOMPLETE_READ);
  EXPECT_EQ(openInputFile(wide(large).c_str()).size(), static_cast<std::uint64_t>(kSize));
}

TEST(CheckOutputFolder, Codes) {
  TempDir dir;
  EXPECT_EQ(test::raisedCode([&] { checkOutputFolder(dir.file("x")); }), err::NO_ERROR);
  EXPECT_EQ(test::raisedCode([&] { checkOutputFolder(dir.file("nope/x")); }), err::FOLDER_MISSING);
  EXPECT_EQ(test::raisedCode([&] { checkOutputFolder("x"); }),
            err::NO_ERROR);  // the current folder
}

}  // namespace
}  // namespace marqen
