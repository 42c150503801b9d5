// Long input, several controls in one process, and many calls in a row.

#include <gtest/gtest.h>

#include "platform/os/shared_library.h"
#include "tests/control/control_driver.h"

namespace marqen::test {
namespace {

constexpr const char* kOk = "Operation Completed Successfully";
constexpr std::size_t kMiB = std::size_t{1} << 20;

TEST(TwoControls, KeepSeparateState) {
  const TestSigner& signer = TestSigner::get();
  ControlDriver a;
  ControlDriver b;
  ASSERT_TRUE(a.boolean(u"updateData", {str(u"for a")}));
  ASSERT_TRUE(a.boolean(u"setSigningCertFromStore", {str(signer.issuer), str(signer.serial)}));
  ASSERT_TRUE(a.boolean(u"setComments", {str(u"a's comments")}));
  ASSERT_TRUE(b.boolean(u"updateData", {str(u"for b")}));
  EXPECT_EQ(b.string(u"sign"), u"");
  EXPECT_EQ(b.status(), "Signing certificate parameters are not set or invalid parameters set.");
  ASSERT_TRUE(b.boolean(u"setSigningCertFromFile", {str(signer.pfxPath), str(signer.password)}));
  ASSERT_TRUE(b.boolean(u"setSignatureFormat", {num(2)}));

  const Bytes fromA = base64Decode(utf8(a.string(u"sign")));
  EXPECT_EQ(a.status(), kOk);
  const Bytes fromB = bytesOf(b.string(u"sign"));
  EXPECT_EQ(opensslVerify(fromA).content, "for a");
  EXPECT_EQ(opensslVerify(fromB).content, "for b");
  EXPECT_TRUE(signedAttributes(fromA).octetString("1.3.6.1.4.1.311.88.2.2"));
  EXPECT_FALSE(signedAttributes(fromB).octetString("1.3.6.1.4.1.311.88.2.2"));
}

// 1 MiB strings everywhere a string goes: stored whole, signed whole, or refused cleanly.
TEST(LongStrings, OneMebibyteArguments) {
  const TestSigner& signer = TestSigner::get();
  const TempDir dir;
  ControlDriver driver;
  const std::u16string data(kMiB, u'\u00e9');  // two bytes each as 8-bit text
  ASSERT_TRUE(driver.boolean(u"updateData", {str(data)}));
  ASSERT_TRUE(driver.boolean(u"setComments", {str(std::u16string(kMiB, u'c'))}));
  ASSERT_TRUE(driver.boolean(u"setDocumentName", {str(std::u16string(kMiB, u'd'))}));
  ASSERT_TRUE(
      driver.boolean(u"setSigningCertFromFile", {str(signer.pfxPath), str(signer.password)}));
  const Bytes message = base64Decode(utf8(driver.string(u"sign")));
  ASSERT_EQ(driver.status(), kOk);
  EXPECT_EQ(opensslVerify(message).content, utf8(data));
  EXPECT_EQ(signedAttributes(message).octetString("1.3.6.1.4.1.311.88.2.2")->size(), kMiB + 1);

  // Names and paths that long reach the library whole, which refuses them.
  const std::u16string longText(kMiB, u'x');
  ASSERT_TRUE(driver.boolean(u"setSigningCertFromStore", {str(longText), str(longText)}));
  EXPECT_EQ(driver.string(u"sign"), u"");
  EXPECT_NE(driver.status(), kOk);
  EXPECT_FALSE(driver.boolean(u"signToFile", {str(dir.file(utf8(longText)))}));
  EXPECT_FALSE(driver.status().empty());
  EXPECT_EQ(driver.string(u"DERToBase64", {str(longText)}), u"");
  EXPECT_FALSE(driver.status().empty());
  EXPECT_FALSE(driver.boolean(u"setSigningCertFromFile", {str(longText), str(longText)}));
  EXPECT_FALSE(driver.boolean(u"viewSignerCertFromStore", {str(longText), str(longText)}));

  // A megabyte of Base64 decodes into 768 KiB.
  const std::string out = dir.file("big.bin");
  EXPECT_TRUE(driver.boolean(u"Base64ToDER", {str(std::u16string(kMiB, u'A')), str(out)}));
  EXPECT_EQ(readFile(out).size(), kMiB / 4 * 3);
}

// A thousand calls of every kind on one control; LeakSanitizer checks what is left at exit.
TEST(ManyCalls, AThousandCallsLeaveNothingBehind) {
  const TestSigner& signer = TestSigner::get();
  const TempDir dir;
  const std::string in = dir.file("in.bin");
  writeFile(in, "ABC");
  ControlDriver driver;
  ASSERT_TRUE(driver.boolean(u"setSigningCertFromStore", {str(signer.issuer), str(signer.serial)}));
  int signatures = 0;
  for (int i = 0; i < 1000; ++i) {
    switch (i % 10) {
      case 0:
        driver.call(u"updateData",
                    {str(u"data " + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)))});
        break;
      case 1:
        driver.call(u"setComments", {str(u"comments")});
        break;
      case 2:
        driver.call(u"setSigningTime", {date(45000.25 + i)});
        break;
      case 3:
        signatures += driver.string(u"sign").empty() ? 0 : 1;
        break;
      case 4:
        driver.call(u"DERToBase64", {str(in)});
        break;
      case 5:
        driver.call(u"setSigningCertFromFile", {str(signer.pfxPath), str(signer.password)});
        break;
      case 6:
        driver.call(u"updateSignature", {str(u"not a message")});
        break;
      case 7:
        driver.call(u"coSign");
        break;
      case 8:
        driver.call(u"setTimeStamp", {str(u"ts")});
        break;
      default:
        driver.call(u"getErrorMessage");
        break;
    }
  }
  EXPECT_EQ(signatures, 100);
  EXPECT_FALSE(os::SharedLibrary::isLoaded("libMarqen_InterfaceV2.so"));
}

}  // namespace
}  // namespace marqen::test
