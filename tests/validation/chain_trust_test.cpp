#include <gtest/gtest.h>

#include <ctime>

#include "library/core/error_codes.h"
#include "library/validation/chain_trust.h"
#include "platform/crypto/chain_engine.h"
#include "tests/support/http_test_server.h"
#include "tests/support/pki_builder.h"
#include "tests/support/raised_code.h"
#include "tests/support/temp_cert_store.h"

namespace marqen {
namespace {

namespace fs = std::filesystem;
using test::Issued;

std::int64_t now() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

TEST(TrustStatusCode, LastSetBitInTableOrderDecides) {
  EXPECT_EQ(trustStatusCode(0), err::NO_ERROR);
  EXPECT_EQ(trustStatusCode(crypto::kTrustIsNotTimeValid), err::TRUST_NOT_TIME_VALID);
  EXPECT_EQ(trustStatusCode(crypto::kTrustIsNotTimeValid | crypto::kTrustIsUntrustedRoot),
            err::TRUST_UNTRUSTED_ROOT);
  EXPECT_EQ(trustStatusCode(crypto::kTrustIsPartialChain | crypto::kTrustIsRevoked),
            err::TRUST_PARTIAL_CHAIN);
  EXPECT_EQ(
      trustStatusCode(crypto::kTrustRevocationStatusUnknown | crypto::kTrustIsOfflineRevocation),
      err::TRUST_REVOCATION_OFFLINE);
  EXPECT_EQ(trustStatusCode(crypto::kTrustCtlIsNotValidForUsage), err::TRUST_CTL_WRONG_USAGE);
  EXPECT_EQ(trustStatusCode(0x00000100U | 0x00100000U), err::NO_ERROR) << "other bits ignored";
}

class ChainTrust : public ::testing::Test {
 protected:
  test::TempCertStore store;
  test::HttpTestServer server;
  Issued root = test::makeRootCa("Trust Root");
  Issued ca = caWithPoint("Trust CA", root);
  Issued user = userOf(ca, "Trust User");

  void SetUp() override {
    store.add("ROOT", "root", root);
    store.add("CA", "ca", ca);
  }
  Issued caWithPoint(const std::string& cn, const Issued& issuer) {
    test::CertificateOptions options;
    options.subject = test::makeName({"O=Marqen Test", "CN=" + cn});
    options.issuer = &issuer;
    options.basicConstraints = "critical,CA:TRUE";
    options.keyUsage = "critical,keyCertSign,cRLSign";
    options.crlDistributionPoints = {"URI:" + server.url("/root.crl")};
    return test::issueCertificate(std::move(options));
  }
  Issued userOf(const Issued& issuer, const std::string& cn, std::int64_t notAfter = 0) {
    test::CertificateOptions options;
    options.subject = test::makeName({"O=Marqen Test", "CN=" + cn});
    options.issuer = &issuer;
    options.notAfter = notAfter;
    options.notBefore = notAfter ? notAfter - 3600 : 0;
    options.keyUsage = "critical,digitalSignature";
    options.crlDistributionPoints = {"URI:" + server.url("/ca.crl")};
    return test::issueCertificate(std::move(options));
  }
  ErrorCode evaluate(const Issued& issued, int32_t mode, int32_t level) {
    return evaluateChainTrust(test::certificateOf(issued), mode, level, currentFileTime()).code();
  }
};

TEST_F(ChainTrust, LevelThenModeAreChecked) {
  EXPECT_EQ(evaluate(user, 0, 0), err::INVALID_REVOCATION_LEVEL);
  EXPECT_EQ(evaluate(user, 0, 4), err::INVALID_REVOCATION_LEVEL);
  EXPECT_EQ(evaluate(user, 3, 1), err::INVALID_REVOCATION_MODE);
}

TEST_F(ChainTrust, WithoutRevocationOnlineIsCleanOfflineIsNotChecked) {
  EXPECT_EQ(evaluate(user, REVOCATION_ONLINE, REVOCATION_NONE), err::NO_ERROR);
  EXPECT_EQ(evaluate(user, REVOCATION_OFFLINE, REVOCATION_NONE), err::REVOCATION_NOT_CHECKED);
  // Not checking revocation is a pass that callers may report, never a failure.
  const CheckOutcome noted = evaluateChainTrust(test::certificateOf(user), REVOCATION_OFFLINE,
                                                REVOCATION_NONE, currentFileTime());
  EXPECT_EQ(noted.kind(), CheckOutcome::Kind::PassWithNote);
  EXPECT_NO_THROW(noted.require());
  EXPECT_EQ(evaluateChainTrust(test::certificateOf(user), REVOCATION_OFFLINE, 9, currentFileTime())
                .kind(),
            CheckOutcome::Kind::Failure);
  EXPECT_EQ(server.hits("/ca.crl"), 0);
}

TEST_F(ChainTrust, OnlineHandsRevocationToTheLibrarysOwnCheck) {
  server.serve("/ca.crl", test::makeCrl(ca));
  server.serve("/root.crl", test::makeCrl(root));
  EXPECT_EQ(evaluate(user, REVOCATION_ONLINE, REVOCATION_END_CERT), err::NO_ERROR);
  EXPECT_EQ(server.hits("/ca.crl"), 1);
  // At chain level the root has no distribution point of its own.
  EXPECT_EQ(evaluate(user, REVOCATION_ONLINE, REVOCATION_CHAIN), err::NO_CRL_DISTRIBUTION_POINT);

  test::CrlOptions revoking;
  revoking.revokedSerials = {test::serialOf(user)};
  server.serve("/ca.crl", test::makeCrl(ca, revoking));
  EXPECT_EQ(evaluate(user, REVOCATION_ONLINE, REVOCATION_END_CERT), err::TRUST_REVOKED);
}

TEST_F(ChainTrust, OfflineUsesCachedListsOnly) {
  EXPECT_EQ(evaluate(user, REVOCATION_OFFLINE, REVOCATION_END_CERT), err::TRUST_REVOCATION_OFFLINE);
  fs::create_directories(store.root() / "CRL");
  test::writeBytes(store.root() / "CRL" / "ca.crl", test::makeCrl(ca));
  EXPECT_EQ(evaluate(user, REVOCATION_OFFLINE, REVOCATION_END_CERT), err::NO_ERROR);
  test::CrlOptions revoking;
  revoking.revokedSerials = {test::serialOf(user)};
  test::writeBytes(store.root() / "CRL" / "ca.crl", test::makeCrl(ca, revoking));
  EXPECT_EQ(evaluate(user, REVOCATION_OFFLINE, REVOCATION_END_CERT), err::TRUST_REVOKED);
  EXPECT_EQ(server.hits("/ca.crl"), 0) << "offline never downloads";
}

TEST_F(ChainTrust, ExpiredUnderAnUntrustedRootReportsTheRoot) {
  const Issued otherRoot = test::makeRootCa("Other Trust Root");
  store.add("CA", "other-root", otherRoot);
  const Issued expired = userOf(otherRoot, "Expired User", now() - 60);
  EXPECT_EQ(evaluate(expired, REVOCATION_OFFLINE, REVOCATION_NONE), err::TRUST_UNTRUSTED_ROOT);
  EXPECT_EQ(evaluate(expired, REVOCATION_ONLINE, REVOCATION_NONE), err::TRUST_UNTRUSTED_ROOT);
}

TEST_F(ChainTrust, UnsettledRevocationOnlineStillReportsOtherFindings) {
  const Issued otherRoot = test::makeRootCa("Other Trust Root");
  store.add("CA", "other-root", otherRoot);
  const Issued stranger = userOf(otherRoot, "Stranger");
  // The library's CRL check fails first: its answer stands.
  EXPECT_EQ(evaluate(stranger, REVOCATION_ONLINE, REVOCATION_END_CERT), err::CRL_CONNECT);
  // It passes: the untrusted root is still reported, never a clean result.
  server.serve("/ca.crl", test::makeCrl(otherRoot));
  EXPECT_EQ(evaluate(stranger, REVOCATION_ONLINE, REVOCATION_END_CERT), err::TRUST_UNTRUSTED_ROOT);
}

TEST_F(ChainTrust, NoEngineWithoutReadableStores) {
  fs::permissions(store.root() / "ROOT", fs::perms::none);
  const auto cert = test::certificateOf(user);
  const auto asOrdinaryUser = [&] {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) std::_Exit(3);
    std::_Exit(
        evaluateChainTrust(cert, REVOCATION_ONLINE, REVOCATION_NONE, currentFileTime()).code() ==
                err::CHAIN_CREATE
            ? 0
            : 1);
  };
  EXPECT_EXIT(asOrdinaryUser(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace marqen
