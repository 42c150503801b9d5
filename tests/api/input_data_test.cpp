#include <gtest/gtest.h>

#include "library/api/input_data.h"
#include "library/core/library_error.h"
#include "platform/os/text.h"
#include "tests/support/temp_dir.h"

namespace marqen {
namespace {

ErrorCode readCode(const DataBuffer* input) {
  try {
    (void)readInput(input);
    return err::NO_ERROR;
  } catch (const LibraryError& e) {
    return e.code();
  }
}

TEST(ReadInput, ChecksInTheDocumentedOrder) {
  unsigned char bytes[] = {'a', 'b'};
  char16_t path[] = u"/nonexistent/marqen";
  EXPECT_EQ(readCode(nullptr), err::MISSING_ARGUMENT);
  DataBuffer neither{nullptr, nullptr, 2, DATA_IN_MEMORY};
  EXPECT_EQ(readCode(&neither), err::MISSING_ARGUMENT);
  DataBuffer zero{nullptr, bytes, 0, DATA_IN_MEMORY};
  EXPECT_EQ(readCode(&zero), err::INVALID_INPUT_LENGTH);
  DataBuffer negative{nullptr, bytes, -1, DATA_IN_MEMORY};
  EXPECT_EQ(readCode(&negative), err::INVALID_INPUT_LENGTH);
  DataBuffer badKind{nullptr, bytes, 2, 3};
  EXPECT_EQ(readCode(&badKind), err::INVALID_DATA_KIND);
  DataBuffer missingFile{path, nullptr, 0, DATA_IN_FILE};
  EXPECT_EQ(readCode(&missingFile), err::FILE_OPEN_READ);
  // Each kind needs its own pointer; the other one being set is no substitute.
  DataBuffer memoryWithOnlyPath{path, nullptr, 2, DATA_IN_MEMORY};
  EXPECT_EQ(readCode(&memoryWithOnlyPath), err::MISSING_ARGUMENT);
  DataBuffer fileWithOnlyData{nullptr, bytes, 2, DATA_IN_FILE};
  EXPECT_EQ(readCode(&fileWithOnlyData), err::MISSING_ARGUMENT);
}

TEST(ReadInput, MemoryIsReadInPlaceAndNeverWritten) {
  const unsigned char bytes[] = {'a', 0, 'b'};
  unsigned char* writable = const_cast<unsigned char*>(bytes);
  DataBuffer input{nullptr, writable, 3, DATA_IN_MEMORY};
  const DataBuffer before = input;
  const InputData data = readInput(&input);
  EXPECT_EQ(data.data(), bytes) << "no copy of the caller's bytes";
  ASSERT_EQ(data.size(), 3U);
  EXPECT_EQ(data.text(), "a");
  EXPECT_EQ(input.data, before.data);
  EXPECT_EQ(input.length, before.length);
}

TEST(InputData, OwnedBytesSurviveMovesAndEndInAnUncountedZero) {
  const unsigned char bytes[] = {'x', 'y'};
  InputData copy = InputData::copyOf(bytes);
  EXPECT_NE(copy.data(), bytes);
  InputData moved = std::move(copy);
  ASSERT_EQ(moved.size(), 2U);
  EXPECT_EQ(moved.data()[0], 'x');
  EXPECT_EQ(moved.data()[2], 0);
  EXPECT_EQ(moved.text(), "xy");
  EXPECT_EQ(copy.size(), 0U);  // NOLINT: a moved-from input is empty, not dangling
  InputData decoded = InputData::fromBytes({0x30, 0x00});
  EXPECT_EQ(decoded.size(), 2U) << "a trailing zero byte is data, not the terminator";
  InputData borrowed = InputData::borrow(bytes);
  borrowed = std::move(decoded);
  EXPECT_EQ(borrowed.size(), 2U);
  EXPECT_EQ(borrowed.data()[0], 0x30);
}

TEST(ReadInput, ReadsFiles) {
  test::TempDir dir;
  test::writeFile(dir.file("in"), "file data");
  auto path = os::toUtf16(dir.file("in"));
  DataBuffer input{path.data(), nullptr, 0, DATA_IN_FILE};
  const InputData data = readInput(&input);
  EXPECT_EQ(data.text(), "file data");
  EXPECT_EQ(data.data()[data.size()], 0);
}

}  // namespace
}  // namespace marqen
