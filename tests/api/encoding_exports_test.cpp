#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "Marqen_InterfaceV2.h"
#include "platform/os/text.h"
#include "tests/support/temp_dir.h"

extern "C" int marqenCHeaderRoundTrip(void);

namespace {

using marqen::test::TempDir;

// A memory input over a string the test keeps alive.
struct MemoryInput {
  std::string bytes;
  DataBuffer record;
  explicit MemoryInput(std::string b, int32_t kind = DATA_IN_MEMORY) : bytes(std::move(b)) {
    record = {nullptr, reinterpret_cast<unsigned char*>(bytes.data()),
              static_cast<int32_t>(bytes.size()), kind};
  }
  const DataBuffer* get() const { return &record; }
};

struct FileInput {
  std::u16string path;
  DataBuffer record;
  explicit FileInput(const std::string& p) : path(marqen::os::toUtf16(p)) {
    record = {path.data(), nullptr, 0, DATA_IN_FILE};
  }
  const DataBuffer* get() const { return &record; }
};

struct Encoded {
  ErrorCode code;
  std::string text;
};

Encoded toBase64(const DataBuffer* input) {
  char placeholder = '?';
  char* out = &placeholder;
  const ErrorCode code = DERtoBase64(input, &out);
  Encoded result{code, {}};
  if (code == 0) {
    result.text = out;
    std::free(out);
  } else {
    EXPECT_EQ(out, &placeholder) << "a failed call must not touch the output";
  }
  return result;
}

struct Decoded {
  ErrorCode code;
  std::string bytes;
};

Decoded fromBase64(const DataBuffer* input) {
  unsigned char placeholder = '?';
  unsigned char* out = &placeholder;
  int32_t length = -7;
  const ErrorCode code = Base64toDER(input, &out, &length);
  Decoded result{code, {}};
  if (code == 0) {
    result.bytes.assign(reinterpret_cast<char*>(out), static_cast<std::size_t>(length));
    EXPECT_EQ(out[length], 0) << "one uncounted zero byte follows";
    std::free(out);
  } else {
    EXPECT_EQ(out, &placeholder);
    EXPECT_EQ(length, -7);
  }
  return result;
}

std::string repeat(std::string_view unit, int times) {
  std::string out;
  for (int i = 0; i < times; ++i)
    out += unit;
  return out;
}

TEST(DERtoBase64, EncodesMemoryInput) {
  EXPECT_EQ(toBase64(MemoryInput("abc").get()).text, "YWJj");
  EXPECT_EQ(toBase64(MemoryInput(std::string(1, '\0')).get()).text, "AA==");
  EXPECT_EQ(toBase64(MemoryInput(std::string(48, 'x')).get()).text, repeat("eHh4", 16) + "\n");
}

TEST(DERtoBase64, EncodesFileInput) {
  TempDir dir;
  marqen::test::writeFile(dir.file("in.der"), std::string("\x30\x03\x02\x01\x05", 5));
  EXPECT_EQ(toBase64(FileInput(dir.file("in.der")).get()).text, "MAMCAQU=");
}

TEST(DERtoBase64, RefusesBadInputInOrder) {
  char placeholder = 0;
  char* out = &placeholder;
  EXPECT_EQ(DERtoBase64(nullptr, &out), MARQEN_E_MISSING_ARGUMENT);
  MemoryInput kind3("abc", 3);
  EXPECT_EQ(DERtoBase64(kind3.get(), &out), MARQEN_E_INVALID_DATA_KIND);
  MemoryInput empty("abc");
  empty.record.length = 0;
  EXPECT_EQ(DERtoBase64(empty.get(), &out), MARQEN_E_INVALID_INPUT_LENGTH);
  // The input is checked before the output.
  EXPECT_EQ(DERtoBase64(empty.get(), nullptr), MARQEN_E_INVALID_INPUT_LENGTH);
  MemoryInput good("abc");
  EXPECT_EQ(DERtoBase64(good.get(), nullptr), MARQEN_E_NULL_OUTPUT);
  char* nullOut = nullptr;
  EXPECT_EQ(DERtoBase64(good.get(), &nullOut), MARQEN_E_NULL_OUTPUT);
  EXPECT_EQ(out, &placeholder);
  TempDir dir;
  marqen::test::writeFile(dir.file("empty"), "");
  EXPECT_EQ(DERtoBase64(FileInput(dir.file("empty")).get(), &out), MARQEN_E_EMPTY_INPUT_FILE);
  EXPECT_EQ(DERtoBase64(FileInput(dir.file("missing")).get(), &out), MARQEN_E_FILE_OPEN_READ);
}

TEST(DERtoBase64, LeavesTheCallersInputUnchanged) {
  MemoryInput input("\x01\x02\x03");
  const DataBuffer before = input.record;
  ASSERT_EQ(toBase64(input.get()).code, 0);
  EXPECT_EQ(input.bytes, "\x01\x02\x03");
  EXPECT_EQ(std::memcmp(&before, &input.record, sizeof before), 0);
}

TEST(Base64toDER, DecodesWithTheDocumentedLeniency) {
  EXPECT_EQ(fromBase64(MemoryInput("YWJj").get()).bytes, "abc");
  EXPECT_EQ(fromBase64(MemoryInput("YW\r\nJj").get()).bytes, "abc");
  EXPECT_EQ(fromBase64(MemoryInput("YQ").get()).bytes, std::string("a\0\0", 3));
  // The text ends at its first zero byte, even when the length says more.
  EXPECT_EQ(fromBase64(MemoryInput(std::string("YWJj\0garbage", 12)).get()).bytes, "abc");
}

TEST(Base64toDER, NothingDecodedGives1201) {
  EXPECT_EQ(fromBase64(MemoryInput("YW*j").get()).code, MARQEN_E_BASE64_TO_DER);
  EXPECT_EQ(fromBase64(MemoryInput(std::string(1, '\0')).get()).code, MARQEN_E_BASE64_TO_DER);
  EXPECT_EQ(fromBase64(MemoryInput("\r\n").get()).code, MARQEN_E_BASE64_TO_DER);
}

TEST(Base64toDER, RefusesBadInputAndOutput) {
  unsigned char placeholder = 0;
  unsigned char* out = &placeholder;
  int32_t length = 0;
  EXPECT_EQ(Base64toDER(nullptr, &out, &length), MARQEN_E_MISSING_ARGUMENT);
  MemoryInput good("YWJj");
  EXPECT_EQ(Base64toDER(good.get(), nullptr, &length), MARQEN_E_NULL_OUTPUT);
  unsigned char* nullOut = nullptr;
  EXPECT_EQ(Base64toDER(good.get(), &nullOut, &length), MARQEN_E_NULL_OUTPUT);
  EXPECT_EQ(Base64toDER(good.get(), &out, nullptr), MARQEN_E_NULL_OUTPUT);
  EXPECT_EQ(out, &placeholder);
}

TEST(Base64Exports, RoundTripThroughFiles) {
  TempDir dir;
  std::string binary;
  for (int i = 0; i < 1000; ++i)
    binary.push_back(static_cast<char>(i * 31));
  marqen::test::writeFile(dir.file("data.bin"), binary);
  const Encoded text = toBase64(FileInput(dir.file("data.bin")).get());
  ASSERT_EQ(text.code, 0);
  marqen::test::writeFile(dir.file("data.b64"), text.text);
  EXPECT_EQ(fromBase64(FileInput(dir.file("data.b64")).get()).bytes, binary);
}

TEST(PublicHeader, UsableFromC) {
  EXPECT_EQ(marqenCHeaderRoundTrip(), 1);
}

}  // namespace
