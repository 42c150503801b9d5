// Signed messages across implementations: ours checked by OpenSSL, GnuTLS and NSS command-line
// tools, theirs read and verified through our exports, and single flipped bytes refused by both.

#include <gtest/gtest.h>

#include <openssl/cms.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "Marqen_InterfaceV2.h"
#include "platform/crypto/openssl_ptr.h"
#include "platform/os/text.h"
#include "tests/support/caller_input.h"
#include "tests/support/caller_result.h"
#include "tests/support/pki_builder.h"
#include "tests/support/process.h"
#include "tests/support/temp_cert_store.h"
#include "tests/support/temp_dir.h"

namespace {

using marqen::test::Bytes;
using marqen::test::inMemory;
using marqen::test::Issued;
using marqen::test::ProcessResult;
using marqen::test::toBytes;
using Args = std::vector<std::string>;
using CmsPtr = marqen::crypto::UniquePtr<CMS_ContentInfo>;
using Pkcs7Ptr = marqen::crypto::UniquePtr<PKCS7>;

constexpr const char* kOpenSsl = "/usr/bin/openssl";
constexpr const char* kCerttool = "/usr/bin/certtool";
constexpr const char* kCmsutil = "/usr/bin/cmsutil";
constexpr const char* kCertutil = "/usr/bin/certutil";

constexpr const char* kDocumentNameOid = "1.3.6.1.4.1.311.88.2.1";
constexpr const char* kCommentsOid = "1.3.6.1.4.1.311.88.2.2";
// An OID under the enterprise number set aside for documentation (RFC 5612).
constexpr const char* kSequenceOid = "1.3.6.1.4.1.32473.1";

// ---------------------------------------------------------------------------------------------
// Bytes and files

std::string toText(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// Text lines around every byte value, zero and CR LF included, so that any text-mode handling
// or zero-termination on the way shows up as a changed digest.
Bytes makeContent() {
  Bytes bytes = toBytes("Marqen interop content: the quick brown fox jumps over the lazy dog.\r\n");
  for (int value = 0; value < 256; ++value)
    bytes.push_back(static_cast<unsigned char>(value));
  const Bytes tail = toBytes("\nLast line, without a line feed");
  bytes.insert(bytes.end(), tail.begin(), tail.end());
  return bytes;
}

Bytes readBytes(const std::string& path) {
  return toBytes(marqen::test::readFile(path));
}

constexpr const char* kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end = text.find('\n'); end != std::string::npos;
       start = end + 1, end = text.find('\n', start))
    lines.push_back(text.substr(start, end - start));
  lines.push_back(text.substr(start));
  return lines;
}

std::string commandLine(const std::string& program, const Args& args) {
  std::string text = program;
  for (const auto& arg : args)
    text += " " + arg;
  return text;
}

Bytes flipped(const Bytes& message, std::size_t offset) {
  Bytes copy = message;
  copy.at(offset) ^= 0x01;
  return copy;
}

// Offset of the only occurrence of `needle` in `haystack`; a second occurrence would make the
// flipped byte ambiguous, so it fails the test.
void findOnce(const Bytes& haystack, const unsigned char* needle, std::size_t length,
              std::size_t* offset) {
  const auto first = std::search(haystack.begin(), haystack.end(), needle, needle + length);
  ASSERT_NE(first, haystack.end()) << "field not found in the message";
  ASSERT_EQ(std::search(first + 1, haystack.end(), needle, needle + length), haystack.end())
      << "field found twice in the message";
  *offset = static_cast<std::size_t>(first - haystack.begin());
}

// Where the fields worth tampering with lie in a DER message, found through OpenSSL's CMS API.
struct Landmarks {
  std::size_t contentAt = 0;
  std::size_t contentLength = 0;  // 0: detached
  std::size_t signatureAt = 0;
  std::size_t signatureLength = 0;
  std::size_t digestAt = 0;
  std::size_t digestLength = 0;  // 0: no signed attributes
};

void locate(const Bytes& der, Landmarks* marks) {
  const unsigned char* p = der.data();
  CmsPtr cms(d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(der.size())));
  ASSERT_NE(cms, nullptr) << "OpenSSL cannot read the message";
  if (ASN1_OCTET_STRING** content = CMS_get0_content(cms.get()); content && *content) {
    ASSERT_NO_FATAL_FAILURE(findOnce(der, ASN1_STRING_get0_data(*content),
                                     static_cast<std::size_t>(ASN1_STRING_length(*content)),
                                     &marks->contentAt));
    marks->contentLength = static_cast<std::size_t>(ASN1_STRING_length(*content));
  }
  STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(cms.get());
  ASSERT_EQ(sk_CMS_SignerInfo_num(signers), 1);
  CMS_SignerInfo* signer = sk_CMS_SignerInfo_value(signers, 0);
  const ASN1_OCTET_STRING* signature = CMS_SignerInfo_get0_signature(signer);
  marks->signatureLength = static_cast<std::size_t>(ASN1_STRING_length(signature));
  ASSERT_NO_FATAL_FAILURE(
      findOnce(der, ASN1_STRING_get0_data(signature), marks->signatureLength, &marks->signatureAt));
  const auto* digest = static_cast<const ASN1_OCTET_STRING*>(CMS_signed_get0_data_by_OBJ(
      signer, OBJ_nid2obj(NID_pkcs9_messageDigest), -3, V_ASN1_OCTET_STRING));
  if (digest) {
    marks->digestLength = static_cast<std::size_t>(ASN1_STRING_length(digest));
    ASSERT_NO_FATAL_FAILURE(
        findOnce(der, ASN1_STRING_get0_data(digest), marks->digestLength, &marks->digestAt));
  }
}

std::string textOf(const ASN1_STRING* string) {
  const auto* data = reinterpret_cast<const char*>(ASN1_STRING_get0_data(string));
  return std::string(data, static_cast<std::size_t>(ASN1_STRING_length(string)));
}

// First, middle and last byte of a field.
std::vector<std::size_t> spread(std::size_t at, std::size_t length) {
  return {at, at + length / 2, at + length - 1};
}

// ---------------------------------------------------------------------------------------------
// Our exports, called the way a caller calls them

using Result = marqen::test::CallerResult;

std::string describe(ErrorCode code) {
  return std::to_string(code) + " " + getErrorMessage(code);
}

// The signer's `content` is given only for a detached message.
ErrorCode verifyOurs(const Bytes& message, const Bytes* detachedContent = nullptr) {
  DataBuffer signedData = inMemory(message);
  DataBuffer content = detachedContent ? inMemory(*detachedContent) : DataBuffer{};
  const VerifySignedDataRequest request{detachedContent ? &content : nullptr, &signedData};
  return verifySignedData(&request, 0);
}

struct Extracted {
  ErrorCode code = -1;
  Bytes content;
};

Extracted extractOurs(const Bytes& message) {
  const DataBuffer input = inMemory(message);
  Result result;
  Extracted extracted;
  extracted.code = getSignedContent(&input, nullptr, DATA_IN_MEMORY, &result.pointer);
  extracted.content = result.bytes();
  return extracted;
}

struct Attribute {
  const char* oid;
  std::string value;
  int32_t authenticationType;
  int32_t dataType;
};

// A document name and comments as a caller sets them, signed and unsigned, and a number.
const std::vector<Attribute>& callerAttributes() {
  static const std::vector<Attribute> attributes = {
      {kDocumentNameOid, "Vertrag \u00DCbersicht 2024.pdf", ATTR_AUTHENTICATED, ATTR_OCTET_STRING},
      {kCommentsOid, "Approved, with the changes of 3 May.", ATTR_AUTHENTICATED, ATTR_OCTET_STRING},
      {kSequenceOid, "7", ATTR_AUTHENTICATED, ATTR_INTEGER},
      {kCommentsOid, "Filed by the archive.", ATTR_UNAUTHENTICATED, ATTR_OCTET_STRING},
  };
  return attributes;
}

struct SignOptions {
  int32_t hash = HASH_SHA1;
  int32_t mode = SIGNATURE_ATTACHED;
  int32_t format = FORMAT_DER;
  bool fromPfx = false;
};

// Every hash a caller may ask for, with the digest a peer must find in the message.
struct HashCase {
  int32_t hash;
  int nid;
  const char* name;
};
constexpr HashCase kHashes[] = {{HASH_SHA1, NID_sha1, "SHA-1"},
                                {HASH_MD5, NID_md5, "MD5"},
                                {HASH_SHA256, NID_sha256, "SHA-256"},
                                {HASH_SHA384, NID_sha384, "SHA-384"},
                                {HASH_SHA512, NID_sha512, "SHA-512"}};

const HashCase& hashCase(int32_t hash) {
  for (const auto& c : kHashes)
    if (c.hash == hash) return c;
  throw std::invalid_argument("no such hash");
}

std::string describe(const SignOptions& options) {
  return std::string(hashCase(options.hash).name) +
         (options.mode == SIGNATURE_DETACHED ? ", detached" : ", attached") +
         (options.format == FORMAT_BASE64 ? ", Base64" : ", DER") +
         (options.fromPfx ? ", PFX signer" : ", store signer");
}

// ---------------------------------------------------------------------------------------------
// The fixture: a CA, a signer in the personal store (and in a PFX file), the content, and the
// peer tools run on files in a temporary folder.

enum class Peer { OpenSsl, GnuTls, Nss };

const char* peerName(Peer peer) {
  switch (peer) {
    case Peer::OpenSsl:
      return "OpenSSL cms";
    case Peer::GnuTls:
      return "GnuTLS certtool";
    case Peer::Nss:
      return "NSS cmsutil";
  }
  return "?";
}

struct Verdict {
  bool verified = false;
  Bytes content;    // what the peer handed back as the signed content, when it does
  std::string log;  // command line and output, for failure messages
};

class Interop : public ::testing::Test {
 protected:
  marqen::test::TempCertStore store;
  marqen::test::TempDir dir;
  Issued root = marqen::test::makeRootCa("Interop Root");
  Issued signer = marqen::test::makeEndEntity("Interop Signer", root);
  const Bytes content = makeContent();

  void SetUp() override {
    store.add("MY", "signer", signer, true);
    marqen::test::writeFile(file("ca.pem"), root.pem());
    marqen::test::writeFile(file("signer.pem"), signer.pem());
    marqen::test::writeFile(file("signer.key"), signer.keyPem());
    marqen::test::writeBytes(file("content.bin"), content);
    marqen::test::PfxOptions pfx;
    pfx.holder = &signer;
    pfx.caCerts = {&root};
    pfx.password = "pfx pass";
    marqen::test::writeBytes(file("signer.pfx"), marqen::test::makePfx(pfx));
  }

  std::string file(const std::string& name) const { return dir.file(name); }

  void run(const std::string& program, const Args& args,
           const std::map<std::string, std::string>& environment = {}) {
    const ProcessResult result = marqen::test::runProcess(program, args, environment);
    ASSERT_EQ(result.exitCode, 0) << commandLine(program, args) << "\n" << result.out << result.err;
  }

  // --- our signing ---

  void signOurs(const SignOptions& options, Bytes* message) {
    std::vector<SignedAttribute> records;
    for (const auto& attribute : callerAttributes())
      records.push_back(SignedAttribute{
          reinterpret_cast<unsigned char*>(const_cast<char*>(attribute.value.data())),
          static_cast<int32_t>(attribute.value.size()), const_cast<char*>(attribute.oid),
          attribute.authenticationType, attribute.dataType});
    std::vector<SignedAttribute*> pointers;
    for (auto& record : records)
      pointers.push_back(&record);

    const std::u16string issuer = u"CN=Interop Root, O=Marqen Test";
    const std::string serial = marqen::test::hexOf(marqen::test::serialOf(signer));
    const std::u16string pfxPath = marqen::os::toUtf16(file("signer.pfx"));
    const std::u16string pfxPassword = u"pfx pass";
    CertificateLocator locator{};
    if (options.fromPfx) {
      locator.pfxFilePath = const_cast<char16_t*>(pfxPath.c_str());
      locator.pfxPassword = const_cast<char16_t*>(pfxPassword.c_str());
      locator.locationType = LOCATION_PFX_FILE;
    } else {
      locator.issuerDN = const_cast<char16_t*>(issuer.c_str());
      locator.serialNumber = const_cast<char*>(serial.c_str());
      locator.locationType = LOCATION_STORE;
    }

    DataBuffer input = inMemory(content);
    SignRequest request =
        marqen::test::signRequestFor(&input, &locator, options.mode, options.hash);
    request.attributes = pointers.data();
    request.attributeCount = static_cast<int32_t>(pointers.size());
    request.signatureFormat = options.format;
    Result result;
    const ErrorCode code = sign(&request, &result.pointer);
    ASSERT_EQ(code, 0) << describe(code) << " (" << describe(options) << ")";
    *message = result.bytes();
    ASSERT_FALSE(message->empty());
  }

  // --- peers verifying a DER message ---

  // An NSS database in which the CA of `caFile` is trusted for every purpose, made once.
  std::string nssDatabase(const std::string& caFile) {
    const std::string folder = file("nss-" + caFile);
    if (!std::filesystem::exists(folder)) {
      std::filesystem::create_directory(folder);
      run(kCertutil, {"-N", "-d", "sql:" + folder, "--empty-password"});
      run(kCertutil,
          {"-A", "-d", "sql:" + folder, "-n", caFile, "-t", "C,C,C", "-i", file(caFile)});
    }
    return "sql:" + folder;
  }

  // Runs a peer's verification of the DER message, trusting the CA in `caFile`; a detached
  // message is checked against content.bin.
  Verdict peerVerifies(Peer peer, const Bytes& der, bool detached,
                       const std::string& caFile = "ca.pem") {
    const std::string in = file("peer-in.p7");
    const std::string out = file("peer-out.bin");
    marqen::test::writeBytes(in, der);
    std::filesystem::remove(out);
    std::string program;
    Args args;
    std::map<std::string, std::string> environment;
    switch (peer) {
      case Peer::OpenSsl:
        program = kOpenSsl;
        args = {"cms", "-verify", "-binary", "-inform", "DER", "-in", in};
        args.insert(args.end(), {"-CAfile", file(caFile), "-out", out});
        if (detached) args.insert(args.end(), {"-content", file("content.bin")});
        break;
      case Peer::GnuTls:
        program = kCerttool;
        // GnuTLS counts MD5 (and, under stricter system policies, SHA-1) as broken and refuses
        // such signatures unchecked; --verify-allow-broken has it check them instead.
        args = {"--p7-verify", "--verify-allow-broken", "--load-ca-certificate", file(caFile)};
        args.insert(args.end(), {"--inder", "--infile", in, "--outfile", out});
        if (detached)
          args.insert(args.end(), {"--load-data", file("content.bin")});
        else
          args.push_back("--p7-show-data");
        break;
      case Peer::Nss:
        program = kCmsutil;
        args = {"-D", "-d", nssDatabase(caFile), "-i", in, "-o", out};
        if (detached) args.insert(args.end(), {"-c", file("content.bin")});
        // NSS refuses MD5 in signatures by default; this switch of its environment lets it
        // check them.
        environment["NSS_ALLOW_WEAK_SIGNATURE_ALG"] = "1";
        break;
    }
    const ProcessResult result = marqen::test::runProcess(program, args, environment);
    Verdict verdict;
    verdict.log = commandLine(program, args) + "\nexit " + std::to_string(result.exitCode) + "\n" +
                  result.out + result.err;
    verdict.verified = result.exitCode == 0;
    // certtool prints its finding as a status line: require it, not just the exit code.
    if (peer == Peer::GnuTls)
      verdict.verified =
          verdict.verified &&
          (result.out + result.err).find("Signature status: ok") != std::string::npos;
    // GnuTLS writes a report rather than the content for a detached message.
    if (std::filesystem::exists(out) && !(peer == Peer::GnuTls && detached))
      verdict.content = readBytes(out);
    return verdict;
  }

  void expectPeerVerifies(Peer peer, const Bytes& der, bool detached) {
    const Verdict verdict = peerVerifies(peer, der, detached);
    EXPECT_TRUE(verdict.verified) << peerName(peer) << " refused our message:\n" << verdict.log;
    if (verdict.verified && !(peer == Peer::GnuTls && detached)) {
      EXPECT_EQ(verdict.content, content) << peerName(peer) << " gave other content";
    }
  }

  void expectPeerRefuses(Peer peer, const Bytes& der, bool detached, const std::string& why) {
    EXPECT_FALSE(peerVerifies(peer, der, detached).verified)
        << peerName(peer) << " accepted " << why;
  }

  // Our messages with every hash, attached and detached, verified by one peer.
  void expectPeerVerifiesEveryShape(Peer peer) {
    for (const auto& [hash, nid, name] : kHashes) {
      for (const int32_t mode : {SIGNATURE_ATTACHED, SIGNATURE_DETACHED}) {
        const SignOptions options{hash, mode, FORMAT_DER, false};
        SCOPED_TRACE(describe(options));
        Bytes message;
        ASSERT_NO_FATAL_FAILURE(signOurs(options, &message));
        expectPeerVerifies(peer, message, mode == SIGNATURE_DETACHED);
      }
    }
  }

  // --- peers signing ---

  void signWithOpenSsl(const std::string& digest, bool attached, bool signedAttributes,
                       const std::string& outform, Bytes* message) {
    Args args = {"cms", "-sign", "-binary", "-in", file("content.bin"), "-md", digest};
    args.insert(args.end(), {"-signer", file("signer.pem"), "-inkey", file("signer.key")});
    args.insert(args.end(), {"-outform", outform, "-out", file("openssl.p7")});
    if (attached) args.push_back("-nodetach");
    if (!signedAttributes) args.push_back("-noattr");
    ASSERT_NO_FATAL_FAILURE(run(kOpenSsl, args));
    *message = readBytes(file("openssl.p7"));
  }

  void signWithGnuTls(const Args& options, Bytes* message) {
    Args args = options;
    args.insert(args.end(),
                {"--load-privkey", file("signer.key"), "--load-certificate", file("signer.pem"),
                 "--infile", file("content.bin"), "--outder", "--outfile", file("gnutls.p7")});
    ASSERT_NO_FATAL_FAILURE(run(kCerttool, args));
    *message = readBytes(file("gnutls.p7"));
  }

  // Plain Base64 of a DER message as OpenSSL writes it: a line feed after every 64 characters,
  // no armour lines.
  void base64WithOpenSsl(const Bytes& der, Bytes* text) {
    marqen::test::writeBytes(file("to-base64.der"), der);
    ASSERT_NO_FATAL_FAILURE(
        run(kOpenSsl, {"base64", "-in", file("to-base64.der"), "-out", file("base64.txt")}));
    *text = readBytes(file("base64.txt"));
    ASSERT_EQ(toText(*text).find('-'), std::string::npos);
  }

  // --- ours reading and verifying a peer's message ---

  void expectOursAccept(const Bytes& message, bool attached) {
    const Extracted extracted = extractOurs(message);
    if (attached) {
      EXPECT_EQ(extracted.code, 0) << describe(extracted.code);
      EXPECT_EQ(extracted.content, content);
    } else {
      EXPECT_EQ(extracted.code, MARQEN_E_SIGNED_CONTENT_SIZE)
          << describe(extracted.code);  // nothing inside to return
    }
    const ErrorCode verified = verifyOurs(message, attached ? nullptr : &content);
    EXPECT_EQ(verified, 0) << describe(verified);
    if (!attached) {
      const Bytes otherContent = flipped(content, content.size() - 1);
      EXPECT_EQ(verifyOurs(message, &otherContent), MARQEN_E_VERIFICATION_FAILED);
    }
  }

  // One bit flipped in the first, middle and last byte of the content, of the signature value
  // and of the message-digest attribute: each must fail our verification with 1701.
  void expectOursRefuseFlips(const Bytes& der) {
    Landmarks marks;
    ASSERT_NO_FATAL_FAILURE(locate(der, &marks));
    const bool attached = marks.contentLength > 0;
    const Bytes* detachedContent = attached ? nullptr : &content;
    ASSERT_EQ(verifyOurs(der, detachedContent), 0) << "the untouched message must verify";
    std::vector<std::pair<std::string, std::size_t>> targets;
    for (const auto offset : spread(marks.signatureAt, marks.signatureLength))
      targets.emplace_back("signature", offset);
    if (attached)
      for (const auto offset : spread(marks.contentAt, marks.contentLength))
        targets.emplace_back("content", offset);
    if (marks.digestLength > 0)
      targets.emplace_back("message digest", marks.digestAt + marks.digestLength / 2);
    for (const auto& [field, offset] : targets) {
      const ErrorCode code = verifyOurs(flipped(der, offset), detachedContent);
      EXPECT_EQ(code, MARQEN_E_VERIFICATION_FAILED)
          << field << " byte at " << offset << ": " << describe(code);
    }
    if (!attached) {
      for (const auto offset : spread(0, content.size())) {
        const Bytes changed = flipped(content, offset);
        EXPECT_EQ(verifyOurs(der, &changed), MARQEN_E_VERIFICATION_FAILED)
            << "detached content byte " << offset;
      }
    }
  }
};

// ---------------------------------------------------------------------------------------------
// Our messages, verified by the peers

using OurMessages = Interop;

TEST_F(OurMessages, OpenSslVerifiesThemAndReturnsTheContent) {
  expectPeerVerifiesEveryShape(Peer::OpenSsl);
}

TEST_F(OurMessages, GnuTlsVerifiesThemAndReturnsTheContent) {
  expectPeerVerifiesEveryShape(Peer::GnuTls);
}

TEST_F(OurMessages, NssVerifiesThemAndReturnsTheContent) {
  expectPeerVerifiesEveryShape(Peer::Nss);
}

TEST_F(OurMessages, PfxSignerVerifiesInEveryPeer) {
  for (const int32_t mode : {SIGNATURE_ATTACHED, SIGNATURE_DETACHED}) {
    SCOPED_TRACE(mode == SIGNATURE_DETACHED ? "detached" : "attached");
    Bytes message;
    ASSERT_NO_FATAL_FAILURE(signOurs({HASH_SHA1, mode, FORMAT_DER, true}, &message));
    for (const Peer peer : {Peer::OpenSsl, Peer::GnuTls, Peer::Nss})
      expectPeerVerifies(peer, message, mode == SIGNATURE_DETACHED);
  }
}

TEST_F(OurMessages, Base64OutputIsPlainBase64OfAMessageThePeersVerify) {
  for (const int32_t mode : {SIGNATURE_ATTACHED, SIGNATURE_DETACHED}) {
    SCOPED_TRACE(mode == SIGNATURE_DETACHED ? "detached" : "attached");
    Bytes text;
    ASSERT_NO_FATAL_FAILURE(signOurs({HASH_SHA1, mode, FORMAT_BASE64, false}, &text));
    // Lines of 64 characters, each ended by a line feed; the last one may be shorter.
    const auto lines = splitLines(toText(text));
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (i + 1 < lines.size())
        EXPECT_EQ(lines[i].size(), 64u) << "line " << i;
      else
        EXPECT_LE(lines[i].size(), 64u) << "last line";
      EXPECT_EQ(lines[i].find_first_not_of(kBase64Alphabet), std::string::npos) << lines[i];
    }
    marqen::test::writeBytes(file("ours.b64"), text);
    ASSERT_NO_FATAL_FAILURE(
        run(kOpenSsl, {"base64", "-d", "-in", file("ours.b64"), "-out", file("ours.der")}));
    const Bytes der = readBytes(file("ours.der"));
    for (const Peer peer : {Peer::OpenSsl, Peer::GnuTls, Peer::Nss})
      expectPeerVerifies(peer, der, mode == SIGNATURE_DETACHED);
  }
}

// The fields a peer looks for, read back with OpenSSL's PKCS#7 API.
TEST_F(OurMessages, CarryTheFieldsPeersReadWithTheCallersAttributes) {
  for (const auto& [hash, nid, name] : kHashes) {
    SCOPED_TRACE(name);
    Bytes der;
    ASSERT_NO_FATAL_FAILURE(signOurs({hash, SIGNATURE_ATTACHED, FORMAT_DER, false}, &der));
    const unsigned char* p = der.data();
    Pkcs7Ptr p7(d2i_PKCS7(nullptr, &p, static_cast<long>(der.size())));
    ASSERT_NE(p7, nullptr);
    ASSERT_TRUE(PKCS7_type_is_signed(p7.get()));
    EXPECT_EQ(ASN1_INTEGER_get(p7->d.sign->version), 1);
    EXPECT_TRUE(PKCS7_type_is_data(p7->d.sign->contents));

    // The signer's certificate travels in the message.
    STACK_OF(X509)* certificates = p7->d.sign->cert;
    ASSERT_NE(certificates, nullptr);
    bool signerIncluded = false;
    for (int i = 0; i < sk_X509_num(certificates); ++i)
      signerIncluded =
          signerIncluded || X509_cmp(sk_X509_value(certificates, i), signer.certificate.get()) == 0;
    EXPECT_TRUE(signerIncluded);

    STACK_OF(PKCS7_SIGNER_INFO)* infos = PKCS7_get_signer_info(p7.get());
    ASSERT_EQ(sk_PKCS7_SIGNER_INFO_num(infos), 1);
    PKCS7_SIGNER_INFO* info = sk_PKCS7_SIGNER_INFO_value(infos, 0);
    EXPECT_EQ(ASN1_INTEGER_get(info->version), 1);
    EXPECT_EQ(X509_NAME_cmp(info->issuer_and_serial->issuer,
                            X509_get_issuer_name(signer.certificate.get())),
              0);
    EXPECT_EQ(ASN1_INTEGER_cmp(info->issuer_and_serial->serial,
                               X509_get0_serialNumber(signer.certificate.get())),
              0);
    EXPECT_EQ(OBJ_obj2nid(info->digest_alg->algorithm), nid);

    // Content type, message digest and signing time, then the caller's attributes.
    const ASN1_TYPE* contentType = PKCS7_get_signed_attribute(info, NID_pkcs9_contentType);
    ASSERT_NE(contentType, nullptr);
    ASSERT_EQ(contentType->type, V_ASN1_OBJECT);
    EXPECT_EQ(OBJ_obj2nid(contentType->value.object), NID_pkcs7_data);
    EXPECT_NE(PKCS7_digest_from_attributes(info->auth_attr), nullptr);
    EXPECT_NE(PKCS7_get_signed_attribute(info, NID_pkcs9_signingTime), nullptr);

    for (const auto& expected : callerAttributes()) {
      SCOPED_TRACE(std::string(expected.oid) + " " + expected.value);
      STACK_OF(X509_ATTRIBUTE)* list =
          expected.authenticationType == ATTR_AUTHENTICATED ? info->auth_attr : info->unauth_attr;
      marqen::crypto::Asn1ObjectPtr oid(OBJ_txt2obj(expected.oid, 1));
      ASSERT_NE(oid, nullptr);
      bool found = false;
      for (int at = X509at_get_attr_by_OBJ(list, oid.get(), -1); at >= 0 && !found;
           at = X509at_get_attr_by_OBJ(list, oid.get(), at)) {
        const ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(X509at_get_attr(list, at), 0);
        ASSERT_NE(value, nullptr);
        if (expected.dataType == ATTR_INTEGER)
          found = value->type == V_ASN1_INTEGER &&
                  ASN1_INTEGER_get(value->value.integer) == std::stol(expected.value);
        else
          found = value->type == V_ASN1_OCTET_STRING &&
                  textOf(value->value.octet_string) == expected.value;
      }
      EXPECT_TRUE(found);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// The peers' checks are real: each refuses what must not verify

using PeerChecks = Interop;

TEST_F(PeerChecks, EveryPeerRefusesOurMessagesWithAFlippedByte) {
  for (const int32_t hash : {HASH_SHA1, HASH_MD5}) {
    SCOPED_TRACE(hash == HASH_MD5 ? "MD5" : "SHA-1");
    Bytes attached;
    Bytes detached;
    ASSERT_NO_FATAL_FAILURE(signOurs({hash, SIGNATURE_ATTACHED, FORMAT_DER, false}, &attached));
    ASSERT_NO_FATAL_FAILURE(signOurs({hash, SIGNATURE_DETACHED, FORMAT_DER, false}, &detached));
    Landmarks marks;
    ASSERT_NO_FATAL_FAILURE(locate(attached, &marks));
    ASSERT_GT(marks.contentLength, 0u);
    const Bytes badContent = flipped(attached, marks.contentAt + marks.contentLength / 2);
    const Bytes badSignature = flipped(attached, marks.signatureAt + marks.signatureLength / 2);
    Landmarks detachedMarks;
    ASSERT_NO_FATAL_FAILURE(locate(detached, &detachedMarks));
    const Bytes badDetachedSignature = flipped(detached, detachedMarks.signatureAt);
    for (const Peer peer : {Peer::OpenSsl, Peer::GnuTls, Peer::Nss}) {
      // The same peer, the same invocation, accepts the untouched message.
      expectPeerVerifies(peer, attached, false);
      expectPeerRefuses(peer, badContent, false, "a changed content byte");
      expectPeerRefuses(peer, badSignature, false, "a changed signature byte");
      expectPeerRefuses(peer, badDetachedSignature, true, "a changed detached signature byte");
    }
  }
}

TEST_F(PeerChecks, PeersRefuseChangedDetachedContent) {
  Bytes detached;
  ASSERT_NO_FATAL_FAILURE(signOurs({HASH_SHA1, SIGNATURE_DETACHED, FORMAT_DER, false}, &detached));
  marqen::test::writeBytes(file("content.bin"), flipped(content, 0));
  for (const Peer peer : {Peer::OpenSsl, Peer::GnuTls, Peer::Nss})
    expectPeerRefuses(peer, detached, true, "changed detached content");
}

TEST_F(PeerChecks, EveryPeerRefusesASignerOutsideItsTrustedCa) {
  marqen::test::writeFile(file("stranger.pem"), marqen::test::makeRootCa("Stranger Root").pem());
  Bytes message;
  ASSERT_NO_FATAL_FAILURE(signOurs({HASH_SHA1, SIGNATURE_ATTACHED, FORMAT_DER, false}, &message));
  for (const Peer peer : {Peer::OpenSsl, Peer::GnuTls, Peer::Nss}) {
    expectPeerVerifies(peer, message, false);
    EXPECT_FALSE(peerVerifies(peer, message, false, "stranger.pem").verified)
        << peerName(peer) << " accepted a signer that no trusted CA issued";
  }
}

// ---------------------------------------------------------------------------------------------
// The peers' messages, read and verified by ours

using ForeignMessages = Interop;

// What openssl cms -sign is asked for: each digest, attached or detached, with signed
// attributes or -noattr.
struct OpenSslShape {
  const char* digest;
  bool attached;
  bool signedAttributes;

  std::string name() const {
    return std::string(digest) + (attached ? " attached" : " detached") +
           (signedAttributes ? "" : " -noattr");
  }
};

std::vector<OpenSslShape> openSslShapes() {
  std::vector<OpenSslShape> shapes;
  for (const char* digest : {"sha1", "sha256"})
    for (const bool attached : {true, false})
      for (const bool signedAttributes : {true, false})
        shapes.push_back({digest, attached, signedAttributes});
  return shapes;
}

TEST_F(ForeignMessages, FromOpenSslAreReadAndVerifiedAsDerAndAsBase64) {
  for (const OpenSslShape& shape : openSslShapes()) {
    SCOPED_TRACE(shape.name());
    Bytes der;
    ASSERT_NO_FATAL_FAILURE(
        signWithOpenSsl(shape.digest, shape.attached, shape.signedAttributes, "DER", &der));
    Bytes base64;
    ASSERT_NO_FATAL_FAILURE(base64WithOpenSsl(der, &base64));
    {
      SCOPED_TRACE("DER");
      expectOursAccept(der, shape.attached);
    }
    {
      SCOPED_TRACE("Base64");
      expectOursAccept(base64, shape.attached);
    }
  }
}

TEST_F(ForeignMessages, FromGnuTlsAreReadAndVerified) {
  struct Case {
    Args options;
    bool attached;
  };
  // certtool signs with SHA-256 and no signed attributes unless told otherwise; --p7-time adds
  // signed attributes (content type, signing time, message digest).
  const std::vector<Case> cases = {
      {{"--p7-sign"}, true},
      {{"--p7-sign", "--p7-time", "--hash", "SHA1"}, true},
      {{"--p7-detached-sign"}, false},
      {{"--p7-detached-sign", "--p7-time", "--hash", "SHA1"}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(commandLine("certtool", c.options));
    Bytes der;
    ASSERT_NO_FATAL_FAILURE(signWithGnuTls(c.options, &der));
    Bytes base64;
    ASSERT_NO_FATAL_FAILURE(base64WithOpenSsl(der, &base64));
    expectOursAccept(der, c.attached);
    expectOursAccept(base64, c.attached);
  }
}

// PEM armour is not Base64 to the library: the text is taken as DER and fails to decode.
TEST_F(ForeignMessages, PemArmourIsNotTakenForBase64) {
  Bytes pem;
  ASSERT_NO_FATAL_FAILURE(signWithOpenSsl("sha1", true, true, "PEM", &pem));
  ASSERT_EQ(toText(pem).rfind("-----BEGIN", 0), 0u);
  EXPECT_EQ(verifyOurs(pem), MARQEN_E_NOT_SIGNED_DATA);
  EXPECT_EQ(extractOurs(pem).code, MARQEN_E_MESSAGE_UPDATE);
}

// ---------------------------------------------------------------------------------------------
// The peers' messages with one flipped byte, refused by ours

using ForeignTampering = Interop;

TEST_F(ForeignTampering, OpenSslMessagesWithAFlippedByteFail) {
  for (const OpenSslShape& shape : openSslShapes()) {
    SCOPED_TRACE(shape.name());
    Bytes der;
    ASSERT_NO_FATAL_FAILURE(
        signWithOpenSsl(shape.digest, shape.attached, shape.signedAttributes, "DER", &der));
    expectOursRefuseFlips(der);
  }
}

TEST_F(ForeignTampering, GnuTlsMessagesWithAFlippedByteFail) {
  for (const Args& options : {Args{"--p7-sign"}, Args{"--p7-sign", "--p7-time"},
                              Args{"--p7-detached-sign", "--p7-time"}}) {
    SCOPED_TRACE(commandLine("certtool", options));
    Bytes der;
    ASSERT_NO_FATAL_FAILURE(signWithGnuTls(options, &der));
    expectOursRefuseFlips(der);
  }
}

// A flipped byte in Base64 text changes the decoded message the same way.
TEST_F(ForeignTampering, FlippedByteInBase64TextFails) {
  Bytes der;
  ASSERT_NO_FATAL_FAILURE(signWithOpenSsl("sha1", true, true, "DER", &der));
  Landmarks marks;
  ASSERT_NO_FATAL_FAILURE(locate(der, &marks));
  Bytes base64;
  ASSERT_NO_FATAL_FAILURE(base64WithOpenSsl(flipped(der, marks.signatureAt + 7), &base64));
  EXPECT_EQ(verifyOurs(base64), MARQEN_E_VERIFICATION_FAILED);
}

}  // namespace
