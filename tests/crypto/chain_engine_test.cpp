#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>

#include "platform/crypto/chain_engine.h"
#include "tests/support/pki_builder.h"
#include "tests/support/temp_cert_store.h"

namespace marqen::crypto {
namespace {

namespace fs = std::filesystem;
using test::Issued;

std::int64_t now() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

Issued issued(const std::string& cn, const Issued* issuer, bool ca, std::int64_t notBefore = 0,
              std::int64_t notAfter = 0,
              std::optional<std::string> basicConstraints = std::nullopt) {
  test::CertificateOptions options;
  options.subject = test::makeName({"O=Marqen Test", "CN=" + cn});
  options.issuer = issuer;
  options.notBefore = notBefore;
  options.notAfter = notAfter;
  if (ca) {
    options.basicConstraints = basicConstraints ? *basicConstraints : "critical,CA:TRUE";
    options.keyUsage = "critical,keyCertSign,cRLSign";
  } else {
    options.keyUsage = "critical,digitalSignature";
  }
  return test::issueCertificate(std::move(options));
}

std::uint32_t statusOf(const Issued& leaf, ChainOptions options = {}) {
  const auto result = buildChain(test::certificateOf(leaf), options);
  EXPECT_TRUE(result.has_value());
  return result ? result->errorStatus : 0xFFFFFFFFU;
}

class ChainEngine : public ::testing::Test {
 protected:
  test::TempCertStore store;
  Issued root = test::makeRootCa("Engine Root");
  Issued intermediate = test::makeIntermediateCa("Engine CA", root);
  Issued leaf = test::makeEndEntity("Engine User", intermediate);

  void SetUp() override {
    store.add("ROOT", "root", root);
    store.add("CA", "intermediate", intermediate);
  }
};

TEST_F(ChainEngine, GoodChainHasNoFindings) {
  const auto result = buildChain(test::certificateOf(leaf), {});
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->errorStatus, 0U);
  ASSERT_EQ(result->chain.size(), 3U);
  EXPECT_TRUE(result->chain[2].sameAs(test::certificateOf(root)));
}

TEST_F(ChainEngine, IntermediatesAreFoundInMyAndAddressBookToo) {
  const Issued second = test::makeIntermediateCa("Engine CA 2", root);
  const Issued third = test::makeIntermediateCa("Engine CA 3", root);
  store.add("MY", "second", second);
  store.add("ADDRESSBOOK", "third", third);
  EXPECT_EQ(statusOf(test::makeEndEntity("Via MY", second)), 0U);
  EXPECT_EQ(statusOf(test::makeEndEntity("Via ADDRESSBOOK", third)), 0U);
}

TEST_F(ChainEngine, ExpiredIntermediateIsNotTimeValid) {
  const Issued expired = issued("Old CA", &root, true, now() - 7200, now() - 3600);
  store.add("CA", "old", expired);
  const auto status = statusOf(issued("Under Old CA", &expired, false, now() - 5000, now() - 4000));
  EXPECT_TRUE(status & kTrustIsNotTimeValid);
  EXPECT_FALSE(status & kTrustIsUntrustedRoot);
}

TEST_F(ChainEngine, LeafOutlivingItsIssuerIsNotTimeNested) {
  const Issued shortCa = issued("Short CA", &root, true, now() - 3600, now() + 3600);
  store.add("CA", "short", shortCa);
  const auto status = statusOf(issued("Long Leaf", &shortCa, false, now() - 60, now() + 86400));
  EXPECT_EQ(status, kTrustIsNotTimeNested);
}

TEST_F(ChainEngine, RootOutsideRootStoreIsUntrusted) {
  const Issued otherRoot = test::makeRootCa("Untrusted Root");
  store.add("CA", "other-root", otherRoot);
  const auto status = statusOf(test::makeEndEntity("Untrusted Leaf", otherRoot));
  EXPECT_TRUE(status & kTrustIsUntrustedRoot);
  EXPECT_EQ(statusOf(otherRoot) & kTrustIsUntrustedRoot, kTrustIsUntrustedRoot);
}

TEST_F(ChainEngine, MissingIntermediateIsAPartialChain) {
  const Issued unknownCa = test::makeIntermediateCa("Unknown CA", root);
  EXPECT_TRUE(statusOf(test::makeEndEntity("Orphan", unknownCa)) & kTrustIsPartialChain);
}

TEST_F(ChainEngine, DamagedSignatureIsReported) {
  auto der = leaf.der();
  der[der.size() - 5] ^= 0x01;  // inside the signature value
  const auto damaged = Certificate::fromDer(der);
  ASSERT_TRUE(damaged.has_value());
  const auto result = buildChain(*damaged, {});
  ASSERT_TRUE(result.has_value());
  EXPECT_TRUE(result->errorStatus & kTrustIsNotSignatureValid);
}

TEST_F(ChainEngine, EndCertificateActingAsCaIsNotValidForUsage) {
  store.add("CA", "leaf-as-ca", leaf);
  EXPECT_TRUE(statusOf(issued("Issued By A Leaf", &leaf, false)) & kTrustIsNotValidForUsage);
  // Path length 0 allows no CA below.
  const Issued limited = issued("Limited CA", &root, true, 0, 0, "critical,CA:TRUE,pathlen:0");
  const Issued subCa = issued("Sub CA", &limited, true);
  store.add("CA", "limited", limited);
  store.add("CA", "sub", subCa);
  EXPECT_TRUE(statusOf(issued("Too Deep", &subCa, false)) & kTrustIsNotValidForUsage);
}

TEST_F(ChainEngine, RevocationFromTheCrlFolderOnly) {
  ChainOptions endOnly{RevocationScope::EndCertificate, false};
  EXPECT_EQ(statusOf(leaf, endOnly), kTrustRevocationStatusUnknown);
  ChainOptions cacheOnly{RevocationScope::EndCertificate, true};
  EXPECT_EQ(statusOf(leaf, cacheOnly), kTrustRevocationStatusUnknown | kTrustIsOfflineRevocation);

  fs::create_directories(store.root() / "CRL");
  test::writeBytes(store.root() / "CRL" / "intermediate.crl", test::makeCrl(intermediate, {}));
  EXPECT_EQ(statusOf(leaf, endOnly), 0U);
  // Checking the whole chain also needs the root's list for the intermediate.
  ChainOptions chain{RevocationScope::WholeChain, true};
  EXPECT_TRUE(statusOf(leaf, chain) & kTrustRevocationStatusUnknown);
  test::writeBytes(store.root() / "CRL" / "root.crl", test::makeCrl(root, {}));
  EXPECT_EQ(statusOf(leaf, chain), 0U);

  test::CrlOptions revoking;
  revoking.revokedSerials = {test::serialOf(leaf)};
  test::writeBytes(store.root() / "CRL" / "intermediate.crl",
                   test::makeCrl(intermediate, revoking));
  EXPECT_TRUE(statusOf(leaf, endOnly) & kTrustIsRevoked);
}

TEST_F(ChainEngine, StaleListIsOfflineRevocation) {
  fs::create_directories(store.root() / "CRL");
  test::CrlOptions stale;
  stale.thisUpdate = now() - 7200;
  stale.nextUpdate = now() - 3600;
  test::writeBytes(store.root() / "CRL" / "intermediate.crl", test::makeCrl(intermediate, stale));
  EXPECT_EQ(statusOf(leaf, {RevocationScope::EndCertificate, false}),
            kTrustRevocationStatusUnknown | kTrustIsOfflineRevocation);
}

TEST_F(ChainEngine, UnreadableRootStoreMeansNoEngine) {
  fs::permissions(store.root() / "ROOT", fs::perms::none);
  const Certificate cert = test::certificateOf(leaf);
  const auto asOrdinaryUser = [&] {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) std::_Exit(3);
    std::_Exit(buildChain(cert, {}).has_value() ? 1 : 0);
  };
  EXPECT_EXIT(asOrdinaryUser(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace marqen::crypto
