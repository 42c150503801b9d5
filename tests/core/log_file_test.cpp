#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "library/core/log_file.h"
#include "platform/os/host_program.h"
#include "tests/support/temp_dir.h"

namespace marqen {
namespace {

using test::readFile;
using test::TempDir;

const std::regex kEntry(R"(\r\n\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}: )");

TEST(LogFile, FirstEntryStartsWithLineBreakAndEntriesAppend) {
  TempDir dir;
  writeLogInFolder(dir.path().string(), "first");
  writeLogInFolder(dir.path().string(), "second");
  const std::string log = readFile(dir.file("Logs/logFile.txt"));
  ASSERT_EQ(log.size(), 2 * (2 + 19 + 2) + 5 + 6);
  EXPECT_TRUE(std::regex_search(log.substr(0, 25), kEntry)) << log;
  EXPECT_EQ(log.substr(21, 7), ": first");
  EXPECT_EQ(log.substr(28, 2), "\r\n");
  EXPECT_EQ(log.substr(49), ": second");
}

TEST(LogFile, StampIsLocalTimeOfTheCall) {
  TempDir dir;
  ::setenv("TZ", "IST-5:30", 1);  // +05:30 all year: a UTC stamp would be caught
  ::tzset();
  const std::time_t before = std::time(nullptr);
  writeLogInFolder(dir.path().string(), "stamped");
  const std::time_t after = std::time(nullptr);
  const std::string log = readFile(dir.file("Logs/logFile.txt"));
  ::unsetenv("TZ");
  ::tzset();

  std::tm parsed{};
  ASSERT_NE(::strptime(log.c_str() + 2, "%Y/%m/%d %H:%M:%S", &parsed), nullptr);
  // Interpreted as UTC, the stamp lies 5.5 hours ahead of the real instant.
  const std::time_t asUtc = ::timegm(&parsed);
  EXPECT_GE(asUtc - before, 5 * 3600 + 1800 - 1);
  EXPECT_LE(asUtc - after, 5 * 3600 + 1800);
}

TEST(LogFile, SeparatedEntryHasBlankLinesFirst) {
  TempDir dir;
  writeLogInFolder(dir.path().string(), "m", true);
  EXPECT_EQ(readFile(dir.file("Logs/logFile.txt")).substr(0, 6), "\r\n\r\n\r\n");
}

TEST(LogFile, UnwritableLocationIsSilentlySkipped) {
  TempDir dir;
  test::writeFile(dir.file("not-a-folder"), "x");
  // "Logs" cannot be created under a regular file; nothing may escape.
  writeLogInFolder(dir.file("not-a-folder"), "lost");
  writeLogInFolder("", "lost");
  EXPECT_FALSE(std::filesystem::exists(dir.file("not-a-folder/Logs")));
}

TEST(LogFile, DefaultLocationIsBesideTheHostProgram) {
  const std::string path = os::hostProgramFolder() + "/Logs/logFile.txt";
  const auto sizeBefore = std::filesystem::exists(path) ? std::filesystem::file_size(path) : 0;
  writeLog("log_file_test: default location");
  ASSERT_TRUE(std::filesystem::exists(path));
  const std::string log = readFile(path);
  // Other test programs in the same folder may log at the same time: look in what was added.
  EXPECT_NE(log.find(": log_file_test: default location", sizeBefore), std::string::npos);
}

}  // namespace
}  // namespace marqen
