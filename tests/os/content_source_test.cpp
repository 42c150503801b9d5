#include "platform/os/content_source.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "tests/support/temp_dir.h"

namespace marqen::os {
namespace {

using test::TempDir;
using test::writeFile;

ContentSource openSource(const std::string& path, std::size_t blockSize) {
  struct stat info {};
  UniqueFd file = openRegularFileForReading(path, info);
  EXPECT_TRUE(file);
  return ContentSource::inFile(std::move(file), static_cast<std::uint64_t>(info.st_size),
                               blockSize);
}

// Every block in order, or nothing when the walk failed.
std::optional<std::string> walk(const ContentSource& source, std::size_t blockSize) {
  std::string seen;
  const bool ok = source.forEachBlock([&](std::span<const unsigned char> block) {
    EXPECT_GT(block.size(), 0U);
    EXPECT_LE(block.size(), blockSize);
    seen.append(reinterpret_cast<const char*>(block.data()), block.size());
    return true;
  });
  return ok ? std::optional(seen) : std::nullopt;
}

std::string pattern(std::size_t size) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    text[i] = static_cast<char>('a' + (i * 7) % 26);
  return text;
}

TEST(ContentSource, FileAndMemoryGiveEveryByteOnceAroundTheBlockSize) {
  TempDir dir;
  constexpr std::size_t block = 16;
  for (const std::size_t size : {1UL, block - 1, block, block + 1, 2 * block, 5 * block + 3}) {
    SCOPED_TRACE(size);
    const std::string content = pattern(size);
    writeFile(dir.file("in"), content);
    const ContentSource file = openSource(dir.file("in"), block);
    EXPECT_EQ(file.size(), size);
    EXPECT_FALSE(file.memory().has_value());
    EXPECT_EQ(walk(file, block), content);
    EXPECT_EQ(walk(file, block), content) << "a second walk starts again from the beginning";
    EXPECT_FALSE(file.readFailed());

    const auto memory = ContentSource::inMemory(
        {reinterpret_cast<const unsigned char*>(content.data()), content.size()});
    EXPECT_EQ(walk(memory, ContentSource::kBlockSize), content);
  }
}

TEST(ContentSource, AFileThatChangesSizeAfterOpeningIsAReadFailure) {
  TempDir dir;
  const struct {
    const char* what;
    std::size_t newSize;
  } cases[] = {{"shorter", 20}, {"longer", 60}, {"empty", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(dir.file("in"), pattern(40));
    const ContentSource file = openSource(dir.file("in"), 16);
    ASSERT_EQ(::truncate(dir.file("in").c_str(), static_cast<off_t>(c.newSize)), 0);
    EXPECT_FALSE(walk(file, 16).has_value());
    EXPECT_TRUE(file.readFailed());
  }
}

TEST(ContentSource, AReceiverThatStopsTheWalkIsNoReadFailure) {
  TempDir dir;
  writeFile(dir.file("in"), pattern(40));
  const ContentSource file = openSource(dir.file("in"), 16);
  int calls = 0;
  EXPECT_FALSE(file.forEachBlock([&](std::span<const unsigned char>) { return ++calls < 2; }));
  EXPECT_EQ(calls, 2);
  EXPECT_FALSE(file.readFailed());
}

}  // namespace
}  // namespace marqen::os
