// Cosigned, counter-signed and raw signatures across implementations: ours checked by the
// OpenSSL, GnuTLS and NSS command-line tools, theirs checked by our exports.

#include <gtest/gtest.h>

#include <openssl/pkcs7.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "Marqen_InterfaceV2.h"
#include "platform/crypto/openssl_ptr.h"
#include "tests/support/caller_input.h"
#include "tests/support/caller_result.h"
#include "tests/support/pki_builder.h"
#include "tests/support/process.h"
#include "tests/support/temp_cert_store.h"
#include "tests/support/temp_dir.h"

namespace {

namespace test = marqen::test;
using test::Bytes;
using test::Issued;
using Args = std::vector<std::string>;
using Result = test::CallerResult;
using test::inMemory;
using test::toBytes;
using Pkcs7Ptr = marqen::crypto::UniquePtr<PKCS7>;
using SignerInfoPtr = marqen::crypto::UniquePtr<PKCS7_SIGNER_INFO>;

constexpr const char* kOpenSsl = "/usr/bin/openssl";
constexpr const char* kCerttool = "/usr/bin/certtool";
constexpr const char* kCmsutil = "/usr/bin/cmsutil";
constexpr const char* kCertutil = "/usr/bin/certutil";

enum class Peer { OpenSsl, GnuTls, Nss };

class SignersInterop : public ::testing::Test {
 protected:
  test::TempCertStore store;
  test::TempDir dir;
  Issued root = test::makeRootCa("Signers Interop Root");
  Issued first = test::makeEndEntity("Interop First", root);
  Issued second = test::makeEndEntity("Interop Second", root);
  const Bytes content = toBytes("Interop content\r\nwith a last line and no line feed");
  test::StoreSigner firstLocator{u"CN=Signers Interop Root, O=Marqen Test", first};
  test::StoreSigner secondLocator{u"CN=Signers Interop Root, O=Marqen Test", second};

  void SetUp() override {
    store.add("MY", "first", first, true);
    store.add("MY", "second", second, true);
    store.add("ROOT", "root", root);
    test::writeFile(file("ca.pem"), root.pem());
    for (const auto& [name, issued] : {std::pair{"first", &first}, std::pair{"second", &second}}) {
      test::writeFile(file(std::string(name) + ".pem"), issued->pem());
      test::writeFile(file(std::string(name) + ".key"), issued->keyPem());
    }
    test::writeBytes(file("content.bin"), content);
  }

  std::string file(const std::string& name) const { return dir.file(name); }

  void run(const std::string& program, const Args& args) {
    const auto result = test::runProcess(program, args);
    ASSERT_EQ(result.exitCode, 0) << program << " " << args.at(0) << "\n"
                                  << result.out << result.err;
  }

  std::string nssDatabase() {
    const std::string folder = file("nss");
    if (!std::filesystem::exists(folder)) {
      std::filesystem::create_directory(folder);
      run(kCertutil, {"-N", "-d", "sql:" + folder, "--empty-password"});
      run(kCertutil,
          {"-A", "-d", "sql:" + folder, "-n", "ca", "-t", "C,C,C", "-i", file("ca.pem")});
    }
    return "sql:" + folder;
  }

  // Whether the peer verifies every one of `signers` signers of the DER message.
  bool peerVerifies(Peer peer, const Bytes& der, bool detached, int signers, std::string* log) {
    const std::string in = file("peer-in.p7");
    test::writeBytes(in, der);
    std::string program;
    Args args;
    std::map<std::string, std::string> environment;
    switch (peer) {
      case Peer::OpenSsl:  // checks every signer
        program = kOpenSsl;
        args = {"cms",     "-verify",      "-binary", "-inform",           "DER", "-in", in,
                "-CAfile", file("ca.pem"), "-out",    file("peer-out.bin")};
        if (detached) args.insert(args.end(), {"-content", file("content.bin")});
        break;
      case Peer::GnuTls:  // prints a status line per signer
        program = kCerttool;
        args = {"--p7-verify",
                "--verify-allow-broken",
                "--load-ca-certificate",
                file("ca.pem"),
                "--inder",
                "--infile",
                in};
        if (detached) args.insert(args.end(), {"--load-data", file("content.bin")});
        break;
      case Peer::Nss:
        program = kCmsutil;
        args = {"-D", "-d", nssDatabase(), "-i", in, "-o", file("peer-out.bin")};
        if (detached) args.insert(args.end(), {"-c", file("content.bin")});
        environment["NSS_ALLOW_WEAK_SIGNATURE_ALG"] = "1";
        break;
    }
    const auto result = test::runProcess(program, args, environment);
    const std::string output = result.out + result.err;
    *log = program + " exit " + std::to_string(result.exitCode) + "\n" + output;
    if (result.exitCode != 0) return false;
    if (peer == Peer::GnuTls) {
      int ok = 0;
      for (auto at = output.find("Signature status: ok"); at != std::string::npos;
           at = output.find("Signature status: ok", at + 1))
        ++ok;
      return ok == signers;
    }
    if (peer == Peer::Nss) return output.find("Bad") == std::string::npos;
    return true;
  }

  void expectPeersVerify(const Bytes& der, bool detached, int signers) {
    for (const Peer peer : {Peer::OpenSsl, Peer::GnuTls, Peer::Nss}) {
      std::string log;
      EXPECT_TRUE(peerVerifies(peer, der, detached, signers, &log)) << log;
    }
  }

  void signOurs(int32_t mode, Bytes* message) {
    DataBuffer input = inMemory(content);
    SignRequest r = test::signRequestFor(&input, &firstLocator.locator, mode, HASH_SHA256);
    Result result;
    ASSERT_EQ(sign(&r, &result.pointer), 0);
    *message = result.bytes();
  }

  void cosignOurs(const Bytes& message, int32_t hash, Bytes* cosigned) {
    DataBuffer input = inMemory(content);
    SignRequest r = test::signRequestFor(&input, &secondLocator.locator, SIGNATURE_ATTACHED, hash);
    const DataBuffer existing = inMemory(message);
    Result result;
    ASSERT_EQ(cosign(&r, &existing, &result.pointer), 0);
    *cosigned = result.bytes();
  }

  void countersignOurs(const Bytes& message, int32_t hash, Bytes* countersigned) {
    DataBuffer input = inMemory(content);
    RawSignRequest r = test::rawRequestFor(&input, &secondLocator.locator, hash);
    const DataBuffer existing = inMemory(message);
    Result result;
    ASSERT_EQ(countersign(&r, &existing, 0, &result.pointer), 0);
    *countersigned = result.bytes();
  }

  ErrorCode verifyOurs(const Bytes& message, int32_t index, bool detached) {
    DataBuffer signedData = inMemory(message);
    DataBuffer detachedContent = inMemory(content);
    const VerifySignedDataRequest request{detached ? &detachedContent : nullptr, &signedData};
    return verifySignedData(&request, index);
  }

  void signWithOpenSsl(bool attached, Bytes* message) {
    Args args = {"cms",    "-sign",   "-binary",         "-in",    file("content.bin"), "-md",
                 "sha256", "-signer", file("first.pem"), "-inkey", file("first.key"),   "-outform",
                 "DER",    "-out",    file("openssl.p7")};
    if (attached) args.push_back("-nodetach");
    ASSERT_NO_FATAL_FAILURE(run(kOpenSsl, args));
    *message = toBytes(test::readFile(file("openssl.p7")));
  }

  // openssl pkeyutl -verify of a PKCS#1 v1.5 signature over a digest, with a certificate's key.
  bool pkeyutlVerifies(const Bytes& digest, const Bytes& signature, const std::string& cert,
                       const std::string& md) {
    test::writeBytes(file("digest.bin"), digest);
    test::writeBytes(file("signature.bin"), signature);
    const auto result = test::runProcess(
        kOpenSsl, {"pkeyutl", "-verify", "-certin", "-inkey", cert, "-in", file("digest.bin"),
                   "-sigfile", file("signature.bin"), "-pkeyopt", "digest:" + md});
    return result.exitCode == 0;
  }
};

Bytes digestOf(const Bytes& data, const EVP_MD* md) {
  Bytes digest(EVP_MAX_MD_SIZE);
  unsigned int length = 0;
  EXPECT_EQ(EVP_Digest(data.data(), data.size(), digest.data(), &length, md, nullptr), 1);
  digest.resize(length);
  return digest;
}

TEST_F(SignersInterop, OurCosignedMessagesVerifyInEveryPeer) {
  for (const int32_t mode : {SIGNATURE_ATTACHED, SIGNATURE_DETACHED}) {
    for (const int32_t hash : {HASH_SHA1, HASH_SHA256, HASH_SHA512}) {
      SCOPED_TRACE(std::to_string(mode) + " hash " + std::to_string(hash));
      Bytes message;
      Bytes cosigned;
      ASSERT_NO_FATAL_FAILURE(signOurs(mode, &message));
      ASSERT_NO_FATAL_FAILURE(cosignOurs(message, hash, &cosigned));
      expectPeersVerify(cosigned, mode == SIGNATURE_DETACHED, 2);
    }
  }
}

// The peers check the second signer too: its signature changed, each refuses the message.
TEST_F(SignersInterop, EveryPeerRefusesACosignedMessageWithABadSecondSignature) {
  Bytes message;
  Bytes cosigned;
  ASSERT_NO_FATAL_FAILURE(signOurs(SIGNATURE_ATTACHED, &message));
  ASSERT_NO_FATAL_FAILURE(cosignOurs(message, HASH_SHA256, &cosigned));
  const unsigned char* p = cosigned.data();
  Pkcs7Ptr p7(d2i_PKCS7(nullptr, &p, static_cast<long>(cosigned.size())));
  ASSERT_NE(p7, nullptr);
  const ASN1_OCTET_STRING* value =
      sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(p7.get()), 1)->enc_digest;
  const auto at =
      std::search(cosigned.begin(), cosigned.end(), value->data, value->data + value->length);
  ASSERT_NE(at, cosigned.end());
  Bytes damaged = cosigned;
  damaged[static_cast<std::size_t>(at - cosigned.begin()) + 17] ^= 0x01;
  for (const Peer peer : {Peer::OpenSsl, Peer::GnuTls, Peer::Nss}) {
    std::string log;
    EXPECT_TRUE(peerVerifies(peer, cosigned, false, 2, &log)) << log;
    EXPECT_FALSE(peerVerifies(peer, damaged, false, 2, &log)) << log;
  }
  EXPECT_EQ(verifyOurs(damaged, 0, false), 0);
  EXPECT_EQ(verifyOurs(damaged, 1, false), MARQEN_E_VERIFICATION_FAILED);
}

TEST_F(SignersInterop, OpenSslMessagesCosignedHereVerifyInEveryPeer) {
  for (const bool attached : {true, false}) {
    SCOPED_TRACE(attached ? "attached" : "detached");
    Bytes message;
    Bytes cosigned;
    ASSERT_NO_FATAL_FAILURE(signWithOpenSsl(attached, &message));
    ASSERT_NO_FATAL_FAILURE(cosignOurs(message, HASH_SHA256, &cosigned));
    expectPeersVerify(cosigned, !attached, 2);
    for (const int32_t index : {0, 1})
      EXPECT_EQ(verifyOurs(cosigned, index, !attached), 0) << index;
  }
}

TEST_F(SignersInterop, MessageResignedByOpenSslVerifiesHereForBothSigners) {
  Bytes message;
  ASSERT_NO_FATAL_FAILURE(signOurs(SIGNATURE_ATTACHED, &message));
  test::writeBytes(file("ours.p7"), message);
  ASSERT_NO_FATAL_FAILURE(
      run(kOpenSsl, {"cms", "-resign", "-inform", "DER", "-in", file("ours.p7"), "-signer",
                     file("second.pem"), "-inkey", file("second.key"), "-md", "sha256", "-outform",
                     "DER", "-out", file("resigned.p7")}));
  const Bytes resigned = toBytes(test::readFile(file("resigned.p7")));
  for (const int32_t index : {0, 1})
    EXPECT_EQ(verifyOurs(resigned, index, false), 0) << index;
  EXPECT_EQ(verifyOurs(resigned, 2, false), MARQEN_E_SIGNER_INFO);
}

// The counter-signer's signature, taken out of the message with OpenSSL's PKCS#7 types, is a
// PKCS#1 v1.5 signature over the digest of the first signer's signature value.
TEST_F(SignersInterop, CounterSignatureVerifiesWithPkeyutlAndTheSignersStillVerify) {
  struct Case {
    int32_t hash;
    const EVP_MD* md;
    const char* name;
  };
  for (const Case c :
       {Case{HASH_SHA1, EVP_sha1(), "sha1"}, Case{HASH_SHA256, EVP_sha256(), "sha256"},
        Case{HASH_SHA384, EVP_sha384(), "sha384"}}) {
    SCOPED_TRACE(c.name);
    Bytes message;
    Bytes countersigned;
    ASSERT_NO_FATAL_FAILURE(signOurs(SIGNATURE_DETACHED, &message));
    ASSERT_NO_FATAL_FAILURE(countersignOurs(message, c.hash, &countersigned));
    expectPeersVerify(countersigned, true, 1);

    const unsigned char* p = countersigned.data();
    Pkcs7Ptr p7(d2i_PKCS7(nullptr, &p, static_cast<long>(countersigned.size())));
    ASSERT_NE(p7, nullptr);
    PKCS7_SIGNER_INFO* signer = sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(p7.get()), 0);
    ASSERT_NE(signer, nullptr);
    const ASN1_TYPE* attribute = PKCS7_get_attribute(signer, NID_pkcs9_countersignature);
    ASSERT_NE(attribute, nullptr);
    ASSERT_EQ(attribute->type, V_ASN1_SEQUENCE);
    const unsigned char* q = attribute->value.sequence->data;
    SignerInfoPtr counter(d2i_PKCS7_SIGNER_INFO(nullptr, &q, attribute->value.sequence->length));
    ASSERT_NE(counter, nullptr);
    EXPECT_EQ(counter->auth_attr, nullptr) << "no signed attributes";
    EXPECT_EQ(OBJ_obj2nid(counter->digest_alg->algorithm), EVP_MD_get_type(c.md));
    EXPECT_EQ(ASN1_INTEGER_cmp(counter->issuer_and_serial->serial,
                               X509_get0_serialNumber(second.certificate.get())),
              0);
    const Bytes signatureValue(signer->enc_digest->data,
                               signer->enc_digest->data + signer->enc_digest->length);
    const Bytes counterSignature(counter->enc_digest->data,
                                 counter->enc_digest->data + counter->enc_digest->length);
    const Bytes digest = digestOf(signatureValue, c.md);
    EXPECT_TRUE(pkeyutlVerifies(digest, counterSignature, file("second.pem"), c.name));
    Bytes otherDigest = digest;
    otherDigest[0] ^= 1;
    EXPECT_FALSE(pkeyutlVerifies(otherDigest, counterSignature, file("second.pem"), c.name));
  }
}

TEST_F(SignersInterop, RawSignaturesAgreeWithPkeyutlOnceReversed) {
  for (const auto& [hash, md, name] :
       {std::tuple{HASH_SHA1, EVP_sha1(), "sha1"}, std::tuple{HASH_MD5, EVP_md5(), "md5"},
        std::tuple{HASH_SHA256, EVP_sha256(), "sha256"}}) {
    SCOPED_TRACE(name);
    DataBuffer input = inMemory(content);
    RawSignRequest r = test::rawRequestFor(&input, &firstLocator.locator, hash);
    Result result;
    ASSERT_EQ(rawsign(&r, &result.pointer), 0);
    const Bytes ours = result.bytes();
    const Bytes digest = digestOf(content, md);
    EXPECT_TRUE(
        pkeyutlVerifies(digest, Bytes(ours.rbegin(), ours.rend()), file("first.pem"), name));
    EXPECT_FALSE(pkeyutlVerifies(digest, ours, file("first.pem"), name)) << "not reversed";

    test::writeBytes(file("digest.bin"), digest);
    ASSERT_NO_FATAL_FAILURE(
        run(kOpenSsl, {"pkeyutl", "-sign", "-inkey", file("first.key"), "-in", file("digest.bin"),
                       "-out", file("theirs.bin"), "-pkeyopt", std::string("digest:") + name}));
    const Bytes theirs = toBytes(test::readFile(file("theirs.bin")));
    EXPECT_EQ(Bytes(theirs.rbegin(), theirs.rend()), ours) << "PKCS #1 v1.5 is deterministic";
    const Bytes reversed(theirs.rbegin(), theirs.rend());
    DataBuffer signature = inMemory(reversed);
    const Bytes certificateDer = first.der();
    std::string certificate(certificateDer.begin(), certificateDer.end());
    RawVerifyRequest v{};
    v.content = &input;
    v.signature = &signature;
    v.certificateString = certificate.data();
    v.certificateStringLength = static_cast<int32_t>(certificate.size());
    v.hashAlgorithm = hash;
    v.certificateSource = SOURCE_CERT_STRING;
    EXPECT_EQ(verifyRawSignature(&v), 0);
  }
}

}  // namespace
