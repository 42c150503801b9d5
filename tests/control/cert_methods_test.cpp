// Choosing and inspecting the signer's certificate.

#include <gtest/gtest.h>

#include <openssl/asn1.h>
#include <openssl/x509.h>
#include <ostream>

#include <cstdlib>
#include <ctime>

#include "tests/control/control_driver.h"

namespace marqen::test {
namespace {

constexpr const char* kOk = "Operation Completed Successfully";

struct CheckCase {
  std::u16string_view method;
  std::vector<ScriptArg> args;
  ScriptResult result;
  std::string status;
};

// Names the case in test listings.
void PrintTo(const CheckCase& c, std::ostream* out) {
  *out << utf8(std::u16string(c.method)) << " -> " << c.status;
}

class CertificateChecks : public ::testing::TestWithParam<CheckCase> {};

// The checks come before the library: it is missing here, and no check lets the call reach it.
TEST_P(CertificateChecks, FirstFailingCheckDecides) {
  const CheckCase& c = GetParam();
  ControlDriver driver(std::string("libMarqen_NoSuchLibrary.so"));
  EXPECT_EQ(driver.call(c.method, c.args), c.result);
  EXPECT_EQ(driver.status(), c.status);
}

const std::u16string kEmpty;

INSTANTIATE_TEST_SUITE_P(
    Table, CertificateChecks,
    ::testing::Values(
        CheckCase{u"setSigningCertFromStore",
                  {str(u""), str(u"01")},
                  false,
                  "Invalid IssuerDN or SerialNo."},
        CheckCase{u"setSigningCertFromStore",
                  {str(u"CN=X"), nullStr()},
                  false,
                  "Invalid IssuerDN or SerialNo."},
        // Nothing is looked up when the store selection is made.
        CheckCase{u"setSigningCertFromStore", {str(u"CN=X"), str(u"01")}, true, kOk},
        CheckCase{u"setSigningCertFromFile", {str(u""), str(u"pw")}, false, "Invalid file path."},
        CheckCase{u"setSigningCertFromFile", {nullStr(), str(u"pw")}, false, "Invalid file path."},
        CheckCase{u"getSignerCertDetailsFromFile",
                  {str(u""), str(u"pw"), num(1)},
                  kEmpty,
                  "Invalid certificate file path."},
        CheckCase{u"getSignerCertDetailsFromFile",
                  {str(u"a.pfx"), str(u"pw"), num(0)},
                  kEmpty,
                  " Invalid certificate detail index."},
        CheckCase{u"viewSignerCertFromFile",
                  {nullStr(), str(u"pw")},
                  false,
                  "Invalid certificate file path."},
        CheckCase{u"viewSignerCertFromStore", {str(u""), str(u"01")}, false, "Invalid IssuerDN."},
        CheckCase{u"viewSignerCertFromStore", {str(u"CN=X"), str(u"")}, false, "Invalid SerialNo."},
        CheckCase{
            u"getSelectedSignerCertDetails", {num(1)}, kEmpty, "Signer certificate is not set."}));

std::string expiryText(const Issued& issued) {
  std::tm fields{};
  EXPECT_EQ(ASN1_TIME_to_tm(X509_get0_notAfter(issued.certificate.get()), &fields), 1);
  const std::time_t instant = ::timegm(&fields);
  std::tm local{};
  ::localtime_r(&instant, &local);
  char text[64];
  return std::string(text, std::strftime(text, sizeof text, "%d-%m-%Y : %I:%M:%S %p", &local));
}

TEST(CertificateFromFile, DetailsByParameter) {
  const TestSigner& signer = TestSigner::get();
  ControlDriver driver;
  const auto details = [&](std::int32_t parameter) {
    return utf8(driver.string(u"getSignerCertDetailsFromFile",
                              {str(signer.pfxPath), str(signer.password), num(parameter)}));
  };
  EXPECT_EQ(details(1), "CN=Control Signer, O=Marqen Test");
  EXPECT_EQ(driver.status(), kOk);
  EXPECT_EQ(details(2), signer.issuer);
  EXPECT_EQ(details(3), signer.serial);
  EXPECT_EQ(details(4), expiryText(signer.holder));
  EXPECT_EQ(details(5), "");
  EXPECT_EQ(driver.status(), "Invalid input parameter.");
  EXPECT_EQ(details(-1), "");
  EXPECT_EQ(driver.status(), "Invalid input parameter.");
}

TEST(CertificateFromFile, WrongPasswordKeepsTheEarlierSigner) {
  const TestSigner& signer = TestSigner::get();
  ControlDriver driver;
  ASSERT_TRUE(driver.boolean(u"updateData", {str(u"abc")}));
  EXPECT_FALSE(driver.boolean(u"setSigningCertFromFile", {str(signer.pfxPath), str(u"wrong")}));
  const std::string refused = driver.status();
  EXPECT_NE(refused, kOk);
  EXPECT_FALSE(refused.empty());
  EXPECT_EQ(driver.string(u"sign"), u"");
  EXPECT_EQ(driver.status(),
            "Signing certificate parameters are not set or invalid parameters set.");

  EXPECT_EQ(
      driver.string(u"getSignerCertDetailsFromFile", {str(signer.pfxPath), str(u"wrong"), num(1)}),
      u"");
  EXPECT_EQ(driver.status(), refused);

  ASSERT_TRUE(
      driver.boolean(u"setSigningCertFromFile", {str(signer.pfxPath), str(signer.password)}));
  EXPECT_FALSE(driver.boolean(u"setSigningCertFromFile", {str(signer.pfxPath), str(u"wrong")}));
  EXPECT_FALSE(driver.string(u"sign").empty());
}

// A store selection is checked only when signing: an unknown serial signs nothing.
TEST(CertificateFromStore, UnknownSerialFailsAtSigning) {
  ControlDriver driver;
  ASSERT_TRUE(driver.boolean(u"updateData", {str(u"abc")}));
  ASSERT_TRUE(driver.boolean(u"setSigningCertFromStore",
                             {str(TestSigner::get().issuer), str(u"0123456789")}));
  EXPECT_EQ(driver.string(u"sign"), u"");
  EXPECT_NE(driver.status(), kOk);
  EXPECT_FALSE(driver.status().empty());
}

// Listing the personal store's signing certificates (one here).
TEST(CertificateListing, CountAndDetailsOfTheStore) {
  const TestSigner& signer = TestSigner::get();
  ControlDriver driver;
  EXPECT_EQ(driver.number(u"getSignerCertCountFromStore"), 1);
  EXPECT_EQ(driver.status(), kOk);
  const auto details = [&](std::int32_t index, std::int32_t parameter) {
    return utf8(driver.string(u"getSignerCertDetailsFromStore", {num(index), num(parameter)}));
  };
  EXPECT_EQ(details(0, 1), "CN=Control Signer, O=Marqen Test");
  EXPECT_EQ(details(0, 2), signer.issuer);
  EXPECT_EQ(details(0, 3), signer.serial);
  EXPECT_EQ(details(0, 4), expiryText(signer.holder));
  EXPECT_EQ(driver.status(), kOk);
  EXPECT_EQ(details(1, 1), "");
  EXPECT_EQ(driver.status(), "Invalid certificate  index.");
  EXPECT_EQ(details(-1, 1), "");
  EXPECT_EQ(driver.status(), "Invalid certificate  index.");
  EXPECT_EQ(details(0, 0), "");
  EXPECT_EQ(driver.status(), " Invalid certificate detail index.");
  EXPECT_EQ(details(0, 5), "");
  EXPECT_EQ(driver.status(), "Invalid input parameter.");
}

// The viewer is a program; a stand-in that exits at once plays the user closing it.
TEST(CertificateViewing, ShowsFromFileAndStore) {
  const TestSigner& signer = TestSigner::get();
  ::setenv("MARQEN_CERT_VIEWER", "true", 1);
  ::setenv("DISPLAY", ":0", 1);
  ControlDriver driver;
  EXPECT_TRUE(
      driver.boolean(u"viewSignerCertFromFile", {str(signer.pfxPath), str(signer.password)}));
  EXPECT_EQ(driver.status(), kOk);
  EXPECT_TRUE(driver.boolean(u"viewSignerCertFromStore", {str(signer.issuer), str(signer.serial)}));
  EXPECT_EQ(driver.status(), kOk);
  // An empty path is the library's to refuse.
  EXPECT_FALSE(driver.boolean(u"viewSignerCertFromFile", {str(u""), str(signer.password)}));
  EXPECT_NE(driver.status(), kOk);
  ::unsetenv("MARQEN_CERT_VIEWER");
  ::unsetenv("DISPLAY");
}

}  // namespace
}  // namespace marqen::test
