#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/pkcs12.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Marqen_InterfaceV2.h"
#include "platform/crypto/openssl_ptr.h"
#include "platform/os/text.h"
#include "tests/support/pki_builder.h"
#include "tests/support/process.h"
#include "tests/support/temp_cert_store.h"

namespace {

using marqen::test::Issued;

// A caller's record, released the way a caller releases it.
struct Details {
  CertificateDetails record{};
  CertificateDetails* pointer = &record;
  ~Details() {
    std::free(record.issuerName);
    std::free(record.serialNumberHex);
    std::free(record.subjectName);
  }
  std::string issuer() const { return marqen::os::toUtf8(record.issuerName); }
  std::string subject() const { return marqen::os::toUtf8(record.subjectName); }
  bool empty() const {
    return !record.issuerName && !record.serialNumberHex && !record.subjectName &&
           record.expiryTime == 0;
  }
};

class CertificateDetailsExports : public ::testing::Test {
 protected:
  marqen::test::TempCertStore store;
  marqen::test::TempDir dir;
  Issued root = marqen::test::makeRootCa("Details Root");
  Issued signer = makeSigner();

  void SetUp() override {
    store.add("ROOT", "root", root);
    // The list lives as long as the library; a test that changes it must not decide the next.
    const char16_t* ours[] = {u"Details Root"};
    ASSERT_EQ(setTrustedCANames(ours, 1), 0);
  }

  Issued makeSigner() {
    marqen::test::CertificateOptions options;
    options.subject = marqen::test::makeName({"C=IN", "O=Acme, Inc.", "CN=Signer"});
    options.issuer = &root;
    options.serial = {0x9F, 0x00, 0x01};
    options.notAfter = 2000000000;  // 2033-05-18 03:33:20 UTC
    options.keyUsage = "critical,digitalSignature";
    return marqen::test::issueCertificate(std::move(options));
  }
};

TEST_F(CertificateDetailsExports, FromStoreReportsNamesSerialAndExpiry) {
  store.add("MY", "signer", signer, true);
  Details details;
  ASSERT_EQ(getCertificateDetailsFromStore(u"CN=Details Root, O=Marqen Test", "009f0001",
                                           STORE_PERSONAL, SIGNING_CERTIFICATE, &details.pointer),
            0);
  EXPECT_EQ(details.issuer(), "CN=Details Root, O=Marqen Test");
  EXPECT_EQ(details.subject(), "CN=Signer, O=\"Acme, Inc.\", C=IN");
  EXPECT_STREQ(details.record.serialNumberHex, "009F0001");
  EXPECT_EQ(details.record.expiryTime, 2000000000);
  EXPECT_EQ(details.record.certificateType, SIGNING_CERTIFICATE);

  // The issuer name handed out finds the certificate again, in the other store as well.
  store.add("ADDRESSBOOK", "signer", signer);
  Details again;
  EXPECT_EQ(
      getCertificateDetailsFromStore(details.record.issuerName, details.record.serialNumberHex,
                                     STORE_OTHER_PEOPLE, SIGNING_CERTIFICATE, &again.pointer),
      0);
  EXPECT_EQ(again.subject(), details.subject());
}

TEST_F(CertificateDetailsExports, ArgumentChecksInOrderAllocateNothing) {
  Details d;
  CertificateDetails* none = nullptr;
  EXPECT_EQ(getCertificateDetailsFromStore(nullptr, "01", 9, 9, nullptr),
            MARQEN_E_MISSING_ARGUMENT);
  EXPECT_EQ(getCertificateDetailsFromStore(u"CN=X", nullptr, 9, 9, nullptr),
            MARQEN_E_MISSING_ARGUMENT);
  EXPECT_EQ(getCertificateDetailsFromStore(u"CN=X", "01", 9, 9, nullptr),
            MARQEN_E_INVALID_CERT_TYPE);
  EXPECT_EQ(getCertificateDetailsFromStore(u"CN=X", "01", 9, 1, nullptr),
            MARQEN_E_INVALID_STORE_TYPE);
  EXPECT_EQ(getCertificateDetailsFromStore(u"CN=X", "01", 1, 1, nullptr), MARQEN_E_NULL_OUTPUT);
  EXPECT_EQ(getCertificateDetailsFromStore(u"CN=X", "01", 1, 1, &none), MARQEN_E_NULL_OUTPUT);
  EXPECT_EQ(getCertificateDetailsFromStore(u"", "01", 1, 1, &d.pointer),
            MARQEN_E_INVALID_ISSUER_DN);
  EXPECT_EQ(getCertificateDetailsFromStore(u"CN=X", "", 1, 1, &d.pointer),
            MARQEN_E_INVALID_SERIAL_NUMBER);
  EXPECT_EQ(getCertificateDetailsFromStore(u"CN=X", "01", 1, 1, &d.pointer), MARQEN_E_CERT_CONTEXT);
  EXPECT_EQ(getCertificateDetailsFromFile(nullptr, nullptr, 9, nullptr), MARQEN_E_MISSING_ARGUMENT);
  EXPECT_EQ(getCertificateDetailsFromFile(u"x.pfx", nullptr, 9, nullptr),
            MARQEN_E_INVALID_CERT_TYPE);
  EXPECT_EQ(getCertificateDetailsFromFile(u"x.pfx", nullptr, 1, &none), MARQEN_E_NULL_OUTPUT);
  EXPECT_EQ(getCertificateDetailsFromFile(u"/nonexistent/x.pfx", nullptr, 1, &d.pointer),
            MARQEN_E_INVALID_CERT_FILE);
  EXPECT_EQ(getCertificateDetailsFromCertString(nullptr, 0, 9, nullptr), MARQEN_E_MISSING_ARGUMENT);
  EXPECT_EQ(getCertificateDetailsFromCertString("x", 0, 9, nullptr),
            MARQEN_E_INVALID_CERT_STRING_LENGTH);
  EXPECT_EQ(getCertificateDetailsFromCertString("x", 1, 9, nullptr), MARQEN_E_INVALID_CERT_TYPE);
  EXPECT_EQ(getCertificateDetailsFromCertString("x", 1, 2, &none), MARQEN_E_NULL_OUTPUT);
  EXPECT_EQ(getCertificateDetailsFromCertString("x", 1, 2, &d.pointer), MARQEN_E_CERT_CONTEXT);
  EXPECT_TRUE(d.empty());
}

TEST_F(CertificateDetailsExports, KeyUsageAndTrustedCaFailuresLeaveNoStrings) {
  const auto der = signer.der();
  Details d;
  EXPECT_EQ(getCertificateDetailsFromCertString(reinterpret_cast<const char*>(der.data()),
                                                static_cast<int32_t>(der.size()),
                                                ENCRYPTION_CERTIFICATE, &d.pointer),
            MARQEN_E_NO_KEY_ENCIPHERMENT_USAGE);
  EXPECT_TRUE(d.empty());
  const char16_t* names[] = {u"Somebody Else"};
  ASSERT_EQ(setTrustedCANames(names, 1), 0);
  EXPECT_EQ(getCertificateDetailsFromCertString(reinterpret_cast<const char*>(der.data()),
                                                static_cast<int32_t>(der.size()),
                                                SIGNING_CERTIFICATE, &d.pointer),
            MARQEN_E_TRUSTED_CA_NOT_IN_CHAIN);
  EXPECT_TRUE(d.empty());
  const char16_t* rootName[] = {u"DETAILS ROOT"};
  ASSERT_EQ(setTrustedCANames(rootName, 1), 0);
  EXPECT_EQ(getCertificateDetailsFromCertString(reinterpret_cast<const char*>(der.data()),
                                                static_cast<int32_t>(der.size()),
                                                SIGNING_CERTIFICATE, &d.pointer),
            0);
}

TEST_F(CertificateDetailsExports, ExpiredAndEpochCertificatesReportTheirExpiry) {
  marqen::test::CertificateOptions options;
  options.subject = marqen::test::makeName({"CN=Epoch"});
  options.issuer = &root;
  options.notBefore = 0;
  options.notAfter = 10;  // 1970-01-01 00:00:10 UTC
  const auto der = marqen::test::issueCertificate(std::move(options)).der();
  Details d;
  ASSERT_EQ(getCertificateDetailsFromCertString(reinterpret_cast<const char*>(der.data()),
                                                static_cast<int32_t>(der.size()),
                                                SIGNING_CERTIFICATE, &d.pointer),
            0);
  EXPECT_EQ(d.record.expiryTime, 10);
}

TEST_F(CertificateDetailsExports, FromPfxFile) {
  marqen::test::PfxOptions options;
  options.holder = &signer;
  options.caCerts = {&root};
  options.caFirst = true;
  options.password = "pw";
  marqen::test::writeBytes(dir.file("signer.pfx"), marqen::test::makePfx(options));
  const auto path = marqen::os::toUtf16(dir.file("signer.pfx"));
  Details d;
  ASSERT_EQ(getCertificateDetailsFromFile(path.c_str(), u"pw", SIGNING_CERTIFICATE, &d.pointer), 0);
  EXPECT_EQ(d.subject(), "CN=Signer, O=\"Acme, Inc.\", C=IN");
  Details wrong;
  EXPECT_EQ(
      getCertificateDetailsFromFile(path.c_str(), u"nope", SIGNING_CERTIFICATE, &wrong.pointer),
      MARQEN_E_PFX_IMPORT);
}

// A count the file chooses must not hold the caller for minutes: the MAC's and those of the
// password-based encryptions, whether the file says them on their own or at once.
TEST_F(CertificateDetailsExports, PfxWithHugeIterationCountsIsRefusedAtOnce) {
  marqen::test::PfxOptions options;
  options.holder = &signer;
  options.password = "pw";
  const auto original = marqen::test::makePfx(options);
  for (const int iterations : {2'000'000, INT_MAX}) {
    const unsigned char* p = original.data();
    const marqen::crypto::Pkcs12Ptr pfx(
        d2i_PKCS12(nullptr, &p, static_cast<long>(original.size())));
    ASSERT_TRUE(pfx);
    // The MAC value is left empty: the import counts the iterations before it could compare.
    ASSERT_EQ(PKCS12_setup_mac(pfx.get(), iterations, nullptr, 0, EVP_sha256()), 1);
    unsigned char* raw = nullptr;
    const int length = i2d_PKCS12(pfx.get(), &raw);
    ASSERT_GT(length, 0);
    marqen::test::writeBytes(dir.file("slow.pfx"), std::vector<unsigned char>(raw, raw + length));
    OPENSSL_free(raw);
    const auto path = marqen::os::toUtf16(dir.file("slow.pfx"));
    Details d;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(getCertificateDetailsFromFile(path.c_str(), u"pw", SIGNING_CERTIFICATE, &d.pointer),
              MARQEN_E_PFX_IMPORT)
        << iterations;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << iterations;
  }
}

// Damage at random is the fuzz target's work; these cuts have one answer each.
TEST_F(CertificateDetailsExports, TruncatedCertificateStringsGive308AndNoDetails) {
  const auto der = signer.der();
  const std::string text = signer.pem();
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"first byte only", std::string(1, static_cast<char>(der[0]))},
      {"half", std::string(der.begin(), der.begin() + static_cast<std::ptrdiff_t>(der.size() / 2))},
      {"last byte missing", std::string(der.begin(), der.end() - 1)},
      {"Base64 cut short", text.substr(28, 100)},
  };
  for (const auto& c : cases) {
    Details d;
    EXPECT_EQ(
        getCertificateDetailsFromCertString(c.bytes.data(), static_cast<int32_t>(c.bytes.size()),
                                            SIGNING_CERTIFICATE, &d.pointer),
        MARQEN_E_CERT_CONTEXT)
        << c.what;
    EXPECT_TRUE(d.empty()) << c.what;
  }
}

// PFX files written by other implementations open with the right password and fail with 307
// on a wrong one.
class ForeignPfx : public CertificateDetailsExports {
 protected:
  void SetUp() override {
    CertificateDetailsExports::SetUp();
    marqen::test::writeFile(dir.file("key.pem"), signer.keyPem());
    marqen::test::writeFile(dir.file("cert.pem"), signer.pem());
  }
  void expectOpens(const std::string& file) {
    const auto path = marqen::os::toUtf16(file);
    Details d;
    EXPECT_EQ(
        getCertificateDetailsFromFile(path.c_str(), u"Pa55 word", SIGNING_CERTIFICATE, &d.pointer),
        0);
    EXPECT_EQ(d.subject(), "CN=Signer, O=\"Acme, Inc.\", C=IN");
    Details wrong;
    EXPECT_EQ(getCertificateDetailsFromFile(path.c_str(), u"pa55 word", SIGNING_CERTIFICATE,
                                            &wrong.pointer),
              MARQEN_E_PFX_IMPORT);
  }
  void run(const std::string& program, const std::vector<std::string>& args) {
    const auto result = marqen::test::runProcess(program, args);
    ASSERT_EQ(result.exitCode, 0) << program << ": " << result.err;
  }
};

TEST_F(ForeignPfx, OpenSslModernAndLegacy) {
  for (const bool legacy : {false, true}) {
    const std::string out = dir.file(legacy ? "legacy.pfx" : "modern.pfx");
    std::vector<std::string> args = {"pkcs12",   "-export",
                                     "-inkey",   dir.file("key.pem"),
                                     "-in",      dir.file("cert.pem"),
                                     "-passout", "pass:Pa55 word",
                                     "-out",     out};
    if (legacy) args.push_back("-legacy");
    run("/usr/bin/openssl", args);
    expectOpens(out);
  }
}

TEST_F(ForeignPfx, GnuTlsCerttool) {
  const std::string out = dir.file("gnutls.p12");
  run("/usr/bin/certtool", {"--to-p12", "--load-privkey", dir.file("key.pem"), "--load-certificate",
                            dir.file("cert.pem"), "--p12-name", "signer", "--password", "Pa55 word",
                            "--outder", "--outfile", out});
  expectOpens(out);
}

}  // namespace
