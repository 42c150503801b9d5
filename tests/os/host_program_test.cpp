#include <gtest/gtest.h>

#include <filesystem>

#include "platform/os/host_program.h"

namespace marqen::os {
namespace {

TEST(HostProgram, FolderIsTheFolderOfThisTestProgram) {
  const std::string folder = hostProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(folder) / "os_tests"));
}

TEST(FolderOf, AcceptsBothSeparators) {
  EXPECT_EQ(folderOf("/tmp/a/b.p7s"), "/tmp/a");
  EXPECT_EQ(folderOf("C:\\out\\b.p7s"), "C:\\out");
  EXPECT_EQ(folderOf("dir\\sub/b.p7s"), "dir\\sub");
  EXPECT_EQ(folderOf("b.p7s"), ".");
  EXPECT_EQ(folderOf("/b.p7s"), "/");
}

}  // namespace
}  // namespace marqen::os
