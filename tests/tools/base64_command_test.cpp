#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

using marqen::test::readFile;
using marqen::test::runProcess;
using marqen::test::TempDir;
using marqen::test::writeFile;

TEST(MarqenTool, HelpListsTheCommands) {
  const auto result = runProcess(MARQEN_TOOL, {"--help"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.out.find("base64 encode FILE"), std::string::npos);
  EXPECT_NE(result.out.find("base64 decode FILE OUT"), std::string::npos);
}

TEST(MarqenTool, UnknownCommandAndBadUsageExitWith2) {
  EXPECT_EQ(runProcess(MARQEN_TOOL, {}).exitCode, 2);
  EXPECT_EQ(runProcess(MARQEN_TOOL, {"frobnicate"}).exitCode, 2);
  const auto result = runProcess(MARQEN_TOOL, {"base64", "encode"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.err.find("usage: marqen base64"), std::string::npos);
}

TEST(MarqenTool, EncodesAndDecodesBackToTheSameBytes) {
  TempDir dir;
  std::string binary;
  for (int i = 0; i < 300; ++i)
    binary.push_back(static_cast<char>(i));
  writeFile(dir.file("in.bin"), binary);
  const auto encoded = runProcess(MARQEN_TOOL, {"base64", "encode", dir.file("in.bin")});
  ASSERT_EQ(encoded.exitCode, 0) << encoded.err;
  EXPECT_EQ(encoded.out.substr(0, 8), "AAECAwQF");
  writeFile(dir.file("in.b64"), encoded.out);
  const auto decoded =
      runProcess(MARQEN_TOOL, {"base64", "decode", dir.file("in.b64"), dir.file("out.bin")});
  ASSERT_EQ(decoded.exitCode, 0) << decoded.err;
  EXPECT_EQ(readFile(dir.file("out.bin")), binary);
}

TEST(MarqenTool, LibraryFailurePrintsItsMessageAndLeavesNoOutput) {
  TempDir dir;
  writeFile(dir.file("bad.b64"), "not*base64");
  const auto result =
      runProcess(MARQEN_TOOL, {"base64", "decode", dir.file("bad.b64"), dir.file("out.bin")});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "error 1201: Error in Base64 to DER Conversion.\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("out.bin")));

  const auto missing = runProcess(MARQEN_TOOL, {"base64", "encode", dir.file("missing")});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.err, "error 202: Error opening/reading the input file.\n");
}

}  // namespace
