// The methods that store input: their checks, texts and results, each on a fresh control.

#include <gtest/gtest.h>

#include <cstdlib>

#include <ostream>

#include <cmath>
#include <limits>

#include "tests/control/control_driver.h"

namespace marqen::test {
namespace {

// These programs run without a graphical session, so no dialog of the control ever opens.
const bool kWithoutDisplay = [] {
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");
  return true;
}();

constexpr const char* kOk = "Operation Completed Successfully";

struct Case {
  std::u16string_view method;
  std::vector<ScriptArg> args;
  ScriptResult result;
  std::string status;
};

// Names the case in test listings.
void PrintTo(const Case& c, std::ostream* out) {
  *out << utf8(std::u16string(c.method)) << " -> " << c.status;
}

const ScriptResult T = true;
const ScriptResult F = false;
const ScriptResult None = std::monostate{};

class InputMethods : public ::testing::TestWithParam<Case> {};

TEST_P(InputMethods, AnswerWithTheirResultAndStatus) {
  const Case& c = GetParam();
  ControlDriver driver;
  EXPECT_EQ(driver.call(c.method, c.args), c.result);
  EXPECT_EQ(driver.status(), c.status);
}

INSTANTIATE_TEST_SUITE_P(
    Table, InputMethods,
    ::testing::Values(
        Case{u"updateData", {str(u"abc")}, T, kOk},
        Case{u"updateData", {str(u"")}, F, "Empty Data."},
        Case{u"updateData", {nullStr()}, F, "Empty Data."},
        // Text ends at its first U+0000, as the 8-bit text it becomes.
        Case{u"updateData", {str(std::u16string(u"\0abc", 4))}, F, "Empty Data."},
        Case{u"updateDataFile", {str(u"/no/such/file")}, T, kOk},
        Case{u"updateDataFile", {str(u"")}, F, "Empty FilePath."},
        Case{u"updateDataFile", {nullStr()}, F, "Empty FilePath."},
        Case{u"updateSignature", {str(u"abc")}, T, kOk},
        Case{u"updateSignature", {nullStr()}, F, "Empty signature."},
        Case{u"updateSignatureFile", {str(u"")}, F, "Empty FilePath."},
        Case{u"setDetached", {num(1)}, T, kOk}, Case{u"setDetached", {num(0)}, T, kOk},
        Case{u"setSignatureFormat", {num(2)}, T, kOk},
        Case{u"setSignatureFormat", {num(3)}, F, "Unsupported encoding format."},
        Case{u"setSignatureFormat", {num(0)}, F, "Unsupported encoding format."},
        Case{u"SetLogo", {num(903)}, T, kOk},
        Case{u"SetLogo", {num(900)}, F, "Value entered for SetLogo is invalid"},
        Case{u"SetLogo", {num(904)}, F, "Value entered for SetLogo is invalid"},
        Case{u"setComments", {str(u"c")}, T, kOk},
        Case{u"setComments", {nullStr()}, F, "Invalid signature comments."},
        Case{u"setComments", {str(u"")}, F, "Invalid Signature Comments"},
        Case{u"setDocumentName", {str(u"")}, F, "Invalid document name."},
        Case{u"setDocumentName", {nullStr()}, F, "Invalid document name."},
        Case{u"setTimeStamp", {str(u"")}, F, "Invalid timestamp response."},
        Case{u"setTimeStamp", {str(u"response")}, T, kOk},
        Case{u"setSigningTime", {date(0.0)}, F, "Invalid signing time."},
        Case{u"setSigningTime", {date(std::nan(""))}, F, "Invalid signing time."},
        Case{u"setSigningTime",
             {date(std::numeric_limits<double>::infinity())},
             F,
             "Invalid signing time."},
        Case{u"setSigningTime", {date(45000.5)}, T, kOk},
        Case{u"setHashAlgorithm", {num(1)}, T, "setHashAlgorithm successfully completed."},
        Case{u"setHashAlgorithm", {num(2)}, F, "Unsupported Hash Algorithm."},
        Case{u"setHashAlgorithm", {num(0x800C)}, T, "setHashAlgorithm successfully completed."},
        Case{u"setHashAlgorithm", {num(0x800E)}, T, "setHashAlgorithm successfully completed."},
        Case{u"setHashAlgorithm", {num(0x800F)}, F, "Unsupported Hash Algorithm."},
        // These leave the status as it was: empty on a fresh control.
        Case{u"setRevocationCheck", {num(7)}, T, ""},
        Case{u"setRevocationCheckOnline", {num(1)}, T, ""}, Case{u"setCA", {str(u"Any CA")}, T, ""},
        Case{u"setCA", {nullStr()}, T, ""}, Case{u"validateCertBeforeSigning", {num(1)}, None, ""},
        Case{u"askPinAlways", {num(1)}, None, "askPinAlways is set to TRUE."},
        Case{u"askPinAlways", {num(0)}, None, "askPinAlways is set to FALSE."},
        Case{u"AboutBox", {}, None, ""}, Case{u"getErrorMessage", {}, std::u16string(), ""},
        Case{u"getSelectedSignerCertDetails",
             {num(1)},
             std::u16string(),
             "Signer certificate is not set."},
        // No display in this test program: the picker cannot be shown, as if cancelled.
        Case{u"selectSigningCertFromUI", {}, F, "Error in selectSigningCertFromUI"}));

// A failed setter changes nothing but the status: the earlier value is still in force.
TEST(InputMethodsState, FailedSetterKeepsTheEarlierValue) {
  const TestSigner& signer = TestSigner::get();
  ControlDriver driver;
  ASSERT_TRUE(driver.boolean(u"updateData", {str(u"kept")}));
  ASSERT_TRUE(driver.boolean(u"setSignatureFormat", {num(2)}));
  ASSERT_TRUE(driver.boolean(u"setSigningCertFromStore", {str(signer.issuer), str(signer.serial)}));
  EXPECT_FALSE(driver.boolean(u"updateData", {str(u"")}));
  EXPECT_FALSE(driver.boolean(u"setSignatureFormat", {num(3)}));
  EXPECT_FALSE(driver.boolean(u"setSigningCertFromStore", {str(u""), str(signer.serial)}));
  const Bytes message = bytesOf(driver.string(u"sign"));
  ASSERT_EQ(driver.status(), kOk);
  EXPECT_EQ(opensslVerify(message).content, "kept");
}

}  // namespace
}  // namespace marqen::test
