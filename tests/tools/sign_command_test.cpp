#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/marqen_tool.h"

namespace {

namespace fs = std::filesystem;
using marqen::test::ProcessResult;
using marqen::test::readFile;
using marqen::test::runProcess;
using marqen::test::writeFile;

constexpr const char* kDocument =
    "Purchase order 2026-1207\nSupplier: Example Components Ltd.\nTotal: EUR 18.40\n";
constexpr const char* kIssuer = "CN=Sign Root, O=Marqen Test";
constexpr const char* kVerifyFailed = "error 1701: Verification of Signed Data Failed.\n";
constexpr const char* kTrusted = "signer 0: signature verifies, certificate and chain trusted\n";

class SignCommand : public marqen::test::ToolTest {
 protected:
  marqen::test::Issued root = marqen::test::makeRootCa("Sign Root");
  marqen::test::Issued signer = marqen::test::makeEndEntity("Sign User", root);
  std::string document = files.file("order.txt");

  void SetUp() override {
    marqen::test::addToStore(storeRoot.path(), "MY", "signer", signer, /*withKey=*/true);
    marqen::test::addToStore(storeRoot.path(), "ROOT", "root", root);
    writeFile(document, kDocument);
  }

  // A fixed zone, so a given signing time reads the same whichever way it is converted.
  marqen::test::Environment environment() const override { return {{"TZ", "UTC"}}; }

  std::vector<std::string> storeSigner() const {
    return marqen::test::storeSigner(kIssuer, signer);
  }

  std::string writePfx(const std::string& password) {
    marqen::test::PfxOptions options;
    options.holder = &signer;
    options.caCerts = {&root};
    options.password = password;
    const auto path = files.file("signer.pfx");
    marqen::test::writeBytes(path, marqen::test::makePfx(options));
    return path;
  }

  ProcessResult signWith(std::vector<std::string> args, const std::vector<std::string>& extra) {
    args.insert(args.begin(), {"sign", "--in", document});
    return marqen(marqen::test::with(std::move(args), extra));
  }
};

TEST_F(SignCommand, AttachedFromTheStoreVerifiesAndGivesBackItsContent) {
  const auto signedMessage = signWith(storeSigner(), {});
  ASSERT_EQ(signedMessage.exitCode, 0) << signedMessage.err;
  // Standard output is the Base64 message alone: a DER SEQUENCE with a long length ("MII").
  EXPECT_EQ(signedMessage.out.substr(0, 3), "MII");
  EXPECT_EQ(signedMessage.out.find_first_not_of(
                "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=\n"),
            std::string::npos);
  EXPECT_EQ(signedMessage.out.back(), '\n');
  const auto message = files.file("order.p7m");
  writeFile(message, signedMessage.out);

  const auto verified = marqen({"verify", "--in", message});
  EXPECT_EQ(verified.exitCode, 0) << verified.err;
  EXPECT_EQ(verified.err, kTrusted);
  EXPECT_NE(verified.out.find("  subject:        CN=Sign User, O=Marqen Test\n"), std::string::npos)
      << verified.out;
  const auto secondSigner = marqen({"verify", "--in", message, "--signer", "1"});
  EXPECT_EQ(secondSigner.exitCode, 1);
  EXPECT_EQ(secondSigner.err, "error 1602: Error in getting the Signer Info of Signed Data.\n");

  const auto printed = marqen({"content", "--in", message});
  ASSERT_EQ(printed.exitCode, 0) << printed.err;
  EXPECT_EQ(printed.out, kDocument);
  const auto extracted = files.file("extracted.txt");
  const auto written = marqen({"content", "--in", message, "--out", extracted});
  ASSERT_EQ(written.exitCode, 0) << written.err;
  EXPECT_NE(written.err.find(extracted), std::string::npos);
  EXPECT_EQ(readFile(extracted), kDocument);
}

TEST_F(SignCommand, DetachedFromAPfxVerifiesOnlyAgainstItsOwnContent) {
  const auto pfx = writePfx("secret");
  // A non-ASCII name checks that paths reach the library intact.
  const auto message = files.file("Bestellung-\xC3\xBC.p7s");
  const auto signedMessage =
      signWith({"--pfx", pfx, "--password", "secret", "--detached"}, {"--out", message});
  ASSERT_EQ(signedMessage.exitCode, 0) << signedMessage.err;
  EXPECT_EQ(signedMessage.err, "wrote detached signature (Base64) to " + message + "\n");
  ASSERT_TRUE(fs::exists(message));
  EXPECT_EQ(readFile(message).find("Purchase order"), std::string::npos);

  const auto verified = marqen({"verify", "--in", message, "--content", document});
  EXPECT_EQ(verified.exitCode, 0) << verified.err;
  EXPECT_EQ(verified.err, kTrusted);

  const auto tampered = files.file("tampered.txt");
  writeFile(tampered, std::string(kDocument) + "Discount: 100%\n");
  const auto refused = marqen({"verify", "--in", message, "--content", tampered});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_EQ(refused.err, kVerifyFailed);
  EXPECT_NE(refused.out.find("  signature:      Verification of Signed Data Failed. (1701)\n"),
            std::string::npos)
      << refused.out;

  const auto withoutContent = marqen({"verify", "--in", message});
  EXPECT_EQ(withoutContent.exitCode, 1);
  EXPECT_NE(withoutContent.err.find("--content"), std::string::npos);
  const auto noContentInside = marqen({"content", "--in", message});
  EXPECT_EQ(noContentInside.exitCode, 1);
  EXPECT_NE(noContentInside.err.find("error 1451: Error in getting the Signed Content Size."),
            std::string::npos);
}

TEST_F(SignCommand, DerMessageVerifiesHereAndWithOpenssl) {
  const auto message = files.file("order.der");
  const auto signedMessage = signWith(
      storeSigner(), {"--der", "--out", message, "--document-name", "order.txt", "--comments",
                      "approved by purchasing", "--signing-time", "1700000000"});
  ASSERT_EQ(signedMessage.exitCode, 0) << signedMessage.err;
  EXPECT_EQ(signedMessage.err, "wrote attached signature (DER) to " + message + "\n");
  const std::string der = readFile(message);
  ASSERT_GT(der.size(), 2U);
  EXPECT_EQ(static_cast<unsigned char>(der[0]), 0x30);
  EXPECT_EQ(static_cast<unsigned char>(der[1]), 0x82);

  // Signed in 2023 with a certificate that is valid only from yesterday: the signature holds,
  // the certificate does not.
  const auto verified = marqen({"verify", "--in", message, "--no-chain"});
  EXPECT_EQ(verified.exitCode, 0) << verified.err;
  const auto judged = marqen({"verify", "--in", message});
  EXPECT_EQ(judged.exitCode, 1);
  EXPECT_EQ(judged.err,
            "error 1412: The Signing Time is before the validity start date of the certificate.\n");
  const auto content = marqen({"content", "--in", message});
  EXPECT_EQ(content.out, kDocument);

#ifdef OPENSSL_CLI
  const auto printed =
      runProcess(OPENSSL_CLI, {"cms", "-cmsout", "-print", "-inform", "DER", "-in", message});
  ASSERT_EQ(printed.exitCode, 0) << printed.err;
  EXPECT_NE(printed.out.find("1.3.6.1.4.1.311.88.2.1"), std::string::npos) << printed.out;
  EXPECT_NE(printed.out.find("1.3.6.1.4.1.311.88.2.2"), std::string::npos) << printed.out;
  EXPECT_NE(printed.out.find("Nov 14 22:13:20 2023 GMT"), std::string::npos) << printed.out;
  EXPECT_NE(printed.out.find("sha256"), std::string::npos) << printed.out;

  // openssl checks the signature itself (not the test CA) and gives back the content.
  const auto extracted = files.file("openssl-content.txt");
  const auto checked = runProcess(OPENSSL_CLI, {"cms", "-verify", "-noverify", "-inform", "DER",
                                                "-in", message, "-out", extracted});
  ASSERT_EQ(checked.exitCode, 0) << checked.err;
  EXPECT_EQ(readFile(extracted), kDocument);
#else
  GTEST_SKIP() << "the openssl command is not installed";
#endif
}

TEST_F(SignCommand, HashAndValidationOptionsReachTheLibrary) {
  const auto md5 = files.file("md5.der");
  const auto signedWithMd5 = signWith(storeSigner(), {"--hash", "md5", "--der", "--out", md5});
  ASSERT_EQ(signedWithMd5.exitCode, 0) << signedWithMd5.err;
  EXPECT_EQ(marqen({"verify", "--in", md5}).exitCode, 0);
#ifdef OPENSSL_CLI
  const auto printed =
      runProcess(OPENSSL_CLI, {"cms", "-cmsout", "-print", "-inform", "DER", "-in", md5});
  EXPECT_NE(printed.out.find("md5"), std::string::npos) << printed.out;
#endif

  // A signing time before the certificate's validity is refused only when validating.
  const std::vector<std::string> early = {"--signing-time", "1000000000"};
  const auto unchecked = signWith(storeSigner(), early);
  EXPECT_EQ(unchecked.exitCode, 0) << unchecked.err;
  const auto validating = marqen::test::with(
      early, {"--validate", "--revocation-mode", "offline", "--revocation-level", "none"});
  const auto refused = signWith(storeSigner(), validating);
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_EQ(refused.err,
            "error 1412: The Signing Time is before the validity start date of the "
            "certificate.\n");
  EXPECT_EQ(refused.out, "");
  const auto validNow = signWith(storeSigner(), {"--validate"});
  EXPECT_EQ(validNow.exitCode, 0) << validNow.err;
}

TEST_F(SignCommand, WrongPfxPasswordReportsTheLibraryErrorAndWritesNothing) {
  const auto pfx = writePfx("right");
  const auto message = files.file("never.p7m");
  const auto result = signWith({"--pfx", pfx, "--password", "wrong"}, {"--out", message});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "marqen: wrong password for the PFX file " + pfx +
                            ", or the file is damaged\n"
                            "error 307: Error in importing the certificate file to PFX Store.\n");
  EXPECT_FALSE(fs::exists(message));
}

TEST_F(SignCommand, BadOptionsAreUsageErrors) {
  const auto pfx = writePfx("pw");
  const auto out = files.file("out.p7m");
  const auto store = storeSigner();
  auto withStore = [&](std::vector<std::string> args) {
    return marqen::test::with(std::move(args), store);
  };
  const std::vector<std::vector<std::string>> signCases = {
      withStore({"sign"}),                                        // no --in
      {"sign", "--in", document},                                 // no signer
      withStore({"sign", "--in", document, "--pfx", pfx}),        // two signers
      {"sign", "--in", document, "--issuer", kIssuer},            // serial missing
      withStore({"sign", "--in", document, "--password", "pw"}),  // password without a PFX
      withStore({"sign", "--in", document, "--signing-time", "yesterday"}),  // not a time
      withStore({"sign", "--in", document, "--hash", "sha3"}),               // unknown hash
      withStore({"sign", "--in", document, "--revocation-mode", "online"}),  // without --validate
      withStore({"sign", "--in", document, "--validate", "--revocation-level", "leaf"}),
      withStore({"sign", "--in", document, "--out", out, "--armor"}),  // unknown option
      withStore({"sign", "--in", document, "--out", out, "extra"}),    // stray argument
      withStore({"sign", "--in", document, "--out"}),                  // option without value
  };
  for (const auto& args : signCases) {
    const auto result = marqen(args);
    EXPECT_EQ(result.exitCode, 2) << testing::PrintToString(args);
    EXPECT_NE(result.err.find("usage: marqen sign"), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
  }
  EXPECT_FALSE(fs::exists(out));

  const std::vector<std::vector<std::string>> otherCases = {
      {"verify"},
      {"verify", "--in", document, "--signer", "first"},
      {"verify", "--in", document, "--detached"},
      {"content"},
      {"content", "--in", document, "--out", out, "more"},
  };
  for (const auto& args : otherCases) {
    const auto result = marqen(args);
    EXPECT_EQ(result.exitCode, 2) << testing::PrintToString(args);
    EXPECT_NE(result.err.find("usage: marqen " + args[0]), std::string::npos) << result.err;
  }
}

TEST_F(SignCommand, ValuesThatLookLikeOptionsAreTakenAsValues) {
  // "--detached" here is the comment's text, not the flag: the message stays attached.
  const auto signedMessage = signWith(storeSigner(), {"--comments", "--detached"});
  ASSERT_EQ(signedMessage.exitCode, 0) << signedMessage.err;
  const auto message = files.file("order.p7m");
  writeFile(message, signedMessage.out);
  const auto content = marqen({"content", "--in", message});
  EXPECT_EQ(content.exitCode, 0) << content.err;
  EXPECT_EQ(content.out, kDocument);
}

TEST(SignCommandHelp, ListsTheSigningCommands) {
  const auto result = runProcess(MARQEN_TOOL, {"--help"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.out.find("sign --in FILE"), std::string::npos);
  EXPECT_NE(result.out.find("verify --in SIGNED [--content FILE] [--signer N]"), std::string::npos);
  EXPECT_NE(result.out.find("content --in SIGNED [--out FILE]"), std::string::npos);
}

}  // namespace
