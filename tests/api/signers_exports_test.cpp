// cosign, countersign, rawsign and their verification, called as a caller calls them.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <openssl/cms.h>
#include <openssl/pkcs7.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <variant>

#include "Marqen_InterfaceV2.h"
#include "platform/crypto/counter_signature.h"
#include "platform/crypto/raw_signature.h"
#include "platform/crypto/signed_message.h"
#include "platform/os/text.h"
#include "tests/support/caller_input.h"
#include "tests/support/caller_result.h"
#include "tests/support/pki_builder.h"
#include "tests/support/temp_cert_store.h"

namespace {

namespace crypto = marqen::crypto;
namespace test = marqen::test;
using test::Bytes;
using test::Issued;
using Result = test::CallerResult;
using test::inMemory;
using test::StoreSigner;
using test::toBytes;

class SignersExports : public ::testing::Test {
 protected:
  test::TempCertStore store;
  test::TempDir dir;
  Issued root = test::makeRootCa("Signers Root");
  Issued first = test::makeEndEntity("First Signer", root);
  Issued second = test::makeEndEntity("Second Signer", root);
  StoreSigner firstLocator{u"CN=Signers Root, O=Marqen Test", first};
  StoreSigner secondLocator{u"CN=Signers Root, O=Marqen Test", second};
  const Bytes content = toBytes("Minutes of the board meeting, 4 March.\n");
  DataBuffer contentBuffer = inMemory(content);

  void SetUp() override {
    store.add("ROOT", "root", root);
    store.add("MY", "first", first, true);
    store.add("MY", "second", second, true);
    const char16_t* ours[] = {u"Signers Root"};
    ASSERT_EQ(setTrustedCANames(ours, 1), 0);
  }

  SignRequest signRequest(CertificateLocator* locator, int32_t mode) {
    return test::signRequestFor(&contentBuffer, locator, mode);
  }
  RawSignRequest rawRequest(CertificateLocator* locator) {
    return test::rawRequestFor(&contentBuffer, locator);
  }

  Bytes signedByFirst(int32_t mode) {
    SignRequest r = signRequest(&firstLocator.locator, mode);
    Result result;
    EXPECT_EQ(sign(&r, &result.pointer), 0);
    return result.bytes();
  }
  ErrorCode cosignInto(const Bytes& message, SignRequest& r, Result& result) {
    const DataBuffer input = inMemory(message);
    return cosign(&r, &input, &result.pointer);
  }
  Bytes cosignedBySecond(const Bytes& message, int32_t hash = HASH_SHA1) {
    SignRequest r = signRequest(&secondLocator.locator, SIGNATURE_ATTACHED);
    r.hashAlgorithm = hash;
    Result result;
    EXPECT_EQ(cosignInto(message, r, result), 0);
    return result.bytes();
  }
  ErrorCode countersignInto(const Bytes& message, int32_t index, RawSignRequest& r,
                            Result& result) {
    const DataBuffer input = inMemory(message);
    return countersign(&r, &input, index, &result.pointer);
  }
  Bytes counterSignedBySecond(const Bytes& message, int32_t index = 0) {
    RawSignRequest r = rawRequest(&secondLocator.locator);
    Result result;
    EXPECT_EQ(countersignInto(message, index, r, result), 0);
    return result.bytes();
  }
  ErrorCode verifyMessage(const Bytes& message, int32_t index, const Bytes* detached = nullptr) {
    DataBuffer signedData = inMemory(message);
    DataBuffer detachedBuffer = detached ? inMemory(*detached) : DataBuffer{};
    const VerifySignedDataRequest request{detached ? &detachedBuffer : nullptr, &signedData};
    return verifySignedData(&request, index);
  }
  ErrorCode verifyCounter(const Bytes& message, int32_t index, const std::string* certificate,
                          int32_t storeType = STORE_PERSONAL) {
    DataBuffer signedData = inMemory(message);
    CounterSignatureVerifyRequest request{
        &signedData,
        0,
        index,
        const_cast<char*>(certificate ? certificate->data() : nullptr),
        certificate ? static_cast<int32_t>(certificate->size()) : 0,
        storeType,
        REVOCATION_OFFLINE,
        REVOCATION_NONE};
    return verifyCounterSignature(&request);
  }
  // A verification request with the certificate given as a string.
  struct RawVerify {
    DataBuffer contentBuffer{};
    DataBuffer signatureBuffer{};
    Bytes signatureBytes;
    std::string certificate;
    RawVerifyRequest request{};
  };
  void rawVerifyRequest(RawVerify& v, const Bytes& signature, const Issued& by) {
    v.contentBuffer = inMemory(content);
    v.signatureBytes = signature;
    v.signatureBuffer = inMemory(v.signatureBytes);
    const Bytes der = by.der();
    v.certificate.assign(der.begin(), der.end());
    v.request = RawVerifyRequest{};
    v.request.content = &v.contentBuffer;
    v.request.signature = &v.signatureBuffer;
    v.request.certificateString = v.certificate.data();
    v.request.certificateStringLength = static_cast<int32_t>(v.certificate.size());
    v.request.hashAlgorithm = HASH_SHA1;
    v.request.certificateSource = SOURCE_CERT_STRING;
    v.request.revocationMode = REVOCATION_OFFLINE;
    v.request.revocationLevel = REVOCATION_NONE;
  }
  using Step = std::pair<ErrorCode, std::function<void()>>;
  // `call` gives each step's code until the step mends its field: the checks run in this order.
  static void expectChecksInOrder(const std::function<ErrorCode()>& call,
                                  const std::vector<Step>& steps) {
    for (std::size_t i = 0; i < steps.size(); ++i) {
      EXPECT_EQ(call(), steps[i].first) << "step " << i;
      steps[i].second();
    }
  }
  // Every field of a RawSignRequest broken, and the steps that mend them one by one.
  static std::vector<Step> brokenRawRequest(RawSignRequest& q, CertificateLocator* signer,
                                            int32_t hash) {
    q.outputKind = DATA_IN_FILE;
    q.signerLocator = nullptr;
    q.hashAlgorithm = 2;
    q.validateCertificate = 2;
    q.askPinAlways = 2;
    q.signatureFormat = 0;
    return {
        {MARQEN_E_INVALID_OUTPUT_PATH, [&q] { q.outputKind = 3; }},
        {MARQEN_E_MISSING_ARGUMENT, [&q, signer] { q.signerLocator = signer; }},
        {MARQEN_E_INVALID_HASH_ALGORITHM, [&q, hash] { q.hashAlgorithm = hash; }},
        {MARQEN_E_INVALID_DESTINATION_TYPE, [&q] { q.outputKind = DATA_IN_MEMORY; }},
        {MARQEN_E_INVALID_VALIDATE_FLAG, [&q] { q.validateCertificate = 0; }},
        {MARQEN_E_INVALID_ASK_PIN_FLAG, [&q] { q.askPinAlways = 0; }},
        {MARQEN_E_INVALID_SIGNATURE_FORMAT, [&q] { q.signatureFormat = FORMAT_BASE64; }},
    };
  }
  std::string derText(const Issued& issued) {
    const Bytes der = issued.der();
    return std::string(der.begin(), der.end());
  }
};

crypto::SignedMessage decoded(const Bytes& der) {
  auto message = crypto::SignedMessage::decode(der);
  EXPECT_TRUE(message.has_value());
  return std::move(*message);
}

// ---------------------------------------------------------------------------------------------
// cosign

TEST_F(SignersExports, CosignKeepsTheFormAndEverySignerVerifies) {
  struct Case {
    int32_t mode;
    int32_t hash;
  };
  for (const Case c : {Case{SIGNATURE_ATTACHED, HASH_SHA1}, Case{SIGNATURE_ATTACHED, HASH_SHA256},
                       Case{SIGNATURE_DETACHED, HASH_MD5}, Case{SIGNATURE_DETACHED, HASH_SHA512}}) {
    SCOPED_TRACE(std::to_string(c.mode) + " hash " + std::to_string(c.hash));
    const Bytes original = signedByFirst(c.mode);
    SignRequest r = signRequest(&secondLocator.locator, 7);  // signatureMode is not read
    r.hashAlgorithm = c.hash;
    Result result;
    ASSERT_EQ(cosignInto(original, r, result), 0);
    const Bytes cosigned = result.bytes();
    const auto message = decoded(cosigned);
    ASSERT_EQ(message.signerCount(), 2);
    EXPECT_EQ(message.certificates().size(), 2u);
    ASSERT_TRUE(message.signerCertificate(1).has_value());
    EXPECT_TRUE(message.signerCertificate(1)->sameAs(test::certificateOf(second)))
        << "the new signer follows the existing ones";
    const bool detached = c.mode == SIGNATURE_DETACHED;
    EXPECT_EQ(message.content().has_value(), !detached);
    for (const int32_t index : {0, 1})
      EXPECT_EQ(verifyMessage(cosigned, index, detached ? &content : nullptr), 0) << index;
    if (detached) {
      const Bytes other = toBytes("other");
      EXPECT_EQ(verifyMessage(cosigned, 1, &other), MARQEN_E_VERIFICATION_FAILED);
    }
  }
}

TEST_F(SignersExports, CosignAddsNoSecondCopyOfACertificateAndTakesBase64) {
  const Bytes original = signedByFirst(SIGNATURE_ATTACHED);
  SignRequest r = signRequest(&firstLocator.locator, SIGNATURE_ATTACHED);
  r.signatureFormat = FORMAT_BASE64;
  Result result;
  ASSERT_EQ(cosignInto(original, r, result), 0);
  std::string text(result.record.data, result.record.data + result.record.length);
  ASSERT_NE(text.find('\n'), std::string::npos);
  std::replace(text.begin(), text.end(), '\n', ' ');  // not Base64 any more: refused
  EXPECT_EQ(cosignInto(toBytes(text), r, result), MARQEN_E_NOT_SIGNED_DATA);
  std::string crlf;
  for (const char c : std::string(result.record.data, result.record.data + result.record.length))
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  r.signatureFormat = FORMAT_DER;
  Result again;
  ASSERT_EQ(cosignInto(toBytes(crlf), r, again), 0);
  const auto message = decoded(again.bytes());
  EXPECT_EQ(message.signerCount(), 3);
  EXPECT_EQ(message.certificates().size(), 1u);
  for (const int32_t index : {0, 1, 2})
    EXPECT_EQ(verifyMessage(again.bytes(), index), 0);
}

TEST_F(SignersExports, CosignChecksInOrder) {
  const Bytes original = signedByFirst(SIGNATURE_DETACHED);
  SignRequest q = signRequest(&secondLocator.locator, SIGNATURE_ATTACHED);
  Result result;
  EXPECT_EQ(cosign(&q, nullptr, &result.pointer), MARQEN_E_INVALID_SIGNED_DATA);
  const Bytes notSigned = toBytes("plain text, no message");
  EXPECT_EQ(cosignInto(notSigned, q, result), MARQEN_E_NOT_SIGNED_DATA);
  const DataBuffer input = inMemory(original);
  EXPECT_EQ(cosign(nullptr, &input, &result.pointer), MARQEN_E_MISSING_ARGUMENT);
  DataBuffer emptyInput{nullptr, const_cast<unsigned char*>(original.data()), 0, DATA_IN_MEMORY};
  EXPECT_EQ(cosign(&q, &emptyInput, &result.pointer), MARQEN_E_INVALID_INPUT_LENGTH);
  // Every field broken, mended one by one in the documented order.
  q.outputKind = DATA_IN_FILE;
  q.signerLocator = nullptr;
  q.hashAlgorithm = 2;
  q.signingAlgorithm = 0;
  q.validateCertificate = 2;
  q.askPinAlways = 2;
  q.signatureFormat = 0;
  q.attributeCount = -1;
  expectChecksInOrder(
      [&] { return cosign(&q, &input, nullptr); },
      {
          {MARQEN_E_INVALID_OUTPUT_PATH, [&] { q.outputKind = 3; }},
          {MARQEN_E_MISSING_ARGUMENT, [&] { q.signerLocator = &secondLocator.locator; }},
          {MARQEN_E_INVALID_HASH_ALGORITHM, [&] { q.hashAlgorithm = HASH_SHA384; }},
          {MARQEN_E_INVALID_SIGNING_ALGORITHM, [&] { q.signingAlgorithm = SIGNING_RSA; }},
          {MARQEN_E_INVALID_DESTINATION_TYPE, [&] { q.outputKind = DATA_IN_MEMORY; }},
          {MARQEN_E_INVALID_VALIDATE_FLAG, [&] { q.validateCertificate = 0; }},
          {MARQEN_E_INVALID_ASK_PIN_FLAG, [&] { q.askPinAlways = 0; }},
          {MARQEN_E_INVALID_SIGNATURE_FORMAT, [&] { q.signatureFormat = FORMAT_DER; }},
          {MARQEN_E_INVALID_ATTRIBUTE_COUNT, [&] { q.attributeCount = 0; }},
      });
  EXPECT_EQ(cosign(&q, &input, nullptr), MARQEN_E_NULL_OUTPUT);
  q.content = nullptr;
  EXPECT_EQ(cosign(&q, &input, &result.pointer), MARQEN_E_DETACHED_DATA_MISSING);
  DataBuffer noData{nullptr, nullptr, 5, DATA_IN_MEMORY};
  q.content = &noData;
  EXPECT_EQ(cosign(&q, &input, &result.pointer), MARQEN_E_DETACHED_DATA_MISSING);
  q.content = &contentBuffer;
  secondLocator.serial = "00";
  secondLocator.locator.serialNumber = secondLocator.serial.data();
  EXPECT_EQ(cosign(&q, &input, &result.pointer), MARQEN_E_CERT_CONTEXT);
}

// ---------------------------------------------------------------------------------------------
// countersign and verifyCounterSignature

TEST_F(SignersExports, CounterSignatureVerifiesByStringAndByStoreAndLeavesTheSignerIntact) {
  for (const int32_t mode : {SIGNATURE_ATTACHED, SIGNATURE_DETACHED}) {
    SCOPED_TRACE(mode);
    const bool detached = mode == SIGNATURE_DETACHED;
    const Bytes original = signedByFirst(mode);
    RawSignRequest r = rawRequest(&secondLocator.locator);
    r.hashAlgorithm = HASH_SHA256;
    Result result;
    ASSERT_EQ(countersignInto(original, 0, r, result), 0);
    const Bytes countersigned = result.bytes();
    const auto message = decoded(countersigned);
    EXPECT_EQ(message.content().has_value(), !detached);
    EXPECT_EQ(verifyMessage(countersigned, 0, detached ? &content : nullptr), 0);
    const std::string secondDer = derText(second);
    EXPECT_EQ(verifyCounter(countersigned, 0, &secondDer), 0);
    EXPECT_EQ(verifyCounter(countersigned, 0, nullptr, STORE_PERSONAL), 0);
    EXPECT_EQ(verifyCounter(countersigned, 0, nullptr, STORE_OTHER_PEOPLE), MARQEN_E_CERT_CONTEXT);
    EXPECT_EQ(verifyCounter(countersigned, 0, nullptr, 0), MARQEN_E_INVALID_STORE_TYPE);
    const std::string firstDer = derText(first);
    EXPECT_EQ(verifyCounter(countersigned, 0, &firstDer), MARQEN_E_COUNTER_SIGNER_MISMATCH)
        << "same issuer, other serial";
    EXPECT_EQ(verifyCounter(original, 0, &secondDer), MARQEN_E_NOT_COUNTER_SIGNED);

    std::string base64(4 * ((countersigned.size() + 2) / 3) + 1, '\0');
    base64.resize(static_cast<std::size_t>(
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(base64.data()), countersigned.data(),
                        static_cast<int>(countersigned.size()))));
    EXPECT_EQ(verifyCounter(toBytes(base64), 0, &secondDer), 0);
  }
}

TEST_F(SignersExports, CounterSignatureOfOneSignerOnly) {
  const Bytes twoSigners = cosignedBySecond(signedByFirst(SIGNATURE_ATTACHED));
  const Bytes countersigned = counterSignedBySecond(twoSigners, 0);
  const std::string secondDer = derText(second);
  EXPECT_EQ(verifyCounter(countersigned, 0, &secondDer), 0);
  EXPECT_EQ(verifyCounter(countersigned, 1, &secondDer), MARQEN_E_NOT_COUNTER_SIGNED);
  EXPECT_EQ(verifyCounter(countersigned, 2, &secondDer), MARQEN_E_SIGNER_INFO);
  for (const int32_t index : {0, 1})
    EXPECT_EQ(verifyMessage(countersigned, index), 0);
}

TEST_F(SignersExports, CountersignChecksInOrder) {
  const Bytes original = signedByFirst(SIGNATURE_DETACHED);
  const DataBuffer input = inMemory(original);
  RawSignRequest q = rawRequest(&secondLocator.locator);
  Result result;
  EXPECT_EQ(countersign(&q, nullptr, 0, &result.pointer), MARQEN_E_INVALID_SIGNED_DATA);
  EXPECT_EQ(countersignInto(toBytes("no message"), 0, q, result), MARQEN_E_NOT_SIGNED_DATA);
  EXPECT_EQ(countersign(nullptr, &input, 0, &result.pointer), MARQEN_E_MISSING_ARGUMENT);
  expectChecksInOrder([&] { return countersign(&q, &input, -1, nullptr); },
                      brokenRawRequest(q, &secondLocator.locator, HASH_MD5));
  EXPECT_EQ(countersign(&q, &input, -1, nullptr), MARQEN_E_INVALID_SIGNER_INDEX)
      << "before the result record";
  EXPECT_EQ(countersign(&q, &input, 0, nullptr), MARQEN_E_NULL_OUTPUT);
  EXPECT_EQ(countersign(&q, &input, 1, &result.pointer), MARQEN_E_INVALID_SIGNER_INDEX)
      << "one signer only";
  q.content = nullptr;
  EXPECT_EQ(countersign(&q, &input, 0, &result.pointer), MARQEN_E_DETACHED_DATA_MISSING);
  q.content = &contentBuffer;
  ASSERT_EQ(countersign(&q, &input, 0, &result.pointer), 0);
  EXPECT_EQ(result.record.data[0], 'M') << "Base64";
}

TEST_F(SignersExports, VerifyCounterSignatureRefusals) {
  const Bytes countersigned = counterSignedBySecond(signedByFirst(SIGNATURE_ATTACHED));
  const std::string secondDer = derText(second);
  DataBuffer signedData = inMemory(countersigned);
  CounterSignatureVerifyRequest r{&signedData, 2, -1, nullptr, 0, 0, 0, 0};
  EXPECT_EQ(verifyCounterSignature(nullptr), MARQEN_E_MISSING_ARGUMENT);
  EXPECT_EQ(verifyCounterSignature(&r), MARQEN_E_INVALID_SIGNER_INDEX);
  r.signerIndex = 0;
  EXPECT_EQ(verifyCounterSignature(&r), MARQEN_E_INVALID_VALIDATE_FLAG)
      << "before the message is read";
  r.validateCertificate = 0;
  DataBuffer noData{nullptr, nullptr, 5, DATA_IN_MEMORY};
  r.signedData = &noData;
  EXPECT_EQ(verifyCounterSignature(&r), MARQEN_E_INVALID_SIGNED_DATA);
  r.signedData = &signedData;
  r.certificateString = const_cast<char*>(secondDer.data());
  r.certificateStringLength = 0;
  EXPECT_EQ(verifyCounterSignature(&r), MARQEN_E_INVALID_CERT_STRING_LENGTH);

  // A counter-signer without key usage: refused before its signature is looked at.
  const Issued bare = test::makeEndEntity("Bare Counter Signer", root, std::nullopt);
  const auto key = std::make_shared<crypto::SoftwareKey>(
      crypto::EvpPkeyPtr((EVP_PKEY_up_ref(bare.key.get()), bare.key.get())));
  const auto byBare =
      crypto::addCounterSignature(signedByFirst(SIGNATURE_ATTACHED), 0, test::certificateOf(bare),
                                  *key, crypto::DigestAlgorithm::Sha1);
  ASSERT_TRUE(byBare.has_value());
  const std::string bareDer = derText(bare);
  EXPECT_EQ(verifyCounter(*byBare, 0, &bareDer), MARQEN_E_NO_KEY_USAGE_EXTENSION);
}

// The counter-signature attribute rewritten: not a SignerInfo, or a changed signature.
TEST_F(SignersExports, DamagedCounterSignatureAttribute) {
  const std::string secondDer = derText(second);
  const Bytes original = signedByFirst(SIGNATURE_ATTACHED);
  const auto withAttribute = [&](int type, const Bytes& value) {
    const unsigned char* p = original.data();
    crypto::CmsPtr cms(d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(original.size())));
    CMS_SignerInfo* si = sk_CMS_SignerInfo_value(CMS_get0_SignerInfos(cms.get()), 0);
    EXPECT_EQ(CMS_unsigned_add1_attr_by_NID(si, NID_pkcs9_countersignature, type, value.data(),
                                            static_cast<int>(value.size())),
              1);
    unsigned char* der = nullptr;
    const int n = i2d_CMS_ContentInfo(cms.get(), &der);
    Bytes bytes(der, der + n);
    OPENSSL_free(der);
    return bytes;
  };
  EXPECT_EQ(
      verifyCounter(withAttribute(V_ASN1_OCTET_STRING, toBytes("not a signer")), 0, &secondDer),
      MARQEN_E_COUNTER_SIGNATURE_DECODE);
  EXPECT_EQ(
      verifyCounter(withAttribute(V_ASN1_SEQUENCE, {0x30, 0x03, 0x02, 0x01, 0x01}), 0, &secondDer),
      MARQEN_E_COUNTER_SIGNATURE_DECODE);

  const Bytes countersigned = counterSignedBySecond(original);
  const Bytes signature = decoded(countersigned).signatureValue(0);
  // The counter-signature's own signature is the last 256 bytes of its SignerInfo, which is the
  // last thing in the message.
  const auto attributes = decoded(countersigned).unsignedAttributes(0);
  ASSERT_EQ(attributes.size(), 1u);
  const Bytes& info = attributes[0].values.at(0);
  auto at = std::search(countersigned.begin(), countersigned.end(), info.begin(), info.end());
  ASSERT_NE(at, countersigned.end());
  Bytes flippedSignature = countersigned;
  flippedSignature[static_cast<std::size_t>(at - countersigned.begin()) + info.size() - 10] ^= 1;
  EXPECT_EQ(verifyCounter(flippedSignature, 0, &secondDer), MARQEN_E_COUNTER_SIGNATURE_VERIFY);
}

TEST_F(SignersExports, DamagedMessagesNeverCrashTheNewDecoders) {
  const Bytes original = counterSignedBySecond(signedByFirst(SIGNATURE_ATTACHED));
  const std::string secondDer = derText(second);
  const std::set<ErrorCode> known = {MARQEN_E_NO_ERROR,
                                     MARQEN_E_INVALID_INPUT_LENGTH,
                                     MARQEN_E_INVALID_SIGNED_DATA,
                                     MARQEN_E_MESSAGE_HANDLE,
                                     MARQEN_E_MESSAGE_UPDATE,
                                     MARQEN_E_NOT_SIGNED_DATA,
                                     MARQEN_E_INVALID_SIGNER_INDEX,
                                     MARQEN_E_SIGNER_INFO,
                                     MARQEN_E_NOT_COUNTER_SIGNED,
                                     MARQEN_E_COUNTER_SIGNATURE_DECODE,
                                     MARQEN_E_COUNTER_SIGNATURE_VERIFY,
                                     MARQEN_E_COUNTER_SIGNER_MISMATCH,
                                     MARQEN_E_COSIGN_FAILED,
                                     MARQEN_E_COUNTERSIGN,
                                     MARQEN_E_CERT_CONTEXT,
                                     MARQEN_E_VERIFICATION_FAILED};
  std::mt19937 random(20260311);
  for (int round = 0; round < 120; ++round) {
    Bytes damaged = original;
    for (int i = 0; i < 1 + round % 4; ++i)
      damaged[random() % damaged.size()] ^= static_cast<unsigned char>(1U << (random() % 8));
    if (round % 5 == 0) damaged.resize(random() % damaged.size() + 1);
    const ErrorCode counter = verifyCounter(damaged, 0, &secondDer);
    EXPECT_TRUE(known.contains(counter)) << "round " << round << ": " << counter;
    if (round % 4 != 0) continue;  // signing is slower: a share of the rounds
    SignRequest cosignRequest = signRequest(&secondLocator.locator, SIGNATURE_ATTACHED);
    Result cosigned;
    const ErrorCode c = cosignInto(damaged, cosignRequest, cosigned);
    EXPECT_TRUE(known.contains(c)) << "round " << round << ": cosign " << c;
    RawSignRequest counterRequest = rawRequest(&secondLocator.locator);
    Result counterSigned;
    const ErrorCode s = countersignInto(damaged, round % 3, counterRequest, counterSigned);
    EXPECT_TRUE(known.contains(s)) << "round " << round << ": countersign " << s;
  }
}

// ---------------------------------------------------------------------------------------------
// rawsign and verifyRawSignature

Issued smallKeySigner(const Issued& root, const std::string& name, const char* keyUsage) {
  test::CertificateOptions options;
  options.subject = test::makeName({"O=Marqen Test", "CN=" + name});
  options.issuer = &root;
  options.key = crypto::EvpPkeyPtr(EVP_RSA_gen(1024));
  options.keyUsage = keyUsage;
  return test::issueCertificate(std::move(options));
}

TEST_F(SignersExports, RawSignatureShapesAndVerification) {
  const Issued small = smallKeySigner(root, "Small Key", "critical,digitalSignature");
  store.add("MY", "small", small, true);
  StoreSigner smallLocator(u"CN=Signers Root, O=Marqen Test", small);
  RawSignRequest r = rawRequest(&smallLocator.locator);
  Result raw;
  ASSERT_EQ(rawsign(&r, &raw.pointer), 0);
  const Bytes signature = raw.bytes();
  ASSERT_EQ(signature.size(), 128u);
  Result again;
  ASSERT_EQ(rawsign(&r, &again.pointer), 0);
  EXPECT_EQ(again.bytes(), signature) << "PKCS #1 v1.5 is deterministic";
  r.signatureFormat = FORMAT_BASE64;
  Result text;
  ASSERT_EQ(rawsign(&r, &text.pointer), 0);
  const std::string base64(text.record.data, text.record.data + text.record.length);
  EXPECT_EQ(base64.size(), 174u);
  EXPECT_EQ(base64[64], '\n');
  EXPECT_EQ(base64[MARQEN_E_INVALID_TRUSTED_CA_COUNT], '\n');
  EXPECT_NE(base64.back(), '\n');

  RawVerify v;
  rawVerifyRequest(v, signature, small);
  EXPECT_EQ(verifyRawSignature(&v.request), 0);
  v.request.hashAlgorithm = HASH_MD5;
  EXPECT_EQ(verifyRawSignature(&v.request), MARQEN_E_RAW_VERIFY);
  v.request.hashAlgorithm = 2;
  EXPECT_EQ(verifyRawSignature(&v.request), MARQEN_E_INVALID_HASH_ALGORITHM);
  v.request.hashAlgorithm = HASH_SHA1;
  const Bytes asText = toBytes(base64);
  v.signatureBuffer = inMemory(asText);
  EXPECT_EQ(verifyRawSignature(&v.request), 0) << "Base64 text of the bytes";
  Bytes reversed(signature.rbegin(), signature.rend());
  v.signatureBuffer = inMemory(reversed);
  EXPECT_EQ(verifyRawSignature(&v.request), MARQEN_E_RAW_VERIFY) << "most significant byte first";
  const Bytes base64Content = toBytes(base64);
  v.signatureBuffer = inMemory(signature);
  v.contentBuffer = inMemory(base64Content);
  EXPECT_EQ(verifyRawSignature(&v.request), MARQEN_E_RAW_VERIFY) << "content is never decoded";
}

TEST_F(SignersExports, RawSignatureEveryHashAndFileOutput) {
  for (const int32_t hash : {HASH_SHA1, HASH_MD5, HASH_SHA256, HASH_SHA384, HASH_SHA512}) {
    RawSignRequest r = rawRequest(&firstLocator.locator);
    r.hashAlgorithm = hash;
    const std::u16string path = marqen::os::toUtf16(dir.file("raw.sig"));
    r.outputKind = DATA_IN_FILE;
    r.outputPath = const_cast<char16_t*>(path.c_str());
    Result result;
    ASSERT_EQ(rawsign(&r, &result.pointer), 0) << hash;
    const Bytes written = toBytes(test::readFile(dir.file("raw.sig")));
    EXPECT_EQ(written.size(), 256u);
    RawVerify v;
    rawVerifyRequest(v, written, first);
    v.request.hashAlgorithm = hash;
    EXPECT_EQ(verifyRawSignature(&v.request), 0) << hash;
    v.request.hashAlgorithm = hash == HASH_SHA1 ? HASH_SHA256 : HASH_SHA1;
    EXPECT_EQ(verifyRawSignature(&v.request), MARQEN_E_RAW_VERIFY) << hash;
  }
}

// A raw signature whose bytes up to the first zero are all Base64 characters is still the
// signature: its length is the key's.
TEST_F(SignersExports, RawSignatureThatLooksLikeBase64) {
  const Issued small = smallKeySigner(root, "Small Key", "critical,digitalSignature");
  const crypto::SoftwareKey key(
      crypto::EvpPkeyPtr((EVP_PKEY_up_ref(small.key.get()), small.key.get())));
  const auto looksLikeText = [](const Bytes& s) {
    const auto zero = std::find(s.begin(), s.end(), 0);
    return zero != s.begin() &&
           std::all_of(s.begin(), zero,
                       [](unsigned char c) {
                         return std::isalnum(c) || c == '+' || c == '/' || c == '=' || c == '\r' ||
                                c == '\n';
                       }) &&
           std::any_of(s.begin(), zero, [](unsigned char c) { return c != '\r' && c != '\n'; });
  };
  Bytes data;
  Bytes signature;
  for (int i = 0; i < 20000 && signature.empty(); ++i) {
    data = toBytes("document " + std::to_string(i));
    auto made = crypto::rawSign(key, crypto::DigestAlgorithm::Sha1, data);
    ASSERT_TRUE(std::holds_alternative<Bytes>(made));
    if (looksLikeText(std::get<Bytes>(made))) signature = std::get<Bytes>(made);
  }
  ASSERT_FALSE(signature.empty());
  RawVerify v;
  rawVerifyRequest(v, signature, small);
  v.contentBuffer = inMemory(data);
  EXPECT_EQ(verifyRawSignature(&v.request), 0);
}

TEST_F(SignersExports, RawSignChecksInOrder) {
  RawSignRequest q = rawRequest(&firstLocator.locator);
  Result result;
  EXPECT_EQ(rawsign(nullptr, &result.pointer), MARQEN_E_MISSING_ARGUMENT);
  DataBuffer noData{nullptr, nullptr, 5, DATA_IN_MEMORY};
  q.content = &noData;
  EXPECT_EQ(rawsign(&q, &result.pointer), MARQEN_E_MISSING_ARGUMENT);
  DataBuffer empty{nullptr, const_cast<unsigned char*>(content.data()), 0, DATA_IN_MEMORY};
  q.content = &empty;
  EXPECT_EQ(rawsign(&q, &result.pointer), MARQEN_E_INVALID_INPUT_LENGTH);
  q.content = &contentBuffer;
  expectChecksInOrder([&] { return rawsign(&q, nullptr); },
                      brokenRawRequest(q, &firstLocator.locator, HASH_SHA512));
  EXPECT_EQ(rawsign(&q, nullptr), MARQEN_E_NULL_OUTPUT);

  // Key encipherment without digital signature: refused before the key is touched.
  const Issued encipherOnly = test::makeEndEntity("Encipher Only", root, "keyEncipherment");
  store.add("MY", "encipher", encipherOnly, false);
  StoreSigner locator(u"CN=Signers Root, O=Marqen Test", encipherOnly);
  q.signerLocator = &locator.locator;
  EXPECT_EQ(rawsign(&q, &result.pointer), MARQEN_E_NO_DIGITAL_SIGNATURE_USAGE);
  const Issued keyless = test::makeEndEntity("Keyless", root);
  store.add("MY", "keyless", keyless, false);
  StoreSigner keylessLocator(u"CN=Signers Root, O=Marqen Test", keyless);
  q.signerLocator = &keylessLocator.locator;
  EXPECT_EQ(rawsign(&q, &result.pointer), MARQEN_E_PRIVATE_KEY);
}

TEST_F(SignersExports, VerifyRawSignatureCertificateSources) {
  RawSignRequest r = rawRequest(&firstLocator.locator);
  Result raw;
  ASSERT_EQ(rawsign(&r, &raw.pointer), 0);
  RawVerify v;
  rawVerifyRequest(v, raw.bytes(), first);
  RawVerifyRequest& q = v.request;

  q.certificateSource = SOURCE_STORE;
  q.issuerDN = firstLocator.issuer.data();
  q.serialNumber = firstLocator.serial.data();
  q.storeType = STORE_PERSONAL;
  EXPECT_EQ(verifyRawSignature(&q), 0);
  q.storeType = 3;
  EXPECT_EQ(verifyRawSignature(&q), MARQEN_E_INVALID_STORE_TYPE);
  q.serialNumber = nullptr;
  EXPECT_EQ(verifyRawSignature(&q), MARQEN_E_MISSING_ARGUMENT);

  test::PfxOptions pfx;
  pfx.holder = &first;
  pfx.password = "pw";
  test::writeBytes(dir.file("first.pfx"), test::makePfx(pfx));
  const std::u16string pfxPath = marqen::os::toUtf16(dir.file("first.pfx"));
  std::u16string password = u"pw";
  q.certificateSource = SOURCE_PFX_FILE;
  EXPECT_EQ(verifyRawSignature(&q), MARQEN_E_INVALID_PFX_FILE_OR_PASSWORD);
  q.pfxFilePath = const_cast<char16_t*>(pfxPath.c_str());
  q.pfxPassword = password.data();
  EXPECT_EQ(verifyRawSignature(&q), 0);

  q.certificateSource = SOURCE_CERT_STRING;
  const int32_t length = q.certificateStringLength;
  q.certificateStringLength = 0;
  EXPECT_EQ(verifyRawSignature(&q), MARQEN_E_INVALID_CERT_STRING_LENGTH);
  q.certificateStringLength = length;
  q.certificateString = nullptr;
  EXPECT_EQ(verifyRawSignature(&q), MARQEN_E_INVALID_CERT_STRING);
  for (const int32_t source : {1, 5}) {
    q.certificateSource = source;
    EXPECT_EQ(verifyRawSignature(&q), MARQEN_E_MISSING_ARGUMENT) << source;
  }
}

TEST_F(SignersExports, VerifyRawSignatureChecksTheCertificateFirst) {
  test::CertificateOptions options;
  options.subject = test::makeName({"O=Marqen Test", "CN=Expired"});
  options.issuer = &root;
  options.notBefore = 1000000000;
  options.notAfter = 1100000000;
  options.keyUsage = "critical,digitalSignature";
  const Issued expired = test::issueCertificate(std::move(options));
  const crypto::SoftwareKey key(
      crypto::EvpPkeyPtr((EVP_PKEY_up_ref(expired.key.get()), expired.key.get())));
  auto made = crypto::rawSign(key, crypto::DigestAlgorithm::Sha1, content);
  ASSERT_TRUE(std::holds_alternative<Bytes>(made));
  RawVerify v;
  rawVerifyRequest(v, std::get<Bytes>(made), expired);
  EXPECT_EQ(verifyRawSignature(&v.request), MARQEN_E_CERT_EXPIRED)
      << "even though the signature is good";

  RawSignRequest r = rawRequest(&firstLocator.locator);
  Result raw;
  ASSERT_EQ(rawsign(&r, &raw.pointer), 0);
  rawVerifyRequest(v, raw.bytes(), first);
  v.request.validateCertificate = 2;
  EXPECT_EQ(verifyRawSignature(&v.request), MARQEN_E_INVALID_VALIDATE_FLAG);
  const char16_t* elsewhere[] = {u"Another Root"};
  ASSERT_EQ(setTrustedCANames(elsewhere, 1), 0);
  EXPECT_EQ(verifyRawSignature(&v.request), MARQEN_E_TRUSTED_CA_NOT_IN_CHAIN)
      << "the certificate checks come first";
  EXPECT_EQ(verifyRawSignature(nullptr), MARQEN_E_MISSING_ARGUMENT);
  v.request.signature = nullptr;
  EXPECT_EQ(verifyRawSignature(&v.request), MARQEN_E_MISSING_ARGUMENT);
  DataBuffer empty{nullptr, raw.record.data, 0, DATA_IN_MEMORY};
  v.request.signature = &empty;
  EXPECT_EQ(verifyRawSignature(&v.request), MARQEN_E_INVALID_INPUT_SIGNATURE_LENGTH);
  DataBuffer noData{nullptr, nullptr, 5, DATA_IN_MEMORY};
  v.request.signature = &noData;
  EXPECT_EQ(verifyRawSignature(&v.request), MARQEN_E_INVALID_SIGNED_DATA);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// content files on the paths that only hash them

TEST_F(SignersExports, ContentFilesAreCheckedInOrderOnEveryHashingPath) {
  // Each runs one export with the content record given; -1 when it gives other bytes.
  using ContentCall = std::function<ErrorCode(DataBuffer & content)>;
  const Bytes detachedMessage = signedByFirst(SIGNATURE_DETACHED);
  Result rawResult;
  RawSignRequest rawSigning = rawRequest(&firstLocator.locator);
  ASSERT_EQ(rawsign(&rawSigning, &rawResult.pointer), 0);
  const Bytes rawSignature = rawResult.bytes();

  const struct {
    const char* what;
    ContentCall call;
  } operations[] = {
      {"detached sign",
       [&](DataBuffer& c) {
         SignRequest r = signRequest(&firstLocator.locator, SIGNATURE_DETACHED);
         r.content = &c;
         Result result;
         const ErrorCode code = sign(&r, &result.pointer);
         return code != 0 || result.bytes() == detachedMessage ? code : -1;
       }},
      {"detached verify",
       [&](DataBuffer& c) {
         DataBuffer signedData = inMemory(detachedMessage);
         const VerifySignedDataRequest request{&c, &signedData};
         return verifySignedData(&request, 0);
       }},
      {"cosign of a detached message",
       [&](DataBuffer& c) {
         SignRequest r = signRequest(&secondLocator.locator, SIGNATURE_DETACHED);
         r.content = &c;
         Result result;
         const ErrorCode code = cosignInto(detachedMessage, r, result);
         return code != 0 ? code : verifyMessage(result.bytes(), 1, &content);
       }},
      {"countersign of a detached message",
       [&](DataBuffer& c) {
         RawSignRequest r = rawRequest(&secondLocator.locator);
         r.content = &c;
         Result result;
         return countersignInto(detachedMessage, 0, r, result);
       }},
      {"rawsign",
       [&](DataBuffer& c) {
         RawSignRequest r = rawRequest(&firstLocator.locator);
         r.content = &c;
         Result result;
         const ErrorCode code = rawsign(&r, &result.pointer);
         return code != 0 || result.bytes() == rawSignature ? code : -1;
       }},
      {"verifyRawSignature",
       [&](DataBuffer& c) {
         RawVerify v;
         rawVerifyRequest(v, rawSignature, first);
         v.request.content = &c;
         return verifyRawSignature(&v.request);
       }},
  };

  const std::string same = dir.file("same.txt"), empty = dir.file("empty.txt");
  test::writeFile(same, std::string(content.begin(), content.end()));
  test::writeFile(empty, "");
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  const struct {
    const char* what;
    std::string path;
    ErrorCode expected;
  } files[] = {
      {"the same bytes", same, 0},
      {"empty", empty, MARQEN_E_EMPTY_INPUT_FILE},
      {"missing", dir.file("missing.txt"), MARQEN_E_FILE_OPEN_READ},
      {"a FIFO, answered without waiting", dir.file("fifo"), MARQEN_E_FILE_OPEN_READ},
      {"a folder", dir.path().string(), MARQEN_E_FILE_OPEN_READ},
  };
  for (const auto& operation : operations) {
    for (const auto& file : files) {
      SCOPED_TRACE(testing::Message() << operation.what << ", " << file.what);
      std::u16string path = marqen::os::toUtf16(file.path);
      DataBuffer record{path.data(), nullptr, 0, DATA_IN_FILE};
      EXPECT_EQ(operation.call(record), file.expected);
    }
  }
}
