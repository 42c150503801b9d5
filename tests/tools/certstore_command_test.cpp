#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/support/marqen_tool.h"

namespace {

namespace fs = std::filesystem;

class CertstoreCommand : public marqen::test::ToolTest {
 protected:
  marqen::test::Issued root = marqen::test::makeRootCa("Tool Root");
  marqen::test::Issued issuing = marqen::test::makeIntermediateCa("Tool Issuing CA", root);
  marqen::test::Issued user = marqen::test::makeEndEntity("Tool User", issuing);

  std::vector<fs::path> filesIn(const std::string& store) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(storeRoot.path() / store, ec))
      found.push_back(e.path());
    return found;
  }
  std::string writePfx(const std::string& password) {
    marqen::test::PfxOptions options;
    options.holder = &user;
    options.caCerts = {&issuing, &root};
    options.password = password;
    marqen::test::writeBytes(files.file("user.pfx"), marqen::test::makePfx(options));
    return files.file("user.pfx");
  }
};

TEST_F(CertstoreCommand, ImportsPfxIntoMyCaAndRootThenListsAndRemoves) {
  const auto pfx = writePfx("pw");
  const auto imported = marqen({"certstore", "import", pfx, "--password", "pw"});
  ASSERT_EQ(imported.exitCode, 0) << imported.err;
  ASSERT_EQ(filesIn("MY").size(), 2U);  // certificate and key
  EXPECT_EQ(filesIn("CA").size(), 1U);
  EXPECT_EQ(filesIn("ROOT").size(), 1U);
  for (const auto& file : filesIn("MY")) {
    if (file.extension() != ".key") continue;
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600U);
  }

  const auto listed = marqen({"certstore", "list", "--store", "my"});
  ASSERT_EQ(listed.exitCode, 0) << listed.err;
  EXPECT_NE(listed.out.find("subject: CN=Tool User, O=Marqen Test"), std::string::npos);
  EXPECT_NE(listed.out.find("issuer:  CN=Tool Issuing CA, O=Marqen Test"), std::string::npos);
  EXPECT_NE(listed.out.find("private key: yes"), std::string::npos);
  const auto serialAt = listed.out.find("serial:  ");
  ASSERT_NE(serialAt, std::string::npos);
  const std::string serial =
      listed.out.substr(serialAt + 9, listed.out.find('\n', serialAt) - serialAt - 9);

  const auto again = marqen({"certstore", "import", pfx, "--password", "pw"});
  EXPECT_EQ(again.exitCode, 3);
  EXPECT_NE(again.err.find("already in MY"), std::string::npos);

  const auto removed = marqen({"certstore", "remove", "--store", "MY", "--serial", serial,
                               "--issuer", "CN=Tool Issuing CA, O=Marqen Test"});
  EXPECT_EQ(removed.exitCode, 0) << removed.err;
  EXPECT_TRUE(filesIn("MY").empty());
  EXPECT_EQ(marqen({"certstore", "remove", "--store", "MY", "--serial", serial, "--issuer",
                    "CN=Tool Issuing CA, O=Marqen Test"})
                .exitCode,
            1);
}

TEST_F(CertstoreCommand, WrongPasswordAndBadFilesAreExplained) {
  const auto pfx = writePfx("right");
  const auto wrong = marqen({"certstore", "import", pfx, "--password", "wrong"});
  EXPECT_EQ(wrong.exitCode, 1);
  EXPECT_NE(wrong.err.find("wrong password"), std::string::npos);
  EXPECT_NE(wrong.err.find("error 307: Error in importing the certificate file to PFX Store."),
            std::string::npos);
  EXPECT_FALSE(fs::exists(storeRoot.path() / "MY"));

  marqen::test::writeFile(files.file("junk.cer"), "junk");
  EXPECT_EQ(marqen({"certstore", "import", files.file("junk.cer"), "--store", "CA"}).exitCode, 1);
  EXPECT_EQ(marqen({"certstore", "import", files.file("junk.cer")}).exitCode, 1);
  EXPECT_EQ(marqen({"certstore", "import", files.file("missing.cer"), "--store", "CA"}).exitCode,
            1);
  EXPECT_EQ(marqen({"certstore", "list", "--store", "NOPE"}).exitCode, 2);
}

TEST_F(CertstoreCommand, ImportsASingleCertificateInPem) {
  marqen::test::writeFile(files.file("root.pem"), root.pem());
  const auto added = marqen({"certstore", "import", files.file("root.pem"), "--store", "root"});
  ASSERT_EQ(added.exitCode, 0) << added.err;
  ASSERT_EQ(filesIn("ROOT").size(), 1U);
  EXPECT_EQ(filesIn("ROOT")[0].extension(), ".cer");
  const auto listed = marqen({"certstore", "list"});
  EXPECT_NE(listed.out.find("[ROOT] 1 certificate(s)"), std::string::npos);
  EXPECT_NE(listed.out.find("[MY] 0 certificate(s)"), std::string::npos);
}

}  // namespace
