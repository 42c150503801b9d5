#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "library/cert/cert_lookup.h"
#include "library/core/library_error.h"
#include "platform/crypto/base64.h"
#include "platform/os/host_program.h"
#include "platform/os/text.h"
#include "tests/support/pki_builder.h"
#include "tests/support/raised_code.h"
#include "tests/support/temp_cert_store.h"

namespace marqen {
namespace {

using test::Bytes;
using test::Issued;
using test::TempCertStore;

std::u16string issuerTextOf(const Issued& issued) {
  return os::toUtf16(test::certificateOf(issued).issuerText());
}

Issued endEntityWithSerial(const std::string& cn, const Issued& issuer, Bytes serial) {
  test::CertificateOptions options;
  options.subject = test::makeName({"O=Marqen Test", "CN=" + cn});
  options.issuer = &issuer;
  options.serial = std::move(serial);
  options.keyUsage = "critical,digitalSignature";
  return test::issueCertificate(std::move(options));
}

class StoreLookup : public ::testing::Test {
 protected:
  TempCertStore store;
  Issued root = test::makeRootCa("Lookup Root");
  Issued otherRoot = test::makeRootCa("Other Root");

  crypto::CertificateStore my() const { return openCertificateStore(STORE_PERSONAL); }
};

TEST_F(StoreLookup, SerialIsCaseInsensitiveButLeadingZeroMatters) {
  const Issued cert = endEntityWithSerial("Alice", root, {0xAB, 0xCD, 0x01});
  store.add("MY", "alice", cert);
  const auto issuer = issuerTextOf(cert);
  // The top bit of 0xAB is set, so the encoded serial starts with a zero byte.
  EXPECT_EQ(
      serialNumberText(getCertContextFromStore(issuer.c_str(), "00abcd01", my()).certificate()),
      "00ABCD01");
  EXPECT_EQ(test::raisedCode([&] { getCertContextFromStore(issuer.c_str(), "ABCD01", my()); }),
            err::CERT_CONTEXT);
  EXPECT_EQ(test::raisedCode([&] { getCertContextFromStore(issuer.c_str(), "00 AB CD 01", my()); }),
            err::CERT_CONTEXT);
}

TEST_F(StoreLookup, SameSerialTellsIssuersApartThenTakesStoreOrder) {
  const Issued fromOther = endEntityWithSerial("Bob", otherRoot, {0x42});
  const Issued first = endEntityWithSerial("Carol", root, {0x42});
  const Issued second = endEntityWithSerial("Dave", root, {0x42});
  store.add("MY", "a-other", fromOther);
  store.add("MY", "b-first", first);
  store.add("MY", "c-second", second);
  const auto issuer = issuerTextOf(first);
  const auto found = getCertContextFromStore(issuer.c_str(), "42", my());
  EXPECT_NE(found.certificate().subjectText().find("CN=Carol"), std::string::npos);
}

TEST_F(StoreLookup, IssuerTextMatchesExactlyAndInAnyAttributeOrder) {
  const Issued cert = endEntityWithSerial("Erin", root, {0x07});
  store.add("MY", "erin", cert);
  const auto exact = issuerTextOf(cert);
  ASSERT_EQ(exact, u"CN=Lookup Root, O=Marqen Test");
  EXPECT_NO_THROW(getCertContextFromStore(exact.c_str(), "07", my()));
  EXPECT_NO_THROW(getCertContextFromStore(u"o=Marqen Test; cn= Lookup Root", "07", my()));
  EXPECT_EQ(test::raisedCode(
                [&] { getCertContextFromStore(u"CN=Other Root, O=Marqen Test", "07", my()); }),
            err::CERT_CONTEXT);
}

TEST_F(StoreLookup, MissingArgumentsAreLoggedInOrder) {
  const std::string log = os::hostProgramFolder() + "/Logs/logFile.txt";
  auto logSize = [&] {
    std::error_code ec;
    const auto size = std::filesystem::file_size(log, ec);
    return ec ? 0 : size;
  };
  const auto before = logSize();
  EXPECT_EQ(test::raisedCode([&] { getCertContextFromStore(nullptr, nullptr, my()); }),
            err::INVALID_ISSUER_DN);
  EXPECT_EQ(test::raisedCode([&] { getCertContextFromStore(u"CN=X", nullptr, my()); }),
            err::INVALID_SERIAL_NUMBER);
  EXPECT_EQ(test::raisedCode([&] { getCertContextFromStore(u"", "", my()); }),
            err::INVALID_ISSUER_DN);
  EXPECT_EQ(test::raisedCode([&] { getCertContextFromStore(u"CN=X", "", my()); }),
            err::INVALID_SERIAL_NUMBER);
  const std::string added = test::readFile(log).substr(before);
  std::size_t issuerLines = 0, serialLines = 0;
  for (auto at = added.find(": getCertContextFromStore: Invalid Issuer DN");
       at != std::string::npos;
       at = added.find(": getCertContextFromStore: Invalid Issuer DN", at + 1))
    ++issuerLines;
  for (auto at = added.find(": getCertContextFromStore: Invalid Cert Serial Number");
       at != std::string::npos;
       at = added.find(": getCertContextFromStore: Invalid Cert Serial Number", at + 1))
    ++serialLines;
  EXPECT_GE(issuerLines, 2U);
  EXPECT_GE(serialLines, 2U);
}

TEST_F(StoreLookup, MissingStoreFolderIsAnEmptyStore) {
  EXPECT_TRUE(openCertificateStore(STORE_OTHER_PEOPLE).certificates().empty());
  EXPECT_EQ(test::raisedCode([&] {
              getCertContextFromStore(u"CN=X", "01", openCertificateStore(STORE_OTHER_PEOPLE));
            }),
            err::CERT_CONTEXT);
}

class PfxLookup : public ::testing::Test {
 protected:
  test::TempDir dir;
  Issued root = test::makeRootCa("Pfx Root");
  Issued user = test::makeEndEntity("Pfx User", root);

  std::u16string write(const std::string& name, const test::PfxOptions& options) {
    test::writeBytes(dir.file(name), test::makePfx(options));
    return os::toUtf16(dir.file(name));
  }
  std::string subjectOf(const std::u16string& path, const char16_t* password) {
    return getCertContextFromPfxFile(path.c_str(), password).certificate().subjectText();
  }
};

TEST_F(PfxLookup, TakesTheCertificateWithItsKeyEvenBehindTheCa) {
  test::PfxOptions options;
  options.holder = &user;
  options.caCerts = {&root};
  options.caFirst = true;
  options.password = "secret";
  const auto path = write("ca-first.pfx", options);
  EXPECT_EQ(subjectOf(path, u"secret"), "CN=Pfx User, O=Marqen Test");
  const auto context = getCertContextFromPfxFile(path.c_str(), u"secret");
  const auto key = context.acquirePrivateKey();
  ASSERT_NE(key, nullptr);
  EXPECT_TRUE(key->matches(context.certificate()));
}

TEST_F(PfxLookup, LegacyProtectionOpens) {
  test::PfxOptions options;
  options.holder = &user;
  options.password = "legacy";
  options.protection = test::PfxProtection::Legacy;
  EXPECT_EQ(subjectOf(write("legacy.pfx", options), u"legacy"), "CN=Pfx User, O=Marqen Test");
}

TEST_F(PfxLookup, EmptyAndNullPasswordAreTheSame) {
  test::PfxOptions none;
  none.holder = &user;
  const auto noPassword = write("none.pfx", none);
  test::PfxOptions empty = none;
  empty.password = "";
  const auto emptyPassword = write("empty.pfx", empty);
  for (const auto& path : {noPassword, emptyPassword}) {
    EXPECT_NO_THROW(getCertContextFromPfxFile(path.c_str(), nullptr));
    EXPECT_NO_THROW(getCertContextFromPfxFile(path.c_str(), u""));
  }
}

TEST_F(PfxLookup, FailureCodes) {
  test::PfxOptions options;
  options.holder = &user;
  options.password = "right";
  const auto good = write("good.pfx", options);
  options.includeKey = false;
  const auto keyless = write("keyless.pfx", options);
  test::writeFile(dir.file("not.pfx"), "this is not PKCS#12");
  const auto notPfx = os::toUtf16(dir.file("not.pfx"));
  test::writeFile(dir.file("empty.pfx"), "");
  const auto emptyFile = os::toUtf16(dir.file("empty.pfx"));
  const auto missing = os::toUtf16(dir.file("missing.pfx"));

  EXPECT_EQ(test::raisedCode([&] { getCertContextFromPfxFile(nullptr, u"right"); }),
            err::MISSING_ARGUMENT);
  EXPECT_EQ(test::raisedCode([&] { getCertContextFromPfxFile(missing.c_str(), u"right"); }),
            err::INVALID_CERT_FILE);
  EXPECT_EQ(test::raisedCode([&] { getCertContextFromPfxFile(emptyFile.c_str(), u"right"); }),
            err::EMPTY_INPUT_FILE);
  EXPECT_EQ(test::raisedCode([&] { getCertContextFromPfxFile(notPfx.c_str(), u"right"); }),
            err::NOT_PFX_FILE);
  EXPECT_EQ(test::raisedCode([&] { getCertContextFromPfxFile(good.c_str(), u"wrong"); }),
            err::PFX_IMPORT);
  EXPECT_EQ(test::raisedCode([&] { getCertContextFromPfxFile(good.c_str(), nullptr); }),
            err::PFX_IMPORT);
  EXPECT_EQ(test::raisedCode([&] { getCertContextFromPfxFile(keyless.c_str(), u"right"); }),
            err::CERT_CONTEXT);
}

TEST(CertString, Base64AndDerGiveTheSameCertificate) {
  const Issued root = test::makeRootCa("String Root");
  const Bytes der = root.der();
  std::string base64 = crypto::encodeBase64(der);
  std::erase(base64, '\n');
  const auto fromText =
      getCertContextFromCertString(base64.c_str(), static_cast<int32_t>(base64.size()));
  const auto fromDer = getCertContextFromCertString(reinterpret_cast<const char*>(der.data()),
                                                    static_cast<int32_t>(der.size()));
  EXPECT_TRUE(fromText.certificate().sameAs(fromDer.certificate()));
}

TEST(CertString, PemIsNotBase64AndTrailingBytesAreRefused) {
  const Issued root = test::makeRootCa("String Root");
  const std::string pem = root.pem();
  EXPECT_EQ(test::raisedCode([&] {
              getCertContextFromCertString(pem.c_str(), static_cast<int32_t>(pem.size()));
            }),
            err::CERT_CONTEXT);
  Bytes der = root.der();
  der.push_back(0x00);
  EXPECT_EQ(test::raisedCode([&] {
              getCertContextFromCertString(reinterpret_cast<const char*>(der.data()),
                                           static_cast<int32_t>(der.size()));
            }),
            err::CERT_CONTEXT);
}

TEST(CertString, UnterminatedTextIsReadOnlyWithinItsLength) {
  const Issued root = test::makeRootCa("String Root");
  std::string base64 = crypto::encodeBase64(root.der());
  std::erase(base64, '\n');
  // An exact-size heap copy without a terminator: reading past it would trip the sanitizer.
  const auto copy = std::make_unique<char[]>(base64.size());
  std::memcpy(copy.get(), base64.data(), base64.size());
  EXPECT_NO_THROW(getCertContextFromCertString(copy.get(), static_cast<int32_t>(base64.size())));
}

}  // namespace
}  // namespace marqen
