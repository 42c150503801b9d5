#include <gtest/gtest.h>

#include "library/api/library_error.h"
#include "library/util/working_copy.h"
#include "platform/os/text.h"
#include "tests/support/temp_dir.h"

namespace marqen {
namespace {

ErrorCode readCode(const DataBuffer* input) {
  try {
    (void)readInput(input);
    return err::kNoError;
  } catch (const LibraryError& e) {
    return e.code();
  }
}

TEST(ReadInput, ChecksInTheDocumentedOrder) {
  unsigned char bytes[] = {'a', 'b'};
  char16_t path[] = u"/nonexistent/marqen";
  EXPECT_EQ(readCode(nullptr), err::kMissingArgument);
  DataBuffer neither{nullptr, nullptr, 2, DATA_IN_MEMORY};
  EXPECT_EQ(readCode(&neither), err::kMissingArgument);
  DataBuffer zero{nullptr, bytes, 0, DATA_IN_MEMORY};
  EXPECT_EQ(readCode(&zero), err::kInvalidInputLength);
  DataBuffer negative{nullptr, bytes, -1, DATA_IN_MEMORY};
  EXPECT_EQ(readCode(&negative), err::kInvalidInputLength);
  DataBuffer badKind{nullptr, bytes, 2, 3};
  EXPECT_EQ(readCode(&badKind), err::kInvalidDataKind);
  DataBuffer missingFile{path, nullptr, 0, DATA_IN_FILE};
  EXPECT_EQ(readCode(&missingFile), err::kFileOpenRead);
  // Each kind needs its own pointer; the other one being set is no substitute.
  DataBuffer memoryWithOnlyPath{path, nullptr, 2, DATA_IN_MEMORY};
  EXPECT_EQ(readCode(&memoryWithOnlyPath), err::kMissingArgument);
  DataBuffer fileWithOnlyData{nullptr, bytes, 2, DATA_IN_FILE};
  EXPECT_EQ(readCode(&fileWithOnlyData), err::kMissingArgument);
}

TEST(ReadInput, CopiesMemoryAndLeavesTheCallersRecordAlone) {
  unsigned char bytes[] = {'a', 0, 'b'};
  DataBuffer input{nullptr, bytes, 3, DATA_IN_MEMORY};
  const DataBuffer before = input;
  const WorkingCopy copy = readInput(&input);
  bytes[0] = 'z';  // the copy is private
  ASSERT_EQ(copy.size(), 3U);
  EXPECT_EQ(copy.data()[0], 'a');
  EXPECT_EQ(copy.data()[3], 0);
  EXPECT_EQ(copy.text(), "a");
  EXPECT_EQ(input.data, before.data);
  EXPECT_EQ(input.length, before.length);
}

TEST(ReadInput, ReadsFiles) {
  test::TempDir dir;
  test::writeFile(dir.file("in"), "file data");
  auto path = os::toUtf16(dir.file("in"));
  DataBuffer input{path.data(), nullptr, 0, DATA_IN_FILE};
  EXPECT_EQ(readInput(&input).text(), "file data");
}

}  // namespace
}  // namespace marqen
