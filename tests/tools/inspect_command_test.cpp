// marqen inspect, verify, check, view and certstore list --signing, run as a user runs them.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/marqen_tool.h"

namespace {

namespace fs = std::filesystem;
namespace test = marqen::test;
using test::ProcessResult;
using test::readFile;
using test::runProcess;
using test::writeFile;

constexpr const char* kIssuer = "CN=Inspect Root, O=Marqen Test";

class InspectCommand : public test::ToolTest {
 protected:
  test::Issued root = test::makeRootCa("Inspect Root");
  test::Issued signer = test::makeEndEntity("Inspect User", root);
  test::Issued selfMade = [] {
    test::CertificateOptions options;
    options.subject = test::makeName({"CN=Self Made"});
    options.keyUsage = "critical,digitalSignature";
    return test::issueCertificate(std::move(options));
  }();
  std::string document = files.file("minutes.txt");
  std::string serial = test::hexOf(test::serialOf(signer));

  void SetUp() override {
    test::addToStore(storeRoot.path(), "MY", "signer", signer, /*withKey=*/true);
    test::addToStore(storeRoot.path(), "ROOT", "root", root);
    writeFile(document, "Minutes of the meeting of 7 December.\n");
    writeFile(files.file("self.pem"), selfMade.pem());
    writeFile(files.file("self.key"), selfMade.keyPem());
  }

  test::Environment environment() const override { return {{"TZ", "UTC"}}; }

  // A message signed from the store with a document name and comments.
  std::string signedMessage(bool detached) {
    const std::string out = files.file(detached ? "minutes.p7s" : "minutes.p7m");
    std::vector<std::string> args = {"sign",
                                     "--in",
                                     document,
                                     "--issuer",
                                     kIssuer,
                                     "--serial",
                                     serial,
                                     "--out",
                                     out,
                                     "--document-name",
                                     "minutes.txt",
                                     "--comments",
                                     "approved",
                                     "--signing-time",
                                     "2026-12-07T10:00:00Z"};
    if (detached) args.push_back("--detached");
    const auto made = marqen(args);
    EXPECT_EQ(made.exitCode, 0) << made.err;
    return out;
  }
};

TEST_F(InspectCommand, InspectPrintsTheSignerAndItsAttributesAsTextAndJson) {
  const std::string message = signedMessage(false);
  const auto text = marqen({"inspect", "--in", message});
  ASSERT_EQ(text.exitCode, 0) << text.err;
  for (const std::string& line : std::vector<std::string>{
           "signers: 1\n", "signer 0\n", "  subject:        CN=Inspect User, O=Marqen Test\n",
           "  issuer:         CN=Inspect Root, O=Marqen Test\n",
           "  serial:         " + serial + "\n",
           "  issuer's certificate: in the CA or ROOT store\n",
           "  authority information access: none\n",
           "  signing time (signed, 1.2.840.113549.1.9.5): 2026-12-07 10:00:00 UTC\n",
           "  document name (signed, 1.3.6.1.4.1.311.88.2.1): minutes.txt\n",
           "  comments (signed, 1.3.6.1.4.1.311.88.2.2): approved\n"})
    EXPECT_NE(text.out.find(line), std::string::npos) << line << "in:\n" << text.out;

  const auto json = marqen({"inspect", "--in", message, "--json"});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  const auto report = nlohmann::json::parse(json.out);
  EXPECT_EQ(report["signerCount"], 1);
  const auto& first = report["signers"][0];
  EXPECT_EQ(first["serialNumber"], serial);
  EXPECT_EQ(first["subject"], "CN=Inspect User, O=Marqen Test");
  EXPECT_TRUE(first["issuerCertificate"].is_string());
  EXPECT_TRUE(first["authorityInfoAccessUrl"].is_null());
  std::map<std::string, nlohmann::json> byOid;
  for (const auto& attribute : first["attributes"])
    byOid[attribute["oid"]] = attribute;
  EXPECT_EQ(byOid["1.2.840.113549.1.9.5"]["value"], 1796637600);
  EXPECT_EQ(byOid["1.3.6.1.4.1.311.88.2.1"]["text"], "minutes.txt");
  EXPECT_EQ(byOid["1.3.6.1.4.1.311.88.2.2"]["hex"], "617070726F766564");
}

TEST_F(InspectCommand, VerifyNamesTheSignerAndTellsTheWholeTruth) {
  const std::string attached = signedMessage(false);
  const auto trusted = marqen({"verify", "--in", attached});
  EXPECT_EQ(trusted.exitCode, 0) << trusted.err;
  for (const char* line :
       {"  signing time:   2026-12-07 10:00:00 UTC\n", "  document name:  minutes.txt\n",
        "  comments:       approved\n", "  signature:      verifies\n",
        "  trust:          the chain is trusted\n"})
    EXPECT_NE(trusted.out.find(line), std::string::npos) << line << "in:\n" << trusted.out;

  // --content with a message that carries its own content is an error, not ignored.
  const auto extra = marqen({"verify", "--in", attached, "--content", document});
  EXPECT_EQ(extra.exitCode, 2);
  EXPECT_NE(extra.err.find("carries its own content"), std::string::npos) << extra.err;

#ifdef OPENSSL_CLI
  // A message signed by a self-made certificate: the signature holds, the chain does not.
  const std::string self = files.file("self.p7m");
  const auto made =
      runProcess(OPENSSL_CLI, {"cms", "-sign", "-binary", "-nodetach", "-in", document, "-signer",
                               files.file("self.pem"), "-inkey", files.file("self.key"), "-outform",
                               "DER", "-out", self});
  ASSERT_EQ(made.exitCode, 0) << made.err;
  const auto untrusted = marqen({"verify", "--in", self});
  EXPECT_EQ(untrusted.exitCode, 1);
  EXPECT_NE(untrusted.out.find("  signature:      verifies\n"), std::string::npos);
  EXPECT_EQ(untrusted.err,
            "error 1514: The certificate or certificate chain is based on an untrusted root.\n");
  const auto signatureOnly = marqen({"verify", "--in", self, "--no-chain"});
  EXPECT_EQ(signatureOnly.exitCode, 0) << signatureOnly.err;
  EXPECT_EQ(signatureOnly.err, "signer 0: signature verifies (chain not checked)\n");
  EXPECT_EQ(marqen({"verify", "--in", self, "--no-chain", "--revocation-level", "end"}).exitCode,
            2);
#endif
}

TEST_F(InspectCommand, VerifyChecksEverySignerOfADetachedMessage) {
  const std::string detached = signedMessage(true);
  const auto cosigned = files.file("cosigned.p7s");
  test::PfxOptions pfx;
  pfx.holder = &selfMade;
  pfx.password = "";
  test::writeBytes(files.file("self.pfx"), test::makePfx(pfx));
  const auto added = marqen({"cosign", "--in", detached, "--content", document, "--pfx",
                             files.file("self.pfx"), "--password", "", "--out", cosigned});
  ASSERT_EQ(added.exitCode, 0) << added.err;

  const auto both = marqen({"verify", "--in", cosigned, "--content", document});
  EXPECT_EQ(both.exitCode, 1);
  EXPECT_NE(both.out.find("signer 0\n"), std::string::npos);
  EXPECT_NE(both.out.find("signer 1\n"), std::string::npos);
  EXPECT_EQ(both.err,
            "signer 0: signature verifies, certificate and chain trusted\n"
            "error 1514: The certificate or certificate chain is based on an untrusted root.\n");
  const auto first = marqen({"verify", "--in", cosigned, "--content", document, "--signer", "0"});
  EXPECT_EQ(first.exitCode, 0) << first.err;
  EXPECT_EQ(first.out.find("signer 1"), std::string::npos);
  const auto withoutContent = marqen({"verify", "--in", cosigned});
  EXPECT_EQ(withoutContent.exitCode, 1);
  EXPECT_NE(withoutContent.err.find("--content"), std::string::npos);
}

TEST_F(InspectCommand, CheckJudgesACertificateFromTheStoreOrAPfx) {
  test::PfxOptions pfx;
  pfx.holder = &signer;
  pfx.password = "";
  test::writeBytes(files.file("signer.pfx"), test::makePfx(pfx));
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string text;
  };
  const std::vector<Case> cases = {
      {{"--issuer", kIssuer, "--serial", serial}, 0, "valid for signing at the current time"},
      {{"--pfx", files.file("signer.pfx"), "--password", ""}, 0, "valid for signing"},
      {{"--issuer", kIssuer, "--serial", serial, "--at", "2000-01-01T00:00:00Z"},
       1,
       "error 1412: The Signing Time is before the validity start date of the certificate."},
      {{"--issuer", kIssuer, "--serial", serial, "--encryption"}, 1, "error 309:"},
      {{"--issuer", kIssuer, "--serial", "00"}, 1, "no certificate in the store has serial"},
      {{"--issuer", kIssuer}, 2, "usage:"},
      {{"--issuer", kIssuer, "--serial", serial, "--at", "yesterday"}, 2, "--at takes"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"check"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto checked = marqen(args);
    SCOPED_TRACE(checked.out + checked.err);
    EXPECT_EQ(checked.exitCode, c.exitCode);
    EXPECT_NE((checked.out + checked.err).find(c.text), std::string::npos);
  }
}

TEST_F(InspectCommand, CertstoreListForAUseKeepsOnlyFitCertificates) {
  const test::Issued encipherOnly =
      test::makeEndEntity("Encipher Only", root, "critical,keyEncipherment");
  test::addToStore(storeRoot.path(), "MY", "other", encipherOnly);
  const auto signing = marqen({"certstore", "list", "--signing"});
  ASSERT_EQ(signing.exitCode, 0) << signing.err;
  EXPECT_NE(signing.out.find("[MY] 1 certificate(s) fit for signing now\n"), std::string::npos)
      << signing.out;
  EXPECT_NE(signing.out.find("  serial:  " + serial + "\n"), std::string::npos);
  const auto encryption = marqen({"certstore", "list", "--encryption", "--store", "my"});
  ASSERT_EQ(encryption.exitCode, 0) << encryption.err;
  EXPECT_NE(encryption.out.find("CN=Encipher Only"), std::string::npos);
  EXPECT_EQ(encryption.out.find("CN=Inspect User"), std::string::npos);
  EXPECT_EQ(marqen({"certstore", "list", "--signing", "--store", "root"}).exitCode, 2);
  EXPECT_EQ(marqen({"certstore", "list", "--signing", "--encryption"}).exitCode, 2);
}

TEST_F(InspectCommand, ViewStartsTheViewerOrSaysWhyItCannot) {
  const std::string viewer = files.file("viewer.sh");
  const std::string copy = files.file("shown.crt");
  writeFile(viewer, "#!/bin/sh\ncp \"$1\" \"" + copy + "\"\n");
  fs::permissions(viewer, fs::perms::owner_all);
  writeFile(files.file("signer.pem"), signer.pem());

  const auto shown = marqen({"view", "--cert", files.file("signer.pem")},
                            {{"MARQEN_CERT_VIEWER", viewer}, {"DISPLAY", ":99"}});
  ASSERT_EQ(shown.exitCode, 0) << shown.err;
  const std::string bytes = readFile(copy);
  EXPECT_EQ(test::Bytes(bytes.begin(), bytes.end()), signer.der());
  EXPECT_EQ(marqen({"view", "--issuer", kIssuer, "--serial", serial},
                   {{"MARQEN_CERT_VIEWER", viewer}, {"DISPLAY", ":99"}})
                .exitCode,
            0);

  const auto headless =
      marqen({"view", "--issuer", kIssuer, "--serial", serial},
             {{"MARQEN_CERT_VIEWER", viewer}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}});
  EXPECT_EQ(headless.exitCode, 1);
  EXPECT_NE(headless.err.find("graphical session"), std::string::npos) << headless.err;
  EXPECT_NE(headless.err.find("error 2201: Error in loading the library - CryptUI.dll."),
            std::string::npos);
}

}  // namespace
