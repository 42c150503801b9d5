// Base64 text to a file and a file to Base64 text through the library.

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/control/control_driver.h"

namespace marqen::test {
namespace {

constexpr const char* kOk = "Operation Completed Successfully";

class Conversion : public ::testing::Test {
 protected:
  ControlDriver driver;
  TempDir dir;
};

TEST_F(Conversion, Base64ToDerWritesTheBytes) {
  const std::string out = dir.file("abc.bin");
  writeFile(out, "an older and longer content");
  EXPECT_TRUE(driver.boolean(u"Base64ToDER", {str(u"QUJD"), str(out)}));
  EXPECT_EQ(driver.status(), kOk);
  EXPECT_EQ(readFile(out), "ABC");
}

TEST_F(Conversion, Base64ToDerFailures) {
  const std::string out = dir.file("out.bin");
  EXPECT_FALSE(driver.boolean(u"Base64ToDER", {str(u"QU*D"), str(out)}));
  EXPECT_EQ(driver.status(), "Error in Base64 to DER Conversion.");
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_FALSE(driver.boolean(u"Base64ToDER", {str(u"QUJD"), str(dir.file("none/out.bin"))}));
  EXPECT_EQ(driver.status(), "Unable to create the file.");
  EXPECT_FALSE(driver.boolean(u"Base64ToDER", {str(u"QUJD"), str(u"")}));
  EXPECT_EQ(driver.status(), " Invalid outFile path.");
  EXPECT_FALSE(driver.boolean(u"Base64ToDER", {nullStr(), str(out)}));
  EXPECT_EQ(driver.status(), "Invalid Base64 string.");
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(Conversion, DerToBase64ReadsTheFile) {
  const std::string in = dir.file("abc.bin");
  writeFile(in, "ABC");
  EXPECT_EQ(driver.string(u"DERToBase64", {str(in)}), u"QUJD");
  EXPECT_EQ(driver.status(), kOk);

  const std::string empty = dir.file("empty.bin");
  writeFile(empty, "");
  EXPECT_EQ(driver.string(u"DERToBase64", {str(empty)}), u"");
  EXPECT_EQ(driver.status(), "Input file is an empty file.");
  EXPECT_EQ(driver.string(u"DERToBase64", {str(u"")}), u"");
  EXPECT_EQ(driver.status(), "Invalid file path.");
}

// Every byte value survives the way out to text and back to a file.
TEST_F(Conversion, RoundTripOfEveryByteValue) {
  std::string all;
  for (int i = 0; i < 256; ++i)
    all += static_cast<char>(i);
  const std::string in = dir.file("all.bin");
  const std::string out = dir.file("again.bin");
  writeFile(in, all);
  const std::u16string text = driver.string(u"DERToBase64", {str(in)});
  ASSERT_EQ(driver.status(), kOk);
  EXPECT_NE(text.find(u'\n'), std::u16string::npos);
  EXPECT_TRUE(driver.boolean(u"Base64ToDER", {str(text), str(out)}));
  EXPECT_EQ(readFile(out), all);
}

}  // namespace
}  // namespace marqen::test
