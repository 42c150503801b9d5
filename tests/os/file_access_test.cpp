#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <variant>
#include <vector>

#include "platform/os/file_access.h"
#include "tests/support/temp_dir.h"

namespace marqen::os {
namespace {

using test::TempDir;

TEST(ReadWholeFile, RefusesWhatIsNotAReadableRegularFileOfTheAllowedSize) {
  TempDir dir;
  test::writeFile(dir.file("empty"), "");
  test::writeFile(dir.file("five"), "12345");
  ::mkdir(dir.file("folder").c_str(), 0700);
  const struct {
    std::string path;
    std::size_t maxSize;
    ReadFailure failure;
  } cases[] = {
      {dir.file("missing"), 10, ReadFailure::CannotOpen},
      {dir.file("folder"), 10, ReadFailure::NotRegularFile},
      {dir.file("empty"), 10, ReadFailure::Empty},
      {dir.file("five"), 4, ReadFailure::TooLarge},
  };
  for (const auto& c : cases) {
    const auto read = readWholeFile(c.path, c.maxSize);
    ASSERT_TRUE(std::holds_alternative<ReadFailure>(read)) << c.path;
    EXPECT_EQ(std::get<ReadFailure>(read), c.failure) << c.path;
  }
  const auto five = readWholeFile(dir.file("five"), 5);
  ASSERT_TRUE(std::holds_alternative<std::vector<unsigned char>>(five));
  EXPECT_EQ(std::get<std::vector<unsigned char>>(five),
            (std::vector<unsigned char>{'1', '2', '3', '4', '5', 0}));
  EXPECT_EQ(readSmallFile(dir.file("empty")), std::vector<unsigned char>{});
  EXPECT_EQ(readSmallFile(dir.file("folder")), std::nullopt);
}

TEST(WriteWholeFile, ReplacesTheFileAndReportsWhatItCannotCreate) {
  TempDir dir;
  const std::vector<unsigned char> bytes{'n', 'e', 'w'};
  test::writeFile(dir.file("out"), "old and longer");
  EXPECT_EQ(writeWholeFile(dir.file("out"), bytes), std::nullopt);
  EXPECT_EQ(readSmallFile(dir.file("out")), bytes);
  EXPECT_EQ(writeWholeFile(dir.file("no/such/folder"), bytes), WriteFailure::CannotCreate);
  // A full device takes nothing: the write is incomplete, and the device is left alone.
  EXPECT_EQ(writeWholeFile("/dev/full", bytes), WriteFailure::Incomplete);

  EXPECT_TRUE(writeFileAtomically(dir.file("atomic"), bytes, 0600));
  EXPECT_EQ(readSmallFile(dir.file("atomic")), bytes);
  EXPECT_FALSE(writeFileAtomically(dir.file("no/such/atomic"), bytes, 0600));
}

}  // namespace
}  // namespace marqen::os
