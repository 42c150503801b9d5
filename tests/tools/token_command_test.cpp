// Keys on a token (SoftHSM2) end to end through the tool: listed, imported into MY, used by the
// four signing operations, each result checked with openssl; and the ways a token key fails.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/marqen_tool.h"
#include "tests/support/softhsm_token.h"

#ifndef OPENSSL_CLI
#define OPENSSL_CLI "/usr/bin/openssl"
#endif

namespace {

namespace fs = std::filesystem;
using marqen::test::ProcessResult;
using marqen::test::readFile;
using marqen::test::runProcess;
using marqen::test::with;
using marqen::test::writeFile;

constexpr const char* kPin = "246810";
constexpr const char* kLabel = "Marqen Test";
constexpr const char* kIssuer = "CN=Token Root, O=Marqen Test";

// An X display of its own (Xvfb) for the PIN dialog, gone with the object.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    for (int number = 100 + ::getpid() % 400; number < 1000 && pid_ <= 0; number += 7) {
      if (fs::exists("/tmp/.X11-unix/X" + std::to_string(number))) continue;
      name_ = ":" + std::to_string(number);
      std::vector<std::string> args = {"Xvfb",       name_,       "-screen", "0",
                                       "800x600x24", "-nolisten", "tcp"};
      std::vector<char*> argv;
      for (auto& a : args)
        argv.push_back(a.data());
      argv.push_back(nullptr);
      if (::posix_spawn(&pid_, "/usr/bin/Xvfb", nullptr, nullptr, argv.data(), environ) != 0) {
        pid_ = 0;
        return;
      }
      for (int i = 0; i < 100 && !fs::exists("/tmp/.X11-unix/X" + std::to_string(number)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  ~VirtualDisplay() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;
  const std::string& name() const { return name_; }

 private:
  pid_t pid_ = 0;
  std::string name_;
};

std::string logFile() {
  return (fs::path(MARQEN_TOOL).parent_path() / "Logs" / "logFile.txt").string();
}

class TokenCommand : public marqen::test::ToolTest {
 protected:
  std::optional<marqen::test::SoftHsmToken> token;
  marqen::test::Issued root = marqen::test::makeRootCa("Token Root");
  marqen::test::Issued signer = marqen::test::makeEndEntity("Token User", root);
  marqen::test::Issued keyless = marqen::test::makeEndEntity("Token Other", root);
  std::string document = files.file("order.txt");
  std::string pinFile = marqen::test::writePinFile(files, "pin.txt", kPin);

  void SetUp() override {
    if (!marqen::test::SoftHsmToken::available()) GTEST_SKIP() << "SoftHSM2 is not installed";
    token.emplace(kLabel, kPin);
    token->put(signer, "01");
    token->put(keyless, "02", /*withKey=*/false);
    writeFile(document, "Purchase order 2026-1207\nTotal: EUR 18.40\n");
  }

  marqen::test::Environment environment() const override {
    auto environment = token->environment();
    environment["WAYLAND_DISPLAY"] = "";
    return environment;
  }

  // Without a display unless one is given: a PIN must then come from the URI.
  ProcessResult marqen(const std::vector<std::string>& args, const std::string& display = {}) {
    marqen::test::Environment extra = {{"DISPLAY", display}};
    // GTK keeps caches for the life of the process, which the leak checker would report.
    if (!display.empty()) extra["ASAN_OPTIONS"] = "detect_leaks=0:halt_on_error=1";
    return ToolTest::marqen(args, extra);
  }

  void importWithPinSource() {
    const auto imported =
        marqen({"certstore", "import", "--token", token->uri("pin-source=" + pinFile)});
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
  }

  // The .p11 file written for the signer.
  fs::path keyUriFile() const {
    for (const auto& entry : fs::directory_iterator(storeRoot.path() / "MY"))
      if (entry.path().extension() == ".p11") return entry.path();
    return {};
  }

  std::vector<std::string> storeSigner() const {
    return marqen::test::storeSigner(kIssuer, signer);
  }

  void expectOpenssl(const std::vector<std::string>& args) {
    const ProcessResult checked = runProcess(OPENSSL_CLI, args);
    EXPECT_EQ(checked.exitCode, 0) << checked.err << checked.out;
  }
};

TEST_F(TokenCommand, ListTellsWhichCertificatesHaveTheirKeyOnceLoggedIn) {
  const ProcessResult anonymous = marqen({"token", "list", token->uri()});
  ASSERT_EQ(anonymous.exitCode, 0) << anonymous.err;
  EXPECT_NE(anonymous.out.find("token: Marqen Test\n"), std::string::npos) << anonymous.out;
  EXPECT_NE(anonymous.out.find("no display for a PIN prompt"), std::string::npos);
  EXPECT_NE(anonymous.out.find("private key: unknown (not logged in)"), std::string::npos);

  const ProcessResult loggedIn = marqen({"token", "list", token->uri("pin-source=" + pinFile)});
  ASSERT_EQ(loggedIn.exitCode, 0) << loggedIn.err;
  EXPECT_NE(loggedIn.out.find("logged in:    yes"), std::string::npos) << loggedIn.out;
  const auto user = loggedIn.out.find("CN=Token User");
  const auto other = loggedIn.out.find("CN=Token Other");
  ASSERT_NE(user, std::string::npos);
  ASSERT_NE(other, std::string::npos);
  const auto keyOf = [&](std::size_t at) {
    return loggedIn.out.substr(loggedIn.out.find("private key: ", at), 16);
  };
  EXPECT_EQ(keyOf(user), "private key: yes");
  EXPECT_EQ(keyOf(other), "private key: no\n");

  const ProcessResult none =
      marqen({"token", "list",
              "pkcs11:token=Absent?module-path=" + std::string(marqen::test::kSoftHsmModule)});
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_NE(none.err.find("no token matches"), std::string::npos) << none.err;
  EXPECT_EQ(marqen({"token", "list", "not-a-uri"}).exitCode, 1);
  EXPECT_EQ(marqen({"token", "wipe"}).exitCode, 2);
}

TEST_F(TokenCommand, ImportKeepsPinSourceAndModulePathButNeverAPinValue) {
  const auto byValue =
      marqen({"certstore", "import", "--token", token->uri(std::string("pin-value=") + kPin)});
  ASSERT_EQ(byValue.exitCode, 0) << byValue.err;
  EXPECT_NE(byValue.err.find("added to MY: CN=Token User, O=Marqen Test"), std::string::npos);
  EXPECT_EQ(byValue.err.find("Token Other"), std::string::npos) << "it has no key on the token";
  const fs::path written = keyUriFile();
  ASSERT_FALSE(written.empty());
  const std::string uri = readFile(written.string());
  EXPECT_EQ(uri.find(kPin), std::string::npos) << uri;
  EXPECT_EQ(uri.find("pin-value"), std::string::npos) << uri;
  EXPECT_NE(uri.find("module-path="), std::string::npos) << uri;
  EXPECT_EQ(fs::status(written).permissions() & fs::perms::others_read, fs::perms::none);
  EXPECT_NE(marqen({"certstore", "list", "--store", "MY"}).out.find("private key: on a token"),
            std::string::npos);
  EXPECT_EQ(
      marqen({"certstore", "import", "--token", token->uri("pin-source=" + pinFile)}).exitCode, 3)
      << "already present";

  fs::remove_all(storeRoot.path() / "MY");
  importWithPinSource();
  EXPECT_NE(readFile(keyUriFile().string()).find("pin-source="), std::string::npos);

  const auto wrong = marqen({"certstore", "import", "--token", token->uri("pin-value=1")});
  EXPECT_EQ(wrong.exitCode, 1);
  EXPECT_NE(wrong.err.find("wrong PIN"), std::string::npos) << wrong.err;
}

TEST_F(TokenCommand, WithoutAModulePathP11KitsProxyReachesTheRegisteredTokens) {
  if (!fs::exists("/usr/share/p11-kit/modules/softhsm2.module"))
    GTEST_SKIP() << "SoftHSM2 is not registered with p11-kit";
  const auto imported = marqen(
      {"certstore", "import", "--token", "pkcs11:token=Marqen%20Test?pin-source=" + pinFile});
  ASSERT_EQ(imported.exitCode, 0) << imported.err;
  EXPECT_EQ(readFile(keyUriFile().string()).find("module-path"), std::string::npos);
  const ProcessResult signedMessage = marqen(with({"sign", "--in", document}, storeSigner()));
  EXPECT_EQ(signedMessage.exitCode, 0) << signedMessage.err;
}

TEST_F(TokenCommand, AllFourSigningOperationsWithATokenKeyVerifyWithOpenssl) {
  importWithPinSource();
  const std::string certificate = files.file("signer.pem");
  writeFile(certificate, signer.pem());
  const std::string rootFile = files.file("root.pem");
  writeFile(rootFile, root.pem());

  const std::string attached = files.file("attached.p7m");
  auto signedMessage =
      marqen(with({"sign", "--in", document, "--der", "--out", attached}, storeSigner()));
  ASSERT_EQ(signedMessage.exitCode, 0) << signedMessage.err;
  expectOpenssl({"cms", "-verify", "-inform", "DER", "-in", attached, "-CAfile", rootFile,
                 "-purpose", "any", "-out", files.file("content.txt")});
  EXPECT_EQ(readFile(files.file("content.txt")), readFile(document));

  const std::string detached = files.file("detached.p7s");
  ASSERT_EQ(marqen(with({"sign", "--in", document, "--der", "--detached", "--out", detached},
                        storeSigner()))
                .exitCode,
            0);
  const std::string cosigned = files.file("cosigned.p7s");
  const auto cosign =
      marqen(with({"cosign", "--in", detached, "--content", document, "--der", "--out", cosigned},
                  storeSigner()));
  ASSERT_EQ(cosign.exitCode, 0) << cosign.err;
  expectOpenssl({"cms", "-verify", "-binary", "-inform", "DER", "-in", cosigned, "-content",
                 document, "-CAfile", rootFile, "-purpose", "any", "-out", "/dev/null"});

  const std::string countersigned = files.file("countersigned.p7s");
  const auto countersign = marqen(with({"countersign", "--in", cosigned, "--signer", "1",
                                        "--content", document, "--der", "--out", countersigned},
                                       storeSigner()));
  ASSERT_EQ(countersign.exitCode, 0) << countersign.err;
  expectOpenssl({"cms", "-verify", "-binary", "-inform", "DER", "-in", countersigned, "-content",
                 document, "-CAfile", rootFile, "-purpose", "any", "-out", "/dev/null"});
  EXPECT_EQ(marqen({"verify-countersignature", "--in", countersigned, "--signer", "1", "--cert",
                    certificate})
                .exitCode,
            0);

  // Raw signatures come least significant byte first; reversed, openssl reads them.
  const std::string raw = files.file("raw.sig");
  const auto rawsign = marqen(with(
      {"rawsign", "--in", document, "--der", "--out", raw, "--hash", "sha256"}, storeSigner()));
  ASSERT_EQ(rawsign.exitCode, 0) << rawsign.err;
  std::string bytes = readFile(raw);
  std::reverse(bytes.begin(), bytes.end());
  writeFile(files.file("raw.be"), bytes);
  const std::string publicKey = files.file("public.pem");
  expectOpenssl({"x509", "-in", certificate, "-pubkey", "-noout", "-out", publicKey});
  expectOpenssl({"dgst", "-sha256", "-binary", "-out", files.file("digest"), document});
  expectOpenssl({"pkeyutl", "-verify", "-pubin", "-inkey", publicKey, "-in", files.file("digest"),
                 "-sigfile", files.file("raw.be"), "-pkeyopt", "digest:sha256"});
}

TEST_F(TokenCommand, WithoutAUsablePinOrTokenTheKeyFailsWith1806AndTheLogSaysWhy) {
  importWithPinSource();
  const fs::path uriFile = keyUriFile();
  const std::string stored = readFile(uriFile.string());
  const auto signWithUri = [&](const std::string& uri) {
    writeFile(uriFile.string(), uri + "\n");
    return marqen(with({"sign", "--in", document}, storeSigner()));
  };
  const std::string wrongPin = "97531";
  const std::string wrongPinFile = marqen::test::writePinFile(files, "wrong.txt", wrongPin);
  const std::string noPin = stored.substr(0, stored.find('?')) +
                            "?module-path=" + std::string(marqen::test::kSoftHsmModule);
  struct Case {
    const char* what;
    std::string uri;
    const char* logged;
  };
  const Case cases[] = {
      {"wrong PIN", token->uri("pin-source=" + wrongPinFile),
       "wrong PIN for token \"Marqen Test\""},
      {"no PIN and no display", noPin, "no display for a PIN prompt"},
      {"missing pin-source", token->uri("pin-source=/no/such/pin"), "/no/such/pin cannot be read"},
      {"no such module", "pkcs11:token=Marqen%20Test?module-path=/no/such/module.so",
       "/no/such/module.so cannot be loaded"},
      {"not a URI", "file:///key.pem", "not a PKCS#11 URI"},
  };
  for (const Case& c : cases) {
    const ProcessResult failed = signWithUri(c.uri);
    EXPECT_EQ(failed.exitCode, 1) << c.what;
    EXPECT_NE(failed.err.find("error 1806: "), std::string::npos) << c.what << ": " << failed.err;
    EXPECT_NE(readFile(logFile()).find(c.logged), std::string::npos) << c.what;
  }
  EXPECT_EQ(readFile(logFile()).find(wrongPin), std::string::npos) << "a PIN never reaches the log";

  // Wrong PINs tried above did not lock the token: the right one still signs.
  const ProcessResult signedAgain = signWithUri(stored.substr(0, stored.find('\n')));
  EXPECT_EQ(signedAgain.exitCode, 0) << signedAgain.err;

  token->remove();
  const ProcessResult removed = signWithUri(stored.substr(0, stored.find('\n')));
  EXPECT_EQ(removed.exitCode, 1);
  EXPECT_NE(removed.err.find("error 1806: "), std::string::npos) << removed.err;
}

TEST_F(TokenCommand, ThePinDialogNamesTheTokenAndWhatIsTypedSignsWhileCancellingFails) {
  if (!fs::exists("/usr/bin/Xvfb") || !fs::exists("/usr/bin/xdotool"))
    GTEST_SKIP() << "Xvfb or xdotool is not installed";
  importWithPinSource();
  writeFile(keyUriFile().string(), token->keyUri("01") + "\n");
  const VirtualDisplay display;
  ASSERT_FALSE(display.name().empty());
  const std::map<std::string, std::string> onDisplay = {{"DISPLAY", display.name()}};
  const auto xdotool = [&](const std::vector<std::string>& args) {
    return runProcess("/usr/bin/timeout", with({"30", "/usr/bin/xdotool"}, args), onDisplay);
  };
  struct Case {
    const char* typed;
    const char* key;
    int exitCode;
  };
  for (const Case& c : {Case{kPin, "Return", 0}, Case{"", "Escape", 1}}) {
    ProcessResult signedMessage;
    std::thread signing([&] {
      signedMessage = marqen(with({"sign", "--in", document}, storeSigner()), display.name());
    });
    const ProcessResult window = xdotool({"search", "--sync", "--name", "PIN for Marqen Test"});
    const std::string id = window.out.substr(0, window.out.find('\n'));
    EXPECT_EQ(window.exitCode, 0) << "no dialog for the token";
    if (window.exitCode == 0) {
      xdotool({"windowfocus", "--sync", id});
      if (*c.typed) xdotool({"type", "--delay", "20", c.typed});
      xdotool({"key", c.key});
    }
    signing.join();
    EXPECT_EQ(signedMessage.exitCode, c.exitCode) << c.key << ": " << signedMessage.err;
  }
  EXPECT_NE(readFile(logFile()).find("the PIN prompt was cancelled"), std::string::npos);
}

}  // namespace
