// Messages signed by the openssl and certtool commands, parsed by ours: the signers' fields
// agree with what `openssl cms -cmsout -print` shows of the same message.

#include <gtest/gtest.h>

#include <openssl/bn.h>
#include <openssl/crypto.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "Marqen_InterfaceV2.h"
#include "platform/os/text.h"
#include "tests/support/pki_builder.h"
#include "tests/support/process.h"
#include "tests/support/temp_cert_store.h"

namespace {

namespace test = marqen::test;
using Args = std::vector<std::string>;

constexpr const char* kOpenSsl = "/usr/bin/openssl";
constexpr const char* kCerttool = "/usr/bin/certtool";

// One signer as `openssl cms -cmsout -print` shows it.
struct PrintedSigner {
  std::string issuer;  // in the printed (encoded) order
  std::string serial;  // hexadecimal, without leading zero bytes
  std::optional<std::int64_t> signingTime;
};

std::string trimmed(const std::string& line) {
  const auto start = line.find_first_not_of(' ');
  return start == std::string::npos ? std::string() : line.substr(start);
}

// openssl prints a serial in hexadecimal after "0x", or in decimal when it fits 128 bits.
std::string hexSerial(const std::string& printed) {
  if (printed.rfind("0x", 0) == 0) return printed.substr(2);
  BIGNUM* number = nullptr;
  if (BN_dec2bn(&number, printed.c_str()) == 0) return "?";
  char* hex = BN_bn2hex(number);
  std::string text = hex;
  OPENSSL_free(hex);
  BN_free(number);
  return text;
}

std::vector<PrintedSigner> printedSigners(const std::string& print) {
  std::vector<PrintedSigner> signers;
  std::istringstream lines(print.substr(print.find("signerInfos:")));
  std::string line;
  bool timeFollows = false;
  while (std::getline(lines, line)) {
    const std::string text = trimmed(line);
    if (text.rfind("d.issuerAndSerialNumber:", 0) == 0) signers.emplace_back();
    if (signers.empty()) continue;
    if (text.rfind("issuer: ", 0) == 0) signers.back().issuer = text.substr(8);
    if (text.rfind("serialNumber: ", 0) == 0) signers.back().serial = hexSerial(text.substr(14));
    if (timeFollows && text.rfind("UTCTIME:", 0) == 0) {
      std::tm parts{};
      ::strptime(text.c_str() + 8, "%b %d %H:%M:%S %Y GMT", &parts);
      signers.back().signingTime = ::timegm(&parts);
      timeFollows = false;
    }
    if (text.rfind("object: signingTime", 0) == 0) timeFollows = true;
  }
  return signers;
}

// The library's issuer text names the attributes the other way round.
std::string reversedName(const std::string& name) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t comma; (comma = name.find(", ", start)) != std::string::npos; start = comma + 2)
    parts.push_back(name.substr(start, comma - start));
  parts.push_back(name.substr(start));
  std::reverse(parts.begin(), parts.end());
  std::string joined;
  for (const auto& part : parts)
    joined += (joined.empty() ? "" : ", ") + part;
  return joined;
}

std::string withoutLeadingZeros(std::string hex) {
  while (hex.size() > 2 && hex.rfind("00", 0) == 0)
    hex.erase(0, 2);
  return hex;
}

struct Parsed {
  SignedDataInfo record{};
  SignedDataInfo* pointer = &record;
  ~Parsed() {
    for (int32_t i = 0; record.signers && i < record.signerCount; ++i) {
      SignerDetails* d = record.signers[i];
      if (!d) continue;
      for (int32_t a = 0; a < d->attributeCount; ++a) {
        std::free(d->attributes[a]->value);
        std::free(d->attributes[a]->oid);
        std::free(d->attributes[a]);
      }
      std::free(static_cast<void*>(d->attributes));
      for (void* p :
           {static_cast<void*>(d->issuerCertificate), static_cast<void*>(d->authorityInfoAccessUrl),
            static_cast<void*>(d->signerCertificate), static_cast<void*>(d->subjectDN),
            static_cast<void*>(d->issuerDN), static_cast<void*>(d->serialNumber)})
        std::free(p);
      std::free(d);
    }
    std::free(static_cast<void*>(record.signers));
  }
};

class ParsedPeerMessages : public ::testing::Test {
 protected:
  test::TempCertStore store;
  test::TempDir dir;
  test::Issued root = test::makeRootCa("Parse Interop Root");
  test::Issued first = makeSigner("First Peer Signer");
  test::Issued second = makeSigner("Second Peer Signer");

  test::Issued makeSigner(const std::string& name) {
    test::CertificateOptions options;
    options.subject = test::makeName({"O=Marqen Test", "CN=" + name});
    options.issuer = &root;
    options.keyUsage = "critical,digitalSignature";
    options.authorityInfoAccess = {"caIssuers;URI:http://peer.example.test/root.cer"};
    return test::issueCertificate(std::move(options));
  }

  void SetUp() override {
    store.add("ROOT", "root", root);
    for (const auto& [issued, name] : {std::pair{&first, "first"}, std::pair{&second, "second"}}) {
      test::writeFile(dir.file(std::string(name) + ".pem"), issued->pem());
      test::writeFile(dir.file(std::string(name) + ".key"), issued->keyPem());
    }
    test::writeFile(dir.file("content.txt"), "Peer content to be signed.\n");
  }

  std::string sign(const std::string& program, Args args) {
    const std::string out = dir.file("peer.p7");
    const Args files =
        program == kOpenSsl
            ? Args{"-in", dir.file("content.txt"), "-outform", "DER", "-out", out}
            : Args{"--infile", dir.file("content.txt"), "--outder", "--outfile", out};
    args.insert(args.end(), files.begin(), files.end());
    const auto made = test::runProcess(program, args);
    EXPECT_EQ(made.exitCode, 0) << made.out << made.err;
    return out;
  }

  // Parses the message and compares every signer with openssl's print of it.
  void expectAgreement(const std::string& file, const std::vector<bool>& present) {
    const std::string bytes = test::readFile(file);
    DataBuffer input{nullptr, reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.data())),
                     static_cast<int32_t>(bytes.size()), DATA_IN_MEMORY};
    Parsed parsed;
    ASSERT_EQ(parseSignedData(&input, &parsed.pointer), 0);
    const auto print =
        test::runProcess(kOpenSsl, {"cms", "-cmsout", "-print", "-inform", "DER", "-in", file});
    ASSERT_EQ(print.exitCode, 0) << print.err;
    const auto printed = printedSigners(print.out);
    ASSERT_EQ(parsed.record.signerCount, static_cast<int32_t>(printed.size()));
    ASSERT_EQ(printed.size(), present.size());
    for (std::size_t i = 0; i < printed.size(); ++i) {
      SCOPED_TRACE("signer " + std::to_string(i));
      const SignerDetails* d = parsed.record.signers[i];
      ASSERT_EQ(d != nullptr, present[i]);
      if (!d) continue;
      EXPECT_EQ(withoutLeadingZeros(d->serialNumber), printed[i].serial);
      EXPECT_EQ(marqen::os::toUtf8(d->issuerDN), reversedName(printed[i].issuer));
      EXPECT_EQ(marqen::os::toUtf8(d->authorityInfoAccessUrl), "http://peer.example.test/root.cer");
      EXPECT_NE(d->issuerCertificate, nullptr);
      std::optional<std::int64_t> signingTime;
      for (int32_t a = 0; a < d->attributeCount; ++a) {
        // Content type, message digest, S/MIME capabilities and receipt requests are not read.
        EXPECT_STREQ(d->attributes[a]->oid, "1.2.840.113549.1.9.5");
        signingTime = std::atoll(reinterpret_cast<const char*>(d->attributes[a]->value));
      }
      EXPECT_EQ(signingTime, printed[i].signingTime);
    }
  }
};

TEST_F(ParsedPeerMessages, FromOpenSslCmsSign) {
  const Args one = {
      "cms", "-sign", "-binary", "-signer", dir.file("first.pem"), "-inkey", dir.file("first.key")};
  const Args two = {"cms",
                    "-sign",
                    "-binary",
                    "-signer",
                    dir.file("first.pem"),
                    "-inkey",
                    dir.file("first.key"),
                    "-signer",
                    dir.file("second.pem"),
                    "-inkey",
                    dir.file("second.key")};
  struct Case {
    const char* name;
    Args args;
    std::vector<bool> present;
  };
  const std::vector<Case> cases = {
      {"one signer, attached",
       [&] {
         Args a = one;
         a.push_back("-nodetach");
         return a;
       }(),
       {true}},
      {"two signers, detached", two, {true, true}},
      {"without certificates",
       [&] {
         Args a = one;
         a.push_back("-nocerts");
         return a;
       }(),
       {false}},
      {"extra signed attributes",
       [&] {
         Args a = one;
         a.insert(a.end(), {"-receipt_request_all", "-receipt_request_to", "peer@example.test"});
         return a;
       }(),
       {true}},
      {"no signed attributes",
       [&] {
         Args a = one;
         a.push_back("-noattr");
         return a;
       }(),
       {true}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    expectAgreement(sign(kOpenSsl, c.args), c.present);
  }
}

TEST_F(ParsedPeerMessages, FromCerttoolP7Sign) {
  for (const Args& options : {Args{"--p7-sign"}, Args{"--p7-sign", "--p7-time"},
                              Args{"--p7-detached-sign", "--p7-time"}}) {
    Args args = options;
    args.insert(args.end(), {"--load-privkey", dir.file("first.key"), "--load-certificate",
                             dir.file("first.pem")});
    SCOPED_TRACE(args[0] + (args[1] == "--p7-time" ? " --p7-time" : ""));
    expectAgreement(sign(kCerttool, args), {true});
  }
}

}  // namespace
