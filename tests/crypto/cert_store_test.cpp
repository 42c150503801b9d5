#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "platform/crypto/cert_store.h"
#include "tests/support/pki_builder.h"
#include "tests/support/temp_cert_store.h"

namespace marqen::crypto {
namespace {

namespace fs = std::filesystem;
using test::Issued;

TEST(CertStoreRoot, EnvironmentThenXdgThenHome) {
  test::TempCertStore store;
  EXPECT_EQ(certStoreRoot(), store.root());
  ::unsetenv("MARQEN_CERTSTORE");
  const char* xdg = std::getenv("XDG_DATA_HOME");
  const std::string savedXdg = xdg ? xdg : "";
  ::setenv("XDG_DATA_HOME", "/data", 1);
  EXPECT_EQ(certStoreRoot(), fs::path("/data/marqen/certstore"));
  ::unsetenv("XDG_DATA_HOME");
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  if (!home.empty()) {
    EXPECT_EQ(certStoreRoot(), fs::path(home) / ".local/share/marqen/certstore");
  }
  if (xdg) ::setenv("XDG_DATA_HOME", savedXdg.c_str(), 1);
}

TEST(CertificateStore, ListsCertificateFilesInByteOrderOfNames) {
  test::TempCertStore store;
  const Issued a = test::makeRootCa("A"), b = test::makeRootCa("B"), c = test::makeRootCa("C");
  store.add("CA", "b", b);
  store.add("CA", "B-upper", c);  // 'B' (0x42) sorts before 'b' (0x62)
  const fs::path folder = store.root() / "CA";
  test::writeFile((folder / "a.pem").string(), a.pem());
  test::writeFile((folder / "0-notes.txt").string(), "ignored: not a certificate file name");
  test::writeFile((folder / "1-broken.cer").string(), "ignored: not a certificate");
  fs::create_directory(folder / "z-folder.cer");

  const auto opened = CertificateStore::open("CA");
  ASSERT_TRUE(opened.has_value());
  ASSERT_EQ(opened->certificates().size(), 3U);
  EXPECT_EQ(opened->certificates()[0].file.filename(), "B-upper.cer");
  EXPECT_EQ(opened->certificates()[1].file.filename(), "a.pem");
  EXPECT_EQ(opened->certificates()[2].file.filename(), "b.cer");
  EXPECT_TRUE(opened->certificates()[1].certificate.sameAs(test::certificateOf(a)));
}

TEST(CertificateStore, MissingFolderIsEmptyUnreadableFolderIsAnError) {
  test::TempCertStore store;
  const auto missing = CertificateStore::open("ADDRESSBOOK");
  ASSERT_TRUE(missing.has_value());
  EXPECT_TRUE(missing->certificates().empty());
  fs::create_directory(store.root() / "MY");
  fs::permissions(store.root() / "MY", fs::perms::none);
  // Root reads any folder, so the check runs as an ordinary user in a child process.
  const auto asOrdinaryUser = [] {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) std::_Exit(3);
    std::_Exit(CertificateStore::open("MY").has_value() ? 1 : 0);
  };
  EXPECT_EXIT(asOrdinaryUser(), ::testing::ExitedWithCode(0), "");
}

TEST(CertificateStore, PrivateKeyBesideTheCertificate) {
  test::TempCertStore store;
  const Issued root = test::makeRootCa("Key Root");
  const Issued user = test::makeEndEntity("Key User", root);
  const Issued other = test::makeEndEntity("Other User", root);
  store.add("MY", "with-key", user, true);
  store.add("MY", "without-key", root);
  // A key file that belongs to another certificate is not this certificate's key.
  store.add("MY", "wrong-key", other);
  test::writeFile((store.root() / "MY" / "wrong-key.key").string(), user.keyPem());

  const auto my = CertificateStore::open("MY");
  ASSERT_EQ(my->certificates().size(), 3U);
  const auto& withKey = my->certificates()[0];
  EXPECT_TRUE(withKey.hasPrivateKey());
  ASSERT_NE(withKey.openPrivateKey(), nullptr);
  EXPECT_FALSE(my->certificates()[1].hasPrivateKey());
  EXPECT_EQ(my->certificates()[1].openPrivateKey(), nullptr);
  EXPECT_EQ(my->certificates()[2].openPrivateKey(), nullptr);

  // Keys are remembered between calls, but only for the same file content: a key file
  // replaced in place (same name, same size) is read again.
  test::Issued stranger{nullptr, test::rsaKey(true)};
  test::writeFile(withKey.keyFile().string(), stranger.keyPem());
  EXPECT_EQ(withKey.openPrivateKey(), nullptr);
  test::writeFile(withKey.keyFile().string(), user.keyPem());
  EXPECT_NE(withKey.openPrivateKey(), nullptr);
}

TEST(FindIssuer, NeedsNameAndSignatureAndReportsSelfSigned) {
  test::TempCertStore store;
  const Issued root = test::makeRootCa("Issuer Root");
  test::CertificateOptions impostorOptions;  // same name, another key
  impostorOptions.subject = test::makeName({"O=Marqen Test", "CN=Issuer Root"});
  impostorOptions.key = test::rsaKey(true);
  const Issued impostor = test::issueCertificate(std::move(impostorOptions));
  ASSERT_EQ(X509_NAME_cmp(X509_get_subject_name(impostor.certificate.get()),
                          X509_get_subject_name(root.certificate.get())),
            0);
  const Issued user = test::makeEndEntity("Issued User", root);
  store.add("CA", "a-impostor", impostor);
  store.add("ROOT", "root", root);
  const auto ca = CertificateStore::open("CA");
  const auto roots = CertificateStore::open("ROOT");

  const auto found = findIssuer(test::certificateOf(user), {&*ca, &*roots});
  ASSERT_EQ(found.status, IssuerStatus::Found);
  EXPECT_TRUE(found.issuer->sameAs(test::certificateOf(root)));
  EXPECT_EQ(findIssuer(test::certificateOf(user), {&*ca}).status, IssuerStatus::NotFound);
  EXPECT_EQ(findIssuer(test::certificateOf(root), {&*ca, &*roots}).status,
            IssuerStatus::SelfSigned);
}

TEST(StoreWriting, AddsOnceWithPrivateKeyModeAndRemovesEverything) {
  test::TempCertStore store;
  const Issued root = test::makeRootCa("Write Root");
  const Issued user = test::makeEndEntity("Write User", root);
  const Certificate cert = test::certificateOf(user);
  SoftwareKey key(upRef(user.key.get()));
  const fs::path my = store.root() / "MY";
  ASSERT_EQ(addToStore(my, cert, &key), StoreWrite::Written);
  EXPECT_EQ(addToStore(my, cert, &key), StoreWrite::AlreadyPresent);

  const auto opened = CertificateStore::open("MY");
  ASSERT_EQ(opened->certificates().size(), 1U);
  const auto& entry = opened->certificates()[0];
  EXPECT_EQ(entry.file.filename(), cert.thumbprint() + ".cer");
  struct stat info {};
  ASSERT_EQ(::stat(entry.keyFile().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600U);
  ASSERT_NE(entry.openPrivateKey(), nullptr);
  EXPECT_EQ(std::distance(fs::directory_iterator(my), fs::directory_iterator()), 2)
      << "no temporary file is left behind";

  EXPECT_TRUE(removeFromStore(entry));
  EXPECT_TRUE(fs::is_empty(my));
}

}  // namespace
}  // namespace marqen::crypto

namespace marqen::crypto {
namespace {

// The lookup reads only serial and issuer of the files it passes over; what it finds must be
// what a whole decoding of the store would have found first.
TEST(CertificateStoreFind, FirstMatchInStoreOrderWithoutDecodingTheOthers) {
  test::TempCertStore store;
  const Issued root = test::makeRootCa("Find Root");
  const Issued other = test::makeRootCa("Find Other");
  auto issue = [](const Issued& issuer, std::vector<unsigned char> serial) {
    test::CertificateOptions options;
    options.subject = test::makeName({"O=Marqen Test", "CN=Holder"});
    options.issuer = &issuer;
    options.serial = std::move(serial);
    return test::issueCertificate(std::move(options));
  };
  const Issued sameSerialOtherIssuer = issue(other, {0x80, 0x01});
  const Issued wanted = issue(root, {0x80, 0x01});
  const Issued later = issue(root, {0x80, 0x01});
  const fs::path folder = store.root() / "MY";
  store.add("MY", "1", sameSerialOtherIssuer);
  // A file with the wanted serial and issuer whose certificate does not decode whole (a digit
  // of its notBefore, a UTCTime, made a letter) holds no certificate: the search goes past it.
  test::Bytes broken = wanted.der();
  const unsigned char utcTime[] = {0x17, 0x0D};
  const auto at = std::search(broken.begin(), broken.end(), std::begin(utcTime), std::end(utcTime));
  ASSERT_NE(at, broken.end());
  at[3] = 'X';
  test::writeBytes(folder / "2-broken.cer", broken);
  test::writeFile((folder / "3.pem").string(), wanted.pem());
  store.add("MY", "4", later);

  const auto opened = CertificateStore::open("MY");
  ASSERT_TRUE(opened.has_value());
  int issuersAsked = 0;
  const CertificateStore::IdentityMatch match{
      .serial = [](std::string_view serial) { return serial == "008001"; },
      .issuer =
          [&](const std::string& issuer) {
            ++issuersAsked;
            return issuer == "CN=Find Root, O=Marqen Test";
          }};
  const auto found = opened->find(match);
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->file.filename(), "3.pem");
  EXPECT_TRUE(found->certificate.sameAs(test::certificateOf(wanted)));
  // Files 1, 2 and 3 have the serial; the search stops before 4.
  EXPECT_EQ(issuersAsked, 3);

  // Once the store has been decoded whole, the same search gives the same answer.
  ASSERT_EQ(opened->certificates().size(), 3U);
  const auto again = opened->find(match);
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(again->file.filename(), "3.pem");
  EXPECT_FALSE(opened->find({.serial = [](std::string_view) { return false; },
                             .issuer = [](const std::string&) { return true; }}));
}

}  // namespace
}  // namespace marqen::crypto
