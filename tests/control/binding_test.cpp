// The library is loaded for each call and gone when the call returns; a missing library or
// export fails the method with a status text and nothing of the library is called.

#include <gtest/gtest.h>

#include "platform/os/shared_library.h"
#include "tests/control/control_driver.h"

namespace marqen::test {
namespace {

constexpr const char* kLibrary = "libMarqen_InterfaceV2.so";

struct LibraryCall {
  std::u16string_view method;
  std::vector<ScriptArg> args;
  ScriptResult failure;
  std::string missingExport;  // the export the incomplete library lacks first
};

// Every method that calls into the library, with arguments that pass its own checks.
std::vector<LibraryCall> libraryCalls(const std::string& folder) {
  const std::string out = folder + "/out.p7";
  const std::u16string empty;
  return {
      {u"sign", {}, empty, "getErrorMessage"},
      {u"signToFile", {str(out)}, false, "getErrorMessage"},
      {u"coSign", {}, empty, "cosign"},
      {u"coSignToFile", {str(out)}, false, "cosign"},
      {u"counterSign", {num(0)}, empty, "countersign"},
      {u"counterSignToFile", {str(out), num(0)}, false, "countersign"},
      {u"rawSign", {}, empty, "rawsign"},
      {u"rawSignatureToFile", {str(out)}, false, "rawsign"},
      {u"setSigningCertFromFile",
       {str(u"a.pfx"), str(u"pw")},
       false,
       "getCertificateDetailsFromFile"},
      {u"getSignerCertDetailsFromFile",
       {str(u"a.pfx"), str(u"pw"), num(1)},
       empty,
       "getCertificateDetailsFromFile"},
      {u"getSignerCertCountFromStore", {}, std::int32_t{-1}, "listAllCertificatesFromStore"},
      {u"getSignerCertDetailsFromStore", {num(0), num(1)}, empty, "listAllCertificatesFromStore"},
      {u"viewSignerCertFromFile", {str(u"a.pfx"), str(u"pw")}, false, "viewCertificate"},
      {u"viewSignerCertFromStore", {str(u"CN=X"), str(u"01")}, false, "viewCertificate"},
      {u"Base64ToDER", {str(u"QUJD"), str(out)}, false, "Base64toDER"},
      {u"DERToBase64", {str(u"in.der")}, empty, "DERtoBase64"},
  };
}

// State that lets every library call pass its own checks.
void prepare(ControlDriver& driver) {
  ASSERT_TRUE(driver.boolean(u"updateData", {str(u"abc")}));
  ASSERT_TRUE(driver.boolean(u"updateSignature", {str(u"c2ln")}));
  ASSERT_TRUE(driver.boolean(u"setSigningCertFromStore", {str(u"CN=X"), str(u"01")}));
}

TEST(LibraryBinding, MissingLibraryFailsEveryLibraryMethodWithAStatus) {
  const TempDir dir;
  for (const LibraryCall& c : libraryCalls(dir.path().string())) {
    SCOPED_TRACE(utf8(std::u16string(c.method)));
    ControlDriver driver(std::string("libMarqen_NoSuchLibrary.so"));
    ASSERT_NO_FATAL_FAILURE(prepare(driver));
    EXPECT_EQ(driver.call(c.method, c.args), c.failure);
    EXPECT_EQ(driver.status(), "Unable to load the library libMarqen_NoSuchLibrary.so.");
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// The incomplete library aborts if its `sign` is ever called.
TEST(LibraryBinding, MissingExportFailsTheMethodWithoutCallingIn) {
  const TempDir dir;
  for (const LibraryCall& c : libraryCalls(dir.path().string())) {
    SCOPED_TRACE(utf8(std::u16string(c.method)));
    ControlDriver driver(std::string("libmarqen_incomplete_library.so"));
    ASSERT_NO_FATAL_FAILURE(prepare(driver));
    EXPECT_EQ(driver.call(c.method, c.args), c.failure);
    EXPECT_EQ(driver.status(), "The library libmarqen_incomplete_library.so has no function " +
                                   c.missingExport + ".");
    EXPECT_FALSE(os::SharedLibrary::isLoaded("libmarqen_incomplete_library.so"));
  }
}

TEST(LibraryBinding, LibraryIsUnloadedWhenEachCallReturns) {
  const TestSigner& signer = TestSigner::get();
  const TempDir dir;
  ASSERT_FALSE(os::SharedLibrary::isLoaded(kLibrary));
  ControlDriver driver;
  ASSERT_TRUE(driver.boolean(u"updateData", {str(u"abc")}));
  ASSERT_TRUE(
      driver.boolean(u"setSigningCertFromFile", {str(signer.pfxPath), str(signer.password)}));
  EXPECT_FALSE(os::SharedLibrary::isLoaded(kLibrary));
  EXPECT_FALSE(driver.string(u"sign").empty());
  EXPECT_FALSE(os::SharedLibrary::isLoaded(kLibrary));
  EXPECT_TRUE(driver.boolean(u"signToFile", {str(dir.file("m.p7"))}));
  EXPECT_FALSE(os::SharedLibrary::isLoaded(kLibrary));
  // A failing call unloads as well.
  EXPECT_EQ(driver.string(u"DERToBase64", {str(dir.file("missing"))}), u"");
  EXPECT_EQ(driver.status(), "Error opening/reading the input file.");
  EXPECT_FALSE(os::SharedLibrary::isLoaded(kLibrary));
}

// The message of a library code is the library's own text, read while it was loaded; a fresh
// load for every call means the library keeps nothing between calls.
TEST(LibraryBinding, LibraryCodeBecomesTheLibrarysMessage) {
  const TestSigner& signer = TestSigner::get();
  ControlDriver driver;
  ASSERT_TRUE(driver.boolean(u"updateData", {str(u"abc")}));
  ASSERT_TRUE(driver.boolean(u"setSigningCertFromStore", {str(signer.issuer), str(signer.serial)}));
  ASSERT_TRUE(driver.boolean(u"setRevocationCheck", {num(7)}));
  driver.call(u"validateCertBeforeSigning", {num(1)});
  EXPECT_EQ(driver.string(u"sign"), u"");
  EXPECT_EQ(driver.status(), "Invalid Revocation Level.");
  driver.call(u"validateCertBeforeSigning", {num(0)});
  EXPECT_FALSE(driver.string(u"sign").empty());
  EXPECT_EQ(driver.status(), "Operation Completed Successfully");
}

}  // namespace
}  // namespace marqen::test
