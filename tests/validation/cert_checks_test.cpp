#include <gtest/gtest.h>

#include <ctime>

#include "library/core/error_codes.h"
#include "library/core/file_time.h"
#include "library/core/signer_library.h"
#include "library/validation/cert_checks.h"
#include "tests/support/pki_builder.h"
#include "tests/support/raised_code.h"
#include "tests/support/temp_cert_store.h"

namespace marqen {
namespace {

using test::Issued;

std::int64_t now() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

Issued withValidity(const std::string& cn, const Issued* issuer, std::int64_t notBefore,
                    std::int64_t notAfter, bool ca = false) {
  test::CertificateOptions options;
  options.subject = test::makeName({"O=Marqen Test", "CN=" + cn});
  options.issuer = issuer;
  options.notBefore = notBefore;
  options.notAfter = notAfter;
  if (ca) {
    options.basicConstraints = "critical,CA:TRUE";
    options.keyUsage = "critical,keyCertSign,cRLSign";
  }
  return test::issueCertificate(std::move(options));
}

FileTime fileTimeOf(std::int64_t unixSeconds, std::int64_t extraTicks = 0) {
  return FileTime::fromTicks(FileTime::fromUnixSeconds(unixSeconds).ticks() +
                             static_cast<std::uint64_t>(extraTicks));
}

void setTrusted(std::initializer_list<const char16_t*> names) {
  std::vector<const char16_t*> list(names);
  ASSERT_EQ(test::raisedCode([&] {
              SignerLibrary::instance().setTrustedCANames(list.data(),
                                                          static_cast<int32_t>(list.size()));
            }),
            0);
}

// First in this program, before any test sets a list.
TEST(TrustedCA, NoListIsAPassForAnyCertificate) {
  const Issued root = test::makeRootCa("Unlisted Root");
  const auto cert = test::certificateOf(test::makeEndEntity("Unlisted", root));
  ASSERT_FALSE(SignerLibrary::instance().hasTrustedCANames());
  for (const auto* certificate : {&cert, static_cast<const crypto::Certificate*>(nullptr)}) {
    const CheckOutcome outcome = checkTrustedCA(certificate);
    EXPECT_EQ(outcome.kind(), CheckOutcome::Kind::PassWithNote);
    EXPECT_EQ(outcome.code(), err::NO_TRUSTED_CA_LIST);
    EXPECT_NO_THROW(outcome.require());
  }
}

TEST(TimeValidity, NowAndAtAGivenTime) {
  const Issued root = test::makeRootCa("Time Root");
  const std::int64_t start = 1700000000, end = 1800000000;
  const auto cert = test::certificateOf(withValidity("Timed", &root, start, end));
  EXPECT_EQ(test::raisedCode([&] {
              checkTimeValidity(test::certificateOf(withValidity("Old", &root, 100, 200)),
                                currentFileTime());
            }),
            err::CERT_EXPIRED);
  EXPECT_EQ(test::raisedCode([&] {
              checkTimeValidity(
                  test::certificateOf(withValidity("Future", &root, now() + 3600, now() + 7200)),
                  currentFileTime());
            }),
            err::CERT_NOT_YET_VALID);
  // Validity is judged at the time the caller passes, both ends included.
  const struct {
    std::int64_t at;
    std::int64_t extraTicks;
    ErrorCode code;
  } atTimes[] = {{start, 0, err::NO_ERROR},
                 {end, 0, err::NO_ERROR},
                 {end, 1, err::CERT_EXPIRED},
                 {start, -1, err::CERT_NOT_YET_VALID},
                 {1750000000, 0, err::NO_ERROR}};
  for (const auto& t : atTimes)
    EXPECT_EQ(test::raisedCode([&] { checkTimeValidity(cert, fileTimeOf(t.at, t.extraTicks)); }),
              t.code)
        << t.at << "+" << t.extraTicks;
  EXPECT_EQ(test::raisedCode([&] { checkTimeValidityAt(cert, fileTimeOf(start)); }), err::NO_ERROR);
  EXPECT_EQ(test::raisedCode([&] { checkTimeValidityAt(cert, fileTimeOf(end)); }), err::NO_ERROR);
  EXPECT_EQ(test::raisedCode([&] { checkTimeValidityAt(cert, fileTimeOf(end, 1)); }),
            err::SIGNING_TIME_AFTER_EXPIRY);
  EXPECT_EQ(test::raisedCode([&] { checkTimeValidityAt(cert, fileTimeOf(start, -1)); }),
            err::SIGNING_TIME_BEFORE_START);
}

TEST(IssuerCommonName, TakesTextAfterCnUpToTheNextComma) {
  EXPECT_EQ(issuerCommonName(u"CN=Issuing CA, O=Acme, C=IN"), u"Issuing CA");
  EXPECT_EQ(issuerCommonName(u"O=Acme, CN=Last"), u"Last");
  // A quoted value keeps its quote and ends before its own comma.
  EXPECT_EQ(issuerCommonName(u"CN=\"Smith, John\", O=Acme"), u"\"Smith");
  EXPECT_EQ(issuerCommonName(u"O=No Common Name"), u"");
  EXPECT_EQ(issuerCommonName(u"cn=lower"), u"");  // the key is matched in capitals only
  EXPECT_EQ(issuerCommonName(u"CN=" + std::u16string(2000, u'x')).size(), 1024U);
}

class ChainChecks : public ::testing::Test {
 protected:
  test::TempCertStore store;
  Issued root = test::makeRootCa("Chain Root");
  Issued issuing = test::makeIntermediateCa("Issuing CA", root);
  Issued otherIssuing = test::makeIntermediateCa("Other Issuing CA", root);
  Issued user = test::makeEndEntity("User", issuing);
  Issued otherUser = test::makeEndEntity("Other User", otherIssuing);

  void SetUp() override {
    store.add("ROOT", "root", root);
    store.add("CA", "issuing", issuing);
    store.add("CA", "other", otherIssuing);
  }
};

TEST_F(ChainChecks, TrustedCARule) {
  const auto cert = test::certificateOf(user);
  const auto other = test::certificateOf(otherUser);
  setTrusted({u"chain root"});
  EXPECT_EQ(checkTrustedCA(&cert).code(), err::NO_ERROR) << "root name in other letter case";
  setTrusted({u"Chain Root", u"Issuing CA"});
  EXPECT_EQ(checkTrustedCA(&cert).code(), err::NO_ERROR);
  EXPECT_EQ(checkTrustedCA(&other).code(), err::TRUSTED_CA_NOT_IN_CHAIN);
  setTrusted({u"User"});
  EXPECT_EQ(checkTrustedCA(&cert).code(), err::TRUSTED_CA_NOT_IN_CHAIN)
      << "subjects are never compared";
  setTrusted({u"Unknown Root"});
  EXPECT_EQ(checkTrustedCA(&cert).code(), err::TRUSTED_CA_NOT_IN_CHAIN);
  EXPECT_EQ(checkTrustedCA(nullptr).code(), err::MISSING_ARGUMENT);
}

TEST_F(ChainChecks, IssuerInNoStore) {
  const Issued stray = test::makeRootCa("Stray Root");
  const auto orphan = test::certificateOf(test::makeEndEntity("Orphan", stray));
  setTrusted({u"Chain Root"});
  EXPECT_EQ(checkTrustedCA(&orphan).code(), err::CHAIN_BUILD);
  EXPECT_EQ(test::raisedCode([&] { checkChainExpiry(&orphan, currentFileTime()); }),
            err::CHAIN_BUILD);
}

TEST_F(ChainChecks, ForgedIssuerWithTheRightNameIsNotAnIssuer) {
  // Same subject name as the stored issuing CA, different key: its certificates must not climb
  // to the trusted root by name alone.
  test::CertificateOptions forgerOptions;
  forgerOptions.subject = test::makeName({"O=Marqen Test", "CN=Issuing CA"});
  forgerOptions.key = test::rsaKey(true);  // pooled keys could repeat the real CA's key
  forgerOptions.basicConstraints = "critical,CA:TRUE";
  forgerOptions.keyUsage = "critical,keyCertSign";
  const Issued forger = test::issueCertificate(std::move(forgerOptions));
  ASSERT_EQ(X509_NAME_cmp(X509_get_subject_name(forger.certificate.get()),
                          X509_get_subject_name(issuing.certificate.get())),
            0);
  test::CertificateOptions options;
  options.subject = test::makeName({"O=Marqen Test", "CN=Victim"});
  options.issuer = &forger;
  const auto forged = test::certificateOf(test::issueCertificate(std::move(options)));
  setTrusted({u"Chain Root"});
  EXPECT_EQ(checkTrustedCA(&forged).code(), err::CHAIN_BUILD);
}

// A trusted name counts only on a link whose issuer certificate is in a store and verifies the
// certificate below it: a self-made CA that merely calls itself by a trusted name earns nothing.
TEST_F(ChainChecks, TrustedNameOnALinkNoStoreVouchesForIsNotTrusted) {
  test::CertificateOptions impostorOptions;
  impostorOptions.subject = test::makeName({"O=Marqen Test", "CN=Chain Root"});
  impostorOptions.basicConstraints = "critical,CA:TRUE";
  impostorOptions.keyUsage = "critical,keyCertSign,digitalSignature";
  const Issued impostor = test::issueCertificate(std::move(impostorOptions));
  const auto impostorRoot = test::certificateOf(impostor);
  const auto victim = test::certificateOf(test::makeEndEntity("Victim", impostor));
  const auto storedRoot = test::certificateOf(root);
  const auto cert = test::certificateOf(user);

  setTrusted({u"Chain Root"});
  EXPECT_EQ(checkTrustedCA(&victim).code(), err::CHAIN_BUILD) << "issued by an unstored namesake";
  EXPECT_EQ(checkTrustedCA(&impostorRoot).code(), err::CHAIN_BUILD) << "self-signed, not stored";
  EXPECT_EQ(checkTrustedCA(&storedRoot).code(), err::NO_ERROR)
      << "the stored root vouches for itself";
  EXPECT_EQ(checkTrustedCA(&cert).code(), err::NO_ERROR);
  setTrusted({u"Chain Root", u"Chain Root"});
  EXPECT_EQ(checkTrustedCA(&victim).code(), err::CHAIN_BUILD)
      << "direct-issuer names need the link too";
}

TEST_F(ChainChecks, ChainExpiry) {
  const auto cert = test::certificateOf(user);
  EXPECT_EQ(test::raisedCode([&] { checkChainExpiry(&cert, currentFileTime()); }), err::NO_ERROR);
  const auto rootOnly = test::certificateOf(root);
  EXPECT_EQ(test::raisedCode([&] { checkChainExpiry(&rootOnly, currentFileTime()); }),
            err::NO_ERROR)
      << "a self-signed certificate ends it";
  EXPECT_EQ(test::raisedCode([&] { checkChainExpiry(nullptr, currentFileTime()); }),
            err::MISSING_ARGUMENT);
}

TEST(ChainExpiry, ExpiredIntermediateFailsAValidEndCertificate) {
  test::TempCertStore store;
  const Issued root = test::makeRootCa("Expiry Root");
  const Issued expiredCa = withValidity("Expired CA", &root, now() - 7200, now() - 3600, true);
  test::CertificateOptions options;
  options.subject = test::makeName({"CN=Still Valid"});
  options.issuer = &expiredCa;
  const auto cert = test::certificateOf(test::issueCertificate(std::move(options)));
  store.add("ROOT", "root", root);
  store.add("CA", "expired", expiredCa);
  EXPECT_EQ(test::raisedCode([&] { checkTimeValidity(cert, currentFileTime()); }), err::NO_ERROR);
  EXPECT_EQ(test::raisedCode([&] { checkChainExpiry(&cert, currentFileTime()); }),
            err::CHAIN_CERT_EXPIRED);
}

TEST(ChainWalk, CrossCertifiedLoopEndsAsUnbuildable) {
  test::TempCertStore store;
  auto keyA = test::rsaKey(true);
  auto keyB = test::rsaKey(true);
  auto ca = [](const std::string& cn, crypto::EvpPkeyPtr key, const Issued* issuer) {
    test::CertificateOptions options;
    options.subject = test::makeName({"CN=" + cn});
    options.key = std::move(key);
    options.issuer = issuer;
    options.basicConstraints = "critical,CA:TRUE";
    options.keyUsage = "critical,keyCertSign";
    return test::issueCertificate(std::move(options));
  };
  const Issued bSelf = ca("Loop B", crypto::upRef(keyB.get()), nullptr);
  const Issued aByB = ca("Loop A", crypto::upRef(keyA.get()), &bSelf);
  const Issued bByA = ca("Loop B", std::move(keyB), &aByB);
  const Issued user = test::makeEndEntity("Loop User", aByB);
  store.add("CA", "a", aByB);
  store.add("CA", "b", bByA);
  const auto cert = test::certificateOf(user);
  EXPECT_EQ(test::raisedCode([&] { checkChainExpiry(&cert, currentFileTime()); }),
            err::CHAIN_BUILD);
  setTrusted({u"Nobody"});
  EXPECT_EQ(checkTrustedCA(&cert).code(), err::CHAIN_BUILD);
}

}  // namespace
}  // namespace marqen
