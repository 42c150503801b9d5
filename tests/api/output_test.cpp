#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "library/api/output.h"
#include "library/core/library_error.h"
#include "platform/os/text.h"
#include "tests/support/caller_result.h"
#include "tests/support/temp_dir.h"

namespace marqen {
namespace {

using test::readFile;
using test::TempDir;

const std::vector<unsigned char> kBytes = {'a', 'b', 'c', 0, 0xFF};

using Result = marqen::test::CallerResult;

ErrorCode deliver(int32_t format, int32_t kind, const char16_t* path, DataBuffer** result) {
  try {
    deliverOutput(kBytes, format, kind, path, result);
    return err::NO_ERROR;
  } catch (const LibraryError& e) {
    return e.code();
  }
}

TEST(DeliverOutput, Base64InMemoryIsZeroTerminatedText) {
  Result r;
  ASSERT_EQ(deliver(FORMAT_BASE64, DATA_IN_MEMORY, nullptr, &r.pointer), 0);
  EXPECT_EQ(r.record.kind, DATA_IN_MEMORY);
  EXPECT_EQ(r.record.length, 8);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(r.record.data)), "YWJjAP8=");
  EXPECT_EQ(r.record.filePath, nullptr);
}

TEST(DeliverOutput, DerInMemoryKeepsEmbeddedZerosAndAddsOne) {
  Result r;
  ASSERT_EQ(deliver(FORMAT_DER, DATA_IN_MEMORY, nullptr, &r.pointer), 0);
  ASSERT_EQ(r.record.length, 5);
  EXPECT_EQ(std::vector<unsigned char>(r.record.data, r.record.data + 5), kBytes);
  EXPECT_EQ(r.record.data[5], 0);
}

TEST(DeliverOutput, FilesGetTheBytesAndTheResultGetsThePath) {
  TempDir dir;
  for (const int32_t format : {FORMAT_BASE64, FORMAT_DER}) {
    Result r;
    const auto path = os::toUtf16(dir.file("sig.p7s"));
    ASSERT_EQ(deliver(format, DATA_IN_FILE, path.c_str(), &r.pointer), 0);
    EXPECT_EQ(r.record.kind, DATA_IN_FILE);
    EXPECT_EQ(r.record.length, static_cast<int32_t>(path.size()));
    EXPECT_EQ(std::u16string(r.record.filePath), path);
    EXPECT_EQ(r.record.data, nullptr) << "the other field stays as it was";
    const std::string content = readFile(dir.file("sig.p7s"));
    EXPECT_EQ(content, format == FORMAT_BASE64 ? "YWJjAP8=" : std::string("abc\0\xFF", 5));
  }
}

TEST(DeliverOutput, WriteFailureLeavesTheResultUntouched) {
  TempDir dir;
  Result r;
  const auto path = os::toUtf16(dir.file("missing/sig.p7s"));
  EXPECT_EQ(deliver(FORMAT_DER, DATA_IN_FILE, path.c_str(), &r.pointer), err::FOLDER_MISSING);
  EXPECT_EQ(deliver(FORMAT_DER, DATA_IN_FILE, nullptr, &r.pointer), err::INVALID_OUTPUT_PATH);
  EXPECT_EQ(r.record.filePath, nullptr);
  EXPECT_EQ(r.record.length, 0);
  EXPECT_EQ(r.record.kind, 0);
}

TEST(DeliverOutput, RefusesMissingResultAndUnknownFormatOrKind) {
  Result r;
  DataBuffer* none = nullptr;
  EXPECT_EQ(deliver(FORMAT_DER, DATA_IN_MEMORY, nullptr, nullptr), err::NULL_OUTPUT);
  EXPECT_EQ(deliver(FORMAT_DER, DATA_IN_MEMORY, nullptr, &none), err::NULL_OUTPUT);
  EXPECT_EQ(deliver(3, DATA_IN_MEMORY, nullptr, &r.pointer), err::INVALID_SIGNATURE_FORMAT);
  EXPECT_EQ(deliver(FORMAT_DER, 0, nullptr, &r.pointer), err::INVALID_DESTINATION_TYPE);
}

}  // namespace
}  // namespace marqen
