// Signing through the control: the checks in order, and real messages that openssl verifies.

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <ostream>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "tests/control/control_driver.h"

namespace marqen::test {
namespace {

constexpr const char* kOk = "Operation Completed Successfully";
constexpr const char* kCommentsOid = "1.3.6.1.4.1.311.88.2.2";
constexpr const char* kDocumentNameOid = "1.3.6.1.4.1.311.88.2.1";
constexpr const char* kTimeStampOid = "1.3.6.1.5.5.7.0.13";
constexpr const char* kSigningTimeOid = "1.2.840.113549.1.9.5";

struct Step {
  std::u16string_view method;
  std::vector<ScriptArg> args;
};

struct CheckCase {
  std::vector<Step> setup;
  std::u16string_view method;
  std::vector<ScriptArg> args;
  ScriptResult result;
  std::string status;
};

// Names the case in test listings.
void PrintTo(const CheckCase& c, std::ostream* out) {
  *out << utf8(std::u16string(c.method)) << " -> " << c.status;
}

const Step kData{u"updateData", {str(u"abc")}};
const Step kSignature{u"updateSignature", {str(u"c2ln")}};
const Step kStoreSigner{u"setSigningCertFromStore", {str(u"CN=X"), str(u"01")}};
const std::u16string kEmpty;

class SigningChecks : public ::testing::TestWithParam<CheckCase> {};

// Every check fails before the library is loaded: the control is bound to a library that does
// not exist, so a check that let the call through would leave a different status.
TEST_P(SigningChecks, FirstFailingCheckDecides) {
  const CheckCase& c = GetParam();
  ControlDriver driver(std::string("libMarqen_NoSuchLibrary.so"));
  for (const Step& step : c.setup)
    driver.call(step.method, step.args);
  EXPECT_EQ(driver.call(c.method, c.args), c.result);
  EXPECT_EQ(driver.status(), c.status);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SigningChecks,
    ::testing::Values(
        CheckCase{{}, u"sign", {}, kEmpty, "Data not updated or invalid data updated."},
        CheckCase{{kStoreSigner}, u"sign", {}, kEmpty, "Data not updated or invalid data updated."},
        CheckCase{{kData},
                  u"sign",
                  {},
                  kEmpty,
                  "Signing certificate parameters are not set or invalid parameters set."},
        CheckCase{
            {kData, kStoreSigner}, u"signToFile", {str(u"")}, false, "Invalid input parameter."},
        CheckCase{
            {kData, kStoreSigner}, u"signToFile", {nullStr()}, false, "Invalid input parameter."},
        CheckCase{
            {}, u"signToFile", {str(u"o")}, false, "Data not updated or Invalid data updated."},
        CheckCase{{kData},
                  u"signToFile",
                  {str(u"o")},
                  false,
                  "Signing certificate parameters are not set or Invalid parameters set."},
        CheckCase{{kData, kStoreSigner}, u"coSign", {}, kEmpty, " Signature not set."},
        CheckCase{{kSignature}, u"coSign", {}, kEmpty, "Certificate parameters not set."},
        CheckCase{{}, u"coSignToFile", {str(u"")}, false, "Invalid input parameter."},
        CheckCase{{}, u"coSignToFile", {str(u"o")}, false, " Signature not set."},
        CheckCase{
            {kSignature}, u"coSignToFile", {str(u"o")}, false, " Certificate Parameters not set."},
        CheckCase{{}, u"counterSign", {num(-1)}, kEmpty, " Signature not set."},
        CheckCase{{kSignature}, u"counterSign", {num(-1)}, kEmpty, "Invalid signer index not set."},
        CheckCase{
            {kSignature}, u"counterSign", {num(0)}, kEmpty, " Certificate parameters not set."},
        CheckCase{{}, u"counterSignToFile", {str(u""), num(-1)}, false, "Invalid input parameter."},
        CheckCase{{}, u"counterSignToFile", {str(u"o"), num(-1)}, false, " Signature not set."},
        CheckCase{{kSignature},
                  u"counterSignToFile",
                  {str(u"o"), num(-1)},
                  false,
                  "Signer index not set."},
        CheckCase{{kSignature},
                  u"counterSignToFile",
                  {str(u"o"), num(0)},
                  false,
                  " Certificate parameters not set."},
        CheckCase{{}, u"rawSign", {}, kEmpty, "Data not updated or invalid data updated."},
        CheckCase{{kData},
                  u"rawSign",
                  {},
                  kEmpty,
                  "Signing certificate parameters are not set or invalid parameters set."},
        CheckCase{{}, u"rawSignatureToFile", {str(u"")}, false, "Invalid input parameter."},
        CheckCase{{},
                  u"rawSignatureToFile",
                  {str(u"o")},
                  false,
                  "Data not updated or Invalid data updated."},
        CheckCase{{kData},
                  u"rawSignatureToFile",
                  {str(u"o")},
                  false,
                  "Signing certificate parameters are not set or Invalid parameters set."}));

class Signing : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(driver.boolean(u"updateData", {str(u"abc")}));
    ASSERT_TRUE(
        driver.boolean(u"setSigningCertFromStore", {str(signer.issuer), str(signer.serial)}));
  }
  Bytes signBase64() {
    const std::u16string text = driver.string(u"sign");
    EXPECT_EQ(driver.status(), kOk);
    return base64Decode(utf8(text));
  }

  const TestSigner& signer = TestSigner::get();
  ControlDriver driver;
  TempDir dir;
};

TEST_F(Signing, SignsBase64ThatOpensslVerifies) {
  const Bytes message = signBase64();
  const Verification verification = opensslVerify(message);
  EXPECT_TRUE(verification.verified) << verification.log;
  EXPECT_EQ(verification.content, "abc");
}

TEST_F(Signing, PfxSignerSignsToo) {
  ControlDriver pfx;
  ASSERT_TRUE(pfx.boolean(u"updateData", {str(u"from a file")}));
  ASSERT_TRUE(pfx.boolean(u"setSigningCertFromFile", {str(signer.pfxPath), str(signer.password)}));
  const Bytes message = base64Decode(utf8(pfx.string(u"sign")));
  EXPECT_EQ(opensslVerify(message).content, "from a file");
}

// DER reaches script whole, zero bytes included, one UTF-16 unit per byte.
TEST_F(Signing, DerResultIsTheWholeMessageAsABinaryString) {
  ASSERT_TRUE(driver.boolean(u"setSignatureFormat", {num(2)}));
  const std::u16string binary = driver.string(u"sign");
  ASSERT_TRUE(std::all_of(binary.begin(), binary.end(), [](char16_t u) { return u <= 0xFF; }));
  EXPECT_NE(binary.find(u'\0'), std::u16string::npos);
  EXPECT_TRUE(std::any_of(binary.begin(), binary.end(), [](char16_t u) { return u >= 0x80; }));
  const Verification verification = opensslVerify(bytesOf(binary));
  EXPECT_TRUE(verification.verified) << verification.log;
  EXPECT_EQ(verification.content, "abc");
}

TEST_F(Signing, DetachedSignatureVerifiesAgainstTheData) {
  ASSERT_TRUE(driver.boolean(u"setDetached", {num(1)}));
  const Verification verification = opensslVerify(signBase64(), std::string("abc"));
  EXPECT_TRUE(verification.verified) << verification.log;
  EXPECT_FALSE(opensslVerify(signBase64(), std::string("abd")).verified);
}

// Attributes go out once after a setter succeeds; later the latest value of every one set.
TEST_F(Signing, AttributesReachOnlyTheFirstSigningAfterASetter) {
  ASSERT_TRUE(driver.boolean(u"setComments", {str(u"first comments")}));
  ASSERT_TRUE(driver.boolean(u"setDocumentName", {str(u"doc.txt")}));
  const SignerAttributes first = signedAttributes(signBase64());
  EXPECT_EQ(first.octetString(kCommentsOid), std::string("first comments", 15));
  EXPECT_EQ(first.octetString(kDocumentNameOid), std::string("doc.txt", 8));

  const SignerAttributes second = signedAttributes(signBase64());
  EXPECT_FALSE(second.octetString(kCommentsOid));
  EXPECT_FALSE(second.octetString(kDocumentNameOid));
  EXPECT_TRUE(second.signingTime);

  EXPECT_FALSE(driver.boolean(u"setComments", {str(u"")}));  // a failed setter counts nothing
  EXPECT_FALSE(signedAttributes(signBase64()).octetString(kCommentsOid));

  ASSERT_TRUE(driver.boolean(u"setComments", {str(u"second")}));
  const SignerAttributes third = signedAttributes(signBase64());
  EXPECT_EQ(third.octetString(kCommentsOid), std::string("second", 7));
  EXPECT_EQ(third.octetString(kDocumentNameOid), std::string("doc.txt", 8));
}

// The script's signing time replaces the library's own, beside the other attributes.
TEST_F(Signing, ScriptsSigningTimeTravelsWithTheComments) {
  const ScopedTimeZone zone("UTC0");
  ASSERT_TRUE(driver.boolean(u"setSigningTime", {date(45000.5)}));
  ASSERT_TRUE(driver.boolean(u"setComments", {str(u"c")}));
  const SignerAttributes attributes = signedAttributes(signBase64());
  EXPECT_EQ(std::count(attributes.oids.begin(), attributes.oids.end(), kSigningTimeOid), 1);
  EXPECT_EQ(attributes.signingTime, (45000 - 25569) * std::int64_t{86400} + 43200);
  EXPECT_EQ(attributes.octetString(kCommentsOid), std::string("c", 2));
}

// The script's date is its local time; the message holds that instant.
TEST_F(Signing, SigningTimeIsTheInstantTheScriptMeant) {
  const ScopedTimeZone zone("EST5EDT,M3.2.0,M11.1.0");
  // 2025-01-15 12:00 and 2025-07-01 12:00, local: EST then EDT.
  const double winter = 45672.5;
  const double summer = 45839.5;
  ASSERT_TRUE(driver.boolean(u"setSigningTime", {date(winter)}));
  const auto winterTime = signedAttributes(signBase64()).signingTime;
  ASSERT_TRUE(driver.boolean(u"setSigningTime", {date(summer)}));
  const auto summerTime = signedAttributes(signBase64()).signingTime;
  EXPECT_EQ(winterTime, 1736960400);  // 2025-01-15 17:00:00 UTC
  EXPECT_EQ(summerTime, 1751385600);  // 2025-07-01 16:00:00 UTC
}

// The time-stamp attribute carries an OID that encodes, so signing goes on working after it.
TEST_F(Signing, TimeStampAttributeIsSignedAndSigningGoesOn) {
  ASSERT_TRUE(driver.boolean(u"setTimeStamp", {str(u"token")}));
  const SignerAttributes attributes = signedAttributes(signBase64());
  EXPECT_EQ(attributes.octetString(kTimeStampOid), std::string("token", 6));
  ASSERT_TRUE(driver.boolean(u"setComments", {str(u"later")}));
  EXPECT_EQ(signedAttributes(signBase64()).octetString(kCommentsOid), std::string("later", 6));
}

TEST_F(Signing, ToFileMethodsWriteTheMessageAndKeepTheStatus) {
  EXPECT_FALSE(driver.boolean(u"setSignatureFormat", {num(3)}));
  // A path far longer than any fixed buffer would hold.
  std::filesystem::path folder = dir.path();
  for (int i = 0; i < 6; ++i)
    folder /= std::string(200, static_cast<char>('a' + i));
  std::filesystem::create_directories(folder);
  const std::string out = (folder / "message.p7").string();
  ASSERT_GT(out.size(), 1100U);
  EXPECT_TRUE(driver.boolean(u"signToFile", {str(out)}));
  EXPECT_EQ(driver.status(), "Unsupported encoding format.");
  EXPECT_EQ(opensslVerify(base64Decode(readFile(out))).content, "abc");

  const std::string raw = dir.file("raw.sig");
  EXPECT_TRUE(driver.boolean(u"rawSignatureToFile", {str(raw)}));
  EXPECT_EQ(driver.status(), kOk);
  EXPECT_EQ(base64Decode(readFile(raw)).size(), 256U);
}

TEST_F(Signing, WriterFailureIsReportedWithNoFile) {
  const std::string out = dir.file("no-such-folder/message.p7");
  EXPECT_FALSE(driver.boolean(u"signToFile", {str(out)}));
  EXPECT_EQ(driver.status(), "Folder does not exist.");
  EXPECT_FALSE(std::filesystem::exists(out));
}

// The raw signature is PKCS#1 v1.5 over SHA-1 of the data, least significant byte first.
TEST_F(Signing, RawSignatureVerifiesWithTheSignersKey) {
  ASSERT_TRUE(driver.boolean(u"setSignatureFormat", {num(2)}));
  Bytes signature = bytesOf(driver.string(u"rawSign"));
  ASSERT_EQ(signature.size(), 256U);
  std::reverse(signature.begin(), signature.end());
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  ASSERT_NE(context, nullptr);
  const unsigned char data[] = {'a', 'b', 'c'};
  EXPECT_EQ(EVP_DigestVerifyInit(context, nullptr, EVP_sha1(), nullptr, signer.holder.key.get()),
            1);
  EXPECT_EQ(EVP_DigestVerify(context, signature.data(), signature.size(), data, sizeof data), 1);
  EVP_MD_CTX_free(context);

  ASSERT_TRUE(driver.boolean(u"setSignatureFormat", {num(1)}));
  EXPECT_EQ(base64Decode(utf8(driver.string(u"rawSign"))).size(), 256U);
}

TEST_F(Signing, CoSignAddsASignerToTheScriptsMessage) {
  const std::u16string first = driver.string(u"sign");
  ASSERT_TRUE(driver.boolean(u"updateSignature", {str(first)}));
  const Bytes both = base64Decode(utf8(driver.string(u"coSign")));
  EXPECT_EQ(driver.status(), kOk);
  EXPECT_EQ(signerCount(both), 2);
  const Verification verification = opensslVerify(both);
  EXPECT_TRUE(verification.verified) << verification.log;
}

TEST_F(Signing, CoSignOfADetachedMessageNeedsTheData) {
  ASSERT_TRUE(driver.boolean(u"setDetached", {num(1)}));
  const std::u16string detached = driver.string(u"sign");
  ControlDriver other;
  ASSERT_TRUE(other.boolean(u"setSigningCertFromStore", {str(signer.issuer), str(signer.serial)}));
  ASSERT_TRUE(other.boolean(u"updateSignature", {str(detached)}));
  EXPECT_EQ(other.string(u"coSign"), u"");
  EXPECT_EQ(other.status(), "Data corresponding to Detached Signature not Supplied.");
  ASSERT_TRUE(other.boolean(u"updateData", {str(u"abc")}));
  const Bytes both = base64Decode(utf8(other.string(u"coSign")));
  EXPECT_EQ(signerCount(both), 2);
  EXPECT_TRUE(opensslVerify(both, std::string("abc")).verified);
}

TEST_F(Signing, CounterSignLeavesTheStatusAndTheMessageVerifies) {
  const std::u16string first = driver.string(u"sign");
  ASSERT_TRUE(driver.boolean(u"updateSignature", {str(first)}));
  ASSERT_TRUE(driver.boolean(u"setHashAlgorithm", {num(0)}));
  const Bytes countersigned = base64Decode(utf8(driver.string(u"counterSign", {num(0)})));
  EXPECT_EQ(driver.status(), "setHashAlgorithm successfully completed.");
  EXPECT_EQ(signerCount(countersigned), 1);
  EXPECT_GT(countersigned.size(), base64Decode(utf8(first)).size() + 200);
  EXPECT_TRUE(opensslVerify(countersigned).verified);
  EXPECT_EQ(driver.string(u"counterSign", {num(1)}), u"");
  EXPECT_NE(driver.status(), "setHashAlgorithm successfully completed.");
}

}  // namespace
}  // namespace marqen::test
