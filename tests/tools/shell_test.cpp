// marqen as a shell user meets it: pipes, terminals, passwords from files, the environment and
// a prompt, help per command, and messages in the user's terms.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/http_test_server.h"
#include "tests/support/marqen_tool.h"

namespace {

namespace fs = std::filesystem;
using marqen::test::ProcessResult;
using marqen::test::readFile;
using marqen::test::runProcess;
using marqen::test::writeFile;

constexpr const char* kDocument = "Delivery note 2026-0311\nPallets: 4\n";
constexpr const char* kIssuer = "CN=Shell Root, O=Marqen Test";
constexpr const char* kPassword = "correct horse";

struct TerminalRun {
  int exitCode = -1;
  std::string screen;  // everything the program wrote to the terminal
};

// Runs marqen with standard input, output and error on a new pseudo-terminal; types `typed`
// once `prompt` shows on it.
TerminalRun runOnTerminal(const std::vector<std::string>& args,
                          const std::map<std::string, std::string>& environment,
                          const std::string& prompt = {}, const std::string& typed = {}) {
  std::vector<std::string> argvText{MARQEN_TOOL};
  argvText.insert(argvText.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argvText)
    argv.push_back(a.data());
  argv.push_back(nullptr);

  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) return {};
  if (pid == 0) {
    for (const auto& [key, value] : environment)
      ::setenv(key.c_str(), value.c_str(), 1);
    ::execv(MARQEN_TOOL, argv.data());
    ::_exit(127);
  }
  TerminalRun run;
  bool sent = prompt.empty() && typed.empty();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    if (!sent && run.screen.find(prompt) != std::string::npos) {
      // Typing before the program turned echo off would echo; wait for it to be quiet.
      ::usleep(200'000);
      [[maybe_unused]] const ssize_t n = ::write(master, typed.data(), typed.size());
      sent = true;
    }
    pollfd watch{master, POLLIN, 0};
    if (::poll(&watch, 1, 100) <= 0) continue;
    char buffer[4096];
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n <= 0) break;  // EIO once the program and its terminal are gone
    run.screen.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(master);
  int status = 0;
  ::waitpid(pid, &status, 0);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

class Shell : public marqen::test::ToolTest {
 protected:
  marqen::test::Issued root = marqen::test::makeRootCa("Shell Root");
  marqen::test::Issued signer = marqen::test::makeEndEntity("Shell User", root);
  std::string document = files.file("note.txt");
  std::string pfx = files.file("signer.pfx");

  void SetUp() override {
    marqen::test::addToStore(storeRoot.path(), "MY", "signer", signer, /*withKey=*/true);
    marqen::test::addToStore(storeRoot.path(), "ROOT", "root", root);
    writeFile(document, kDocument);
    marqen::test::PfxOptions options;
    options.holder = &signer;
    options.caCerts = {&root};
    options.password = kPassword;
    marqen::test::writeBytes(pfx, marqen::test::makePfx(options));
  }

  // The variables the shell scripts below use.
  marqen::test::Environment environment() const override {
    return {{"MARQEN_CERTSTORE", storeRoot.path().string()},
            {"MARQEN", MARQEN_TOOL},
            {"DOC", document},
            {"ISSUER", kIssuer},
            {"SERIAL", marqen::test::hexOf(marqen::test::serialOf(signer))}};
  }
  ProcessResult bash(const std::string& script) const {
    return runProcess("/bin/bash", {"-o", "pipefail", "-c", script}, environment());
  }
  std::vector<std::string> signFromPfx(const std::vector<std::string>& extra) const {
    return marqen::test::with({"sign", "--in", document, "--pfx", pfx}, extra);
  }
};

TEST_F(Shell, SignedMessagesFlowThroughPipesWithStatusOnStandardError) {
  const auto attached = bash(R"("$MARQEN" sign --in "$DOC" --issuer "$ISSUER" --serial "$SERIAL" |)"
                             R"( "$MARQEN" verify --in -)");
  EXPECT_EQ(attached.exitCode, 0) << attached.err;
  EXPECT_NE(attached.out.find("  signature:      verifies\n"), std::string::npos) << attached.out;
  EXPECT_EQ(attached.err, "signer 0: signature verifies, certificate and chain trusted\n");

  // Content from standard input, binary DER through the pipe, the content back out.
  const auto roundTrip =
      bash(R"("$MARQEN" sign --in - --der --issuer="$ISSUER" --serial="$SERIAL" < "$DOC" |)"
           R"( "$MARQEN" content --in -)");
  EXPECT_EQ(roundTrip.exitCode, 0) << roundTrip.err;
  EXPECT_EQ(roundTrip.out, kDocument);
  EXPECT_EQ(roundTrip.err, "");

  const auto detached = bash(
      R"("$MARQEN" sign --in "$DOC" --detached --out - --issuer "$ISSUER" --serial "$SERIAL" |)"
      R"( "$MARQEN" verify --in - --content "$DOC")");
  EXPECT_EQ(detached.exitCode, 0) << detached.err;

  // A detached signature with its content on standard input: the right one and a tampered one.
  const auto signature = files.file("note.p7s");
  ASSERT_EQ(marqen(marqen::test::with({"sign", "--in", document, "--detached", "--out", signature},
                                      marqen::test::storeSigner(kIssuer, signer)))
                .exitCode,
            0);
  const auto fromPipe =
      bash(R"("$MARQEN" verify --in ')" + signature + R"(' --content - < "$DOC")");
  EXPECT_EQ(fromPipe.exitCode, 0) << fromPipe.err;
  const auto tampered =
      bash(R"(printf 'Pallets: 40\n' | "$MARQEN" verify --in ')" + signature + R"(' --content -)");
  EXPECT_EQ(tampered.exitCode, 1);
  EXPECT_EQ(tampered.err, "error 1701: Verification of Signed Data Failed.\n");

  const auto both = bash(R"("$MARQEN" verify --in - --content - < "$DOC")");
  EXPECT_EQ(both.exitCode, 2);
  EXPECT_NE(both.err.find("not both"), std::string::npos) << both.err;
}

TEST_F(Shell, BinaryOutputToATerminalIsRefusedTextIsNot) {
  const auto env = environment();
  const auto store = marqen::test::storeSigner(kIssuer, signer);
  auto sign = [&](const std::vector<std::string>& extra) {
    using marqen::test::with;
    return runOnTerminal(with(with({"sign", "--in", document}, store), extra), env);
  };
  const auto der = sign({"--der"});
  EXPECT_EQ(der.exitCode, 2) << der.screen;
  EXPECT_NE(der.screen.find("binary"), std::string::npos) << der.screen;
  const auto derDash = sign({"--der", "--out", "-"});
  EXPECT_EQ(derDash.exitCode, 2) << derDash.screen;
  const auto base64 = sign({});
  EXPECT_EQ(base64.exitCode, 0) << base64.screen;
  EXPECT_NE(base64.screen.find("MII"), std::string::npos);

  // The content of a message goes to a terminal when it is text, not when it is binary.
  const auto textMessage = files.file("text.p7m");
  const auto binaryFile = files.file("binary.bin");
  const auto binaryMessage = files.file("binary.p7m");
  writeFile(binaryFile, std::string("\x00\x01\x02 binary", 9));
  ASSERT_EQ(marqen({"sign", "--in", document, "--out", textMessage, store[0], store[1], store[2],
                    store[3]})
                .exitCode,
            0);
  ASSERT_EQ(marqen({"sign", "--in", binaryFile, "--out", binaryMessage, store[0], store[1],
                    store[2], store[3]})
                .exitCode,
            0);
  const auto text = runOnTerminal({"content", "--in", textMessage}, env);
  EXPECT_EQ(text.exitCode, 0) << text.screen;
  EXPECT_NE(text.screen.find("Pallets: 4"), std::string::npos);
  const auto binary = runOnTerminal({"content", "--in", binaryMessage}, env);
  EXPECT_EQ(binary.exitCode, 2) << binary.screen;
  EXPECT_NE(binary.screen.find("--out FILE"), std::string::npos) << binary.screen;
}

TEST_F(Shell, PasswordsComeFromAFileTheEnvironmentOrAPromptWithoutEcho) {
  const auto passwordFile = files.file("password");
  const auto crlfFile = files.file("password-crlf");
  const auto wrongFile = files.file("wrong");
  writeFile(passwordFile, std::string(kPassword) + "\nignored second line\n");
  writeFile(crlfFile, std::string(kPassword) + "\r\n");
  writeFile(wrongFile, "Tr0ub4dor&3\n");

  struct Case {
    std::vector<std::string> options;
    std::map<std::string, std::string> environment;
    int exitCode;
    std::string message;  // in standard error; empty: none expected
  };
  const std::vector<Case> cases = {
      {{"--password-file", passwordFile}, {}, 0, ""},
      {{"--password-file=" + crlfFile}, {}, 0, ""},
      {{"--password-env", "SIGNING_PASSWORD"}, {{"SIGNING_PASSWORD", kPassword}}, 0, ""},
      {{"--password-file", wrongFile},
       {},
       1,
       "marqen: wrong password for the PFX file " + pfx + ", or the file is damaged\nerror 307: "},
      {{"--password-env", "NOT_SET_ANYWHERE"},
       {},
       2,
       "environment variable NOT_SET_ANYWHERE (--password-env) is not set"},
      {{"--password-file", files.file("missing")}, {}, 1, "--password-file"},
      {{"--password-file", passwordFile, "--password-env", "SIGNING_PASSWORD"},
       {{"SIGNING_PASSWORD", kPassword}},
       2,
       "one way only"},
      // Standard input is not a terminal: nobody is asked, and no password is wrong here.
      {{}, {}, 1, "error 307: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.options));
    const auto result = marqen(signFromPfx(c.options), c.environment);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    if (c.message.empty()) {
      EXPECT_EQ(result.err, "");
      EXPECT_EQ(result.out.substr(0, 3), "MII");
    } else {
      EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    }
  }

  // On a terminal without a password option: a prompt, and what is typed is not echoed.
  const auto message = files.file("prompted.p7m");
  const auto prompted =
      runOnTerminal(signFromPfx({"--out", message}), environment(),
                    "Password for the PFX file " + pfx + ": ", std::string(kPassword) + "\n");
  EXPECT_EQ(prompted.exitCode, 0) << prompted.screen;
  EXPECT_EQ(prompted.screen.find(kPassword), std::string::npos) << prompted.screen;
  EXPECT_TRUE(fs::exists(message));

  // certstore import takes the same sources.
  const auto imported =
      marqen({"certstore", "import", pfx, "--password-env", "PFX_PASSWORD"},
             {{"MARQEN_CERTSTORE", files.file("other-store")}, {"PFX_PASSWORD", kPassword}});
  EXPECT_EQ(imported.exitCode, 0) << imported.err;
  EXPECT_NE(imported.err.find("added to MY"), std::string::npos) << imported.err;
  EXPECT_EQ(imported.out, "");
}

TEST_F(Shell, FailuresNameTheFileOrOptionBeforeTheLibrarysMessage) {
  const auto folder = files.file("folder");
  fs::create_directory(folder);
  const std::string serial = marqen::test::hexOf(marqen::test::serialOf(signer));
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string first;  // our line, which comes before "error N: "
  };
  const std::vector<Case> cases = {
      {{"sign", "--in", document, "--pfx", files.file("absent.pfx"), "--password", "x"},
       1,
       "marqen: cannot read the PFX file " + files.file("absent.pfx") +
           " (--pfx): No such file or directory\n"},
      {{"sign", "--in", files.file("absent.txt"), "--issuer", kIssuer, "--serial", serial},
       1,
       "marqen: cannot read the file to sign " + files.file("absent.txt") +
           " (--in): No such file or directory\n"},
      {{"sign", "--in", document, "--issuer", kIssuer, "--serial", serial, "--out", folder},
       1,
       "marqen: the output path " + folder + " (--out) is a folder: name a file in it\n"},
      {{"sign", "--in", document, "--issuer", kIssuer, "--serial", "0BADC0DE"},
       1,
       "marqen: no certificate in MY has serial 0BADC0DE and issuer \"" + std::string(kIssuer) +
           "\"; 'marqen certstore list --store MY' shows the serials and issuers there\n"},
      {{"content", "--in", document, "--out", folder}, 1, "(--out) is a folder"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const auto result = marqen(c.args);
    EXPECT_EQ(result.exitCode, c.exitCode);
    const auto ours = result.err.find(c.first);
    const auto library = result.err.find("error ");
    ASSERT_NE(ours, std::string::npos) << result.err;
    ASSERT_NE(library, std::string::npos) << result.err;
    EXPECT_LT(ours, library) << result.err;
    EXPECT_EQ(result.out, "");
  }

  // A signing time that does not parse is a usage error, before anything is signed.
  for (const std::string time : {"yesterday", "2026-13-01T00:00:00Z", "1700000000.5", "-5",
                                 "2026-01-31 12:00:00", "99999999999"}) {
    const auto result = marqen({"sign", "--in", document, "--issuer", kIssuer, "--serial", serial,
                                "--signing-time", time});
    EXPECT_EQ(result.exitCode, 2) << time;
    EXPECT_NE(result.err.find("--signing-time takes Unix seconds"), std::string::npos)
        << result.err;
    EXPECT_EQ(result.out, "");
  }
  const auto iso =
      marqen({"sign", "--in", document, "--issuer", kIssuer, "--serial", serial,
              "--signing-time=2023-11-14T22:13:20Z", "--der", "--out", files.file("iso.der")});
  EXPECT_EQ(iso.exitCode, 0) << iso.err;
}

TEST_F(Shell, SerialNumbersAreReadAsNumbers) {
  // A serial with its top bit set is stored with a leading 00.
  marqen::test::CertificateOptions options;
  options.subject = marqen::test::makeName({"CN=Serial User", "O=Marqen Test"});
  options.issuer = &root;
  options.serial = {0x8F, 0x0A, 0xBC};
  options.keyUsage = "critical,digitalSignature";
  const auto numbered = marqen::test::issueCertificate(std::move(options));
  marqen::test::addToStore(storeRoot.path(), "MY", "numbered", numbered, /*withKey=*/true);
  for (const std::string serial : {"8F0ABC", "8f0abc", "8f:0a:bc", "00:8F:0A:BC", "008f0abc"}) {
    const auto result = marqen({"sign", "--in", document, "--issuer", kIssuer, "--serial", serial});
    EXPECT_EQ(result.exitCode, 0) << serial << ": " << result.err;
  }
  const auto notHex = marqen({"sign", "--in", document, "--issuer", kIssuer, "--serial", "8F-0A"});
  EXPECT_EQ(notHex.exitCode, 2);
  EXPECT_NE(notHex.err.find("--serial takes the serial number in hexadecimal"), std::string::npos);
}

TEST_F(Shell, EachCommandHasItsOwnHelpAndTheToolItsVersion) {
  const std::vector<std::pair<std::string, std::string>> commands = {
      {"sign", "--hash NAME"},
      {"verify", "--signer N"},
      {"content", "--out FILE"},
      {"certstore", "--store NAME"},
      {"base64", "base64 decode FILE OUT"},
      {"cosign", "(default: sha256)"},
      {"countersign", "--password-env VAR"},
      {"rawsign", "(default: standard output)"},
      {"verify-raw", "(default: my)"},
      {"verify-countersignature", "(default: 0)"},
      {"pick", "usage: marqen pick"},
  };
  for (const auto& [command, shown] : commands) {
    const auto help = marqen({command, "--help"});
    EXPECT_EQ(help.exitCode, 0) << command;
    EXPECT_EQ(help.out.rfind("usage: marqen " + command, 0), 0U) << help.out;
    EXPECT_NE(help.out.find(shown), std::string::npos) << help.out;
    EXPECT_EQ(help.err, "");
  }
  const auto sign = marqen({"sign", "--in", document, "--help"});
  EXPECT_NE(sign.out.find("(default: sha256)"), std::string::npos) << sign.out;
  EXPECT_NE(sign.out.find("(default: standard output)"), std::string::npos);
  EXPECT_NE(sign.out.find("--password P"), std::string::npos);
  EXPECT_NE(sign.out.find("visible to other users"), std::string::npos);
  EXPECT_NE(marqen({"verify", "--help"}).out.find("(default: every signer)"), std::string::npos);

  const auto version = marqen({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("marqen 2.0 (library interface 2.", 0), 0U) << version.out;

  const auto md5 = marqen(marqen::test::with({"sign", "--in", document, "--hash", "MD5"},
                                             marqen::test::storeSigner(kIssuer, signer)));
  EXPECT_EQ(md5.exitCode, 0);
  EXPECT_NE(md5.err.find("warning: MD5"), std::string::npos) << md5.err;
}

// The commands that add signers or make bare signatures keep the same conventions.
TEST_F(Shell, SignersCommandsTakePipesPasswordSourcesAndTypedSerials) {
  const std::string withPfx = R"(--pfx ')" + pfx + R"(' --password-env PW)";
  const auto cosigned =
      bash(R"("$MARQEN" sign --in "$DOC" --der --issuer "$ISSUER" --serial "$SERIAL" | PW=')" +
           std::string(kPassword) + R"(' "$MARQEN" cosign --in - --der )" + withPfx +
           R"( | "$MARQEN" verify --in - --signer 1)");
  EXPECT_EQ(cosigned.exitCode, 0) << cosigned.err;
  EXPECT_EQ(cosigned.out.rfind("signer 1\n", 0), 0U) << cosigned.out;
  EXPECT_EQ(cosigned.err, "signer 1: signature verifies, certificate and chain trusted\n");

  // A serial typed in lower case with colons; the signature read back from standard input.
  std::string typedSerial;
  for (const char c : marqen::test::hexOf(marqen::test::serialOf(signer))) {
    if (!typedSerial.empty() && typedSerial.size() % 3 == 2) typedSerial += ':';
    typedSerial += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  const auto raw =
      bash(R"("$MARQEN" rawsign --in - --der --issuer "$ISSUER" --serial "$SERIAL" < "$DOC" |)"
           R"( "$MARQEN" verify-raw --in "$DOC" --signature - --issuer "$ISSUER" --serial )" +
           typedSerial);
  EXPECT_EQ(raw.exitCode, 0) << raw.err;
  EXPECT_EQ(raw.out, "");
  EXPECT_EQ(raw.err, "raw signature verifies\n");

  const auto message = files.file("note.p7s");
  ASSERT_EQ(marqen(marqen::test::with({"sign", "--in", document, "--out", message},
                                      marqen::test::storeSigner(kIssuer, signer)))
                .exitCode,
            0);
  const auto wrongFile = files.file("wrong-password");
  writeFile(wrongFile, "not it\n");
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string firstLine;
  };
  const std::vector<Case> cases = {
      {{"countersign", "--in", message, "--signer", "0", "--pfx", pfx, "--password-file",
        wrongFile},
       1,
       "marqen: wrong password for the PFX file " + pfx + ", or the file is damaged"},
      {{"cosign", "--in", message, "--issuer", kIssuer, "--serial", "0a:0b"},
       1,
       "marqen: no certificate in MY has serial 0A0B and issuer \"" + std::string(kIssuer) +
           "\"; 'marqen certstore list --store MY' shows the serials and issuers there"},
      {{"cosign", "--in", files.path().string(), "--issuer", kIssuer, "--serial", "0a"},
       1,
       "marqen: the signed message " + files.path().string() + " (--in) is a folder"},
      {{"rawsign", "--in", document, "--issuer", kIssuer, "--serial", "xyz"},
       2,
       "marqen: --serial takes the serial number in hexadecimal, not 'xyz'"},
      {{"cosign", "--in", message, "--issuer", kIssuer, "--serial", "0a", "--signing-time",
        "yesterday"},
       2,
       "marqen: --signing-time takes Unix seconds or a UTC time such as 2026-01-31T12:00:00Z, "
       "not 'yesterday'"},
      {{"verify-raw", "--in", "-", "--signature", "-", "--cert", document},
       2,
       "marqen: standard input can feed only one of the options that read files"},
      {{"countersign", "--in", message, "--signer=0", "--signer=1", "--pfx", pfx},
       2,
       "marqen: option --signer given twice"},
  };
  for (const Case& c : cases) {
    const auto result = marqen(c.args);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.args[0] << ": " << result.err;
    EXPECT_EQ(result.err.substr(0, result.err.find('\n')), c.firstLine) << result.err;
  }
}

// The download code is a module beside the library, loaded when a CRL is first needed.
TEST_F(Shell, RevocationDownloadsNeedTheModuleBesideTheLibrary) {
  marqen::test::HttpTestServer server;
  server.serve("/root.crl", marqen::test::makeCrl(root));
  marqen::test::CertificateOptions options;
  options.subject = marqen::test::makeName({"CN=Revocable User", "O=Marqen Test"});
  options.issuer = &root;
  options.serial = {0x42};
  options.keyUsage = "critical,digitalSignature";
  options.crlDistributionPoints = {"URI:" + server.url("/root.crl")};
  const auto revocable = marqen::test::issueCertificate(std::move(options));
  marqen::test::addToStore(storeRoot.path(), "MY", "revocable", revocable, /*withKey=*/true);
  const std::vector<std::string> args = {"sign",     "--in",       document,
                                         "--issuer", kIssuer,      "--serial",
                                         "42",       "--validate", "--revocation-level=end"};

  const auto withModule = marqen(args);
  EXPECT_EQ(withModule.exitCode, 0) << withModule.err;
  EXPECT_EQ(server.hits("/root.crl"), 1);

  // The tool and the library alone in a folder: the download fails as a connection failure.
  marqen::test::TempDir alone;
  const fs::path built = fs::path(MARQEN_TOOL).parent_path();
  fs::copy_file(MARQEN_TOOL, alone.path() / "marqen");
  fs::copy_file(fs::canonical(built / "libMarqen_InterfaceV2.so.2"),
                alone.path() / "libMarqen_InterfaceV2.so.2");
  auto env = environment();
  const auto without = runProcess((alone.path() / "marqen").string(), args, env);
  EXPECT_EQ(without.exitCode, 1);
  EXPECT_NE(without.err.find("error 1508: "), std::string::npos) << without.err;
  EXPECT_EQ(server.hits("/root.crl"), 1);
  const std::string log = readFile((alone.path() / "Logs" / "logFile.txt").string());
  EXPECT_NE(log.find("the download module could not be loaded"), std::string::npos) << log;
  EXPECT_NE(log.find("libmarqen_net.so"), std::string::npos) << log;
}

}  // namespace
