// marqen cosign, countersign, rawsign, verify-raw and verify-countersignature end to end.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "library/include/Marqen_InterfaceV2.h"
#include "tests/support/marqen_tool.h"

namespace {

using marqen::test::Args;
using marqen::test::ProcessResult;

constexpr const char* kIssuer = "CN=Tool Root, O=Marqen Test";

class SignersCommands : public marqen::test::ToolTest {
 protected:
  marqen::test::Issued root = marqen::test::makeRootCa("Tool Root");
  marqen::test::Issued first = marqen::test::makeEndEntity("First", root);
  marqen::test::Issued second = marqen::test::makeEndEntity("Second", root);
  std::string document = files.file("minutes.txt");

  void SetUp() override {
    marqen::test::addToStore(storeRoot.path(), "MY", "first", first, true);
    marqen::test::addToStore(storeRoot.path(), "MY", "second", second, true);
    marqen::test::addToStore(storeRoot.path(), "ROOT", "root", root);
    marqen::test::writeFile(document, "Minutes of the meeting of 9 May.\n");
    marqen::test::writeFile(files.file("second.pem"), second.pem());
  }

  static Args signer(const marqen::test::Issued& issued) {
    return marqen::test::storeSigner(kIssuer, issued);
  }
  void run(Args args, const Args& who) {
    args = marqen::test::with(std::move(args), who);
    const ProcessResult result = marqen(args);
    ASSERT_EQ(result.exitCode, 0) << args[0] << ": " << result.out << result.err;
  }
};

TEST_F(SignersCommands, CosignThenCountersignThenVerifyEach) {
  const std::string signedFile = files.file("signed.p7s");
  const std::string cosigned = files.file("cosigned.p7s");
  const std::string countersigned = files.file("countersigned.p7s");
  ASSERT_NO_FATAL_FAILURE(
      run({"sign", "--in", document, "--detached", "--out", signedFile}, signer(first)));
  EXPECT_EQ(marqen({"cosign", "--in", signedFile, "--out", cosigned, "--pfx", "x"}).exitCode, 1)
      << "missing PFX";
  ASSERT_NO_FATAL_FAILURE(run({"cosign", "--in", signedFile, "--content", document, "--out",
                               cosigned, "--der", "--hash", "sha512", "--comments", "seen"},
                              signer(second)));
  ASSERT_NO_FATAL_FAILURE(run({"countersign", "--in", cosigned, "--signer", "0", "--content",
                               document, "--out", countersigned},
                              signer(second)));
  for (const char* index : {"0", "1"})
    EXPECT_EQ(marqen({"verify", "--in", countersigned, "--content", document, "--signer", index})
                  .exitCode,
              0)
        << index;
  const ProcessResult byCert = marqen({"verify-countersignature", "--in", countersigned, "--signer",
                                       "0", "--cert", files.file("second.pem")});
  EXPECT_EQ(byCert.exitCode, 0) << byCert.out << byCert.err;
  EXPECT_EQ(marqen({"verify-countersignature", "--in", countersigned}).exitCode, 0);
  const ProcessResult notCounterSigned =
      marqen({"verify-countersignature", "--in", countersigned, "--signer", "1"});
  EXPECT_EQ(notCounterSigned.exitCode, 1);
  EXPECT_NE(notCounterSigned.err.find("error " + std::to_string(MARQEN_E_NOT_COUNTER_SIGNED)),
            std::string::npos)
      << notCounterSigned.err;
  EXPECT_EQ(marqen({"countersign", "--in", cosigned}).exitCode, 2) << "--signer is required";
}

TEST_F(SignersCommands, RawSignatureRoundTripAndEveryHelp) {
  const std::string signature = files.file("raw.sig");
  ASSERT_NO_FATAL_FAILURE(run(
      {"rawsign", "--in", document, "--der", "--out", signature, "--hash", "sha1"}, signer(first)));
  Args verifyByStore = marqen::test::with(
      {"verify-raw", "--in", document, "--signature", signature, "--hash", "sha1"}, signer(first));
  EXPECT_EQ(marqen(verifyByStore).exitCode, 0);
  verifyByStore[6] = "sha256";
  const ProcessResult wrongHash = marqen(verifyByStore);
  EXPECT_EQ(wrongHash.exitCode, 1);
  EXPECT_NE(wrongHash.err.find("error " + std::to_string(MARQEN_E_RAW_VERIFY)), std::string::npos)
      << wrongHash.err;
  EXPECT_EQ(marqen({"verify-raw", "--in", document, "--signature", signature, "--cert",
                    files.file("second.pem"), "--hash", "sha1"})
                .exitCode,
            1)
      << "another key";
  const ProcessResult base64 = marqen({"rawsign", "--in", document, "--pfx", "/no/such.pfx"});
  EXPECT_EQ(base64.exitCode, 1);

  for (const char* command :
       {"cosign", "countersign", "rawsign", "verify-raw", "verify-countersignature"}) {
    const ProcessResult help = marqen({command, "--help"});
    EXPECT_EQ(help.exitCode, 0) << command;
    EXPECT_EQ(help.out.rfind(std::string("usage: marqen ") + command, 0), 0u) << help.out;
  }
}

}  // namespace
