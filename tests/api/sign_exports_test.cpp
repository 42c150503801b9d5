#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <openssl/cms.h>
#include <openssl/evp.h>

#include "Marqen_InterfaceV2.h"
#include "platform/crypto/signed_message.h"
#include "platform/os/text.h"
#include "tests/support/caller_result.h"
#include "tests/support/pki_builder.h"
#include "tests/support/sign_request.h"
#include "tests/support/temp_cert_store.h"

namespace {

namespace crypto = marqen::crypto;
using marqen::test::Bytes;
using marqen::test::Issued;
namespace fs = std::filesystem;

using Result = marqen::test::CallerResult;

using marqen::test::Request;

class SignExports : public ::testing::Test {
 protected:
  marqen::test::TempCertStore store;
  marqen::test::TempDir dir;
  Issued root = marqen::test::makeRootCa("Sign Root");
  Issued signer = marqen::test::makeEndEntity("Sign User", root);
  Request r;

  void SetUp() override {
    store.add("ROOT", "root", root);
    store.add("MY", "signer", signer, true);
    r.fromStore(u"CN=Sign Root, O=Marqen Test", serialText(signer));
    // The list lives as long as the library; a test that changes it must not decide the next.
    const char16_t* ours[] = {u"Sign Root"};
    ASSERT_EQ(setTrustedCANames(ours, 1), 0);
  }
  static std::string serialText(const Issued& issued) {
    std::string text;
    char hex[3];
    const ASN1_INTEGER* serial = X509_get0_serialNumber(issued.certificate.get());
    unsigned char* der = nullptr;
    const int n = i2d_ASN1_INTEGER(serial, &der);
    for (int i = 2; i < n; ++i) {  // short-form length: two header bytes
      std::snprintf(hex, sizeof hex, "%02X", der[i]);
      text += hex;
    }
    OPENSSL_free(der);
    return text;
  }
  ErrorCode signInto(Result& result) { return sign(&r.request, &result.pointer); }
  ErrorCode verify(const Bytes& message, const std::string* detached = nullptr, int32_t index = 0) {
    DataBuffer signedData{nullptr, const_cast<unsigned char*>(message.data()),
                          static_cast<int32_t>(message.size()), DATA_IN_MEMORY};
    std::string content = detached ? *detached : "";
    DataBuffer contentBuffer{nullptr, reinterpret_cast<unsigned char*>(content.data()),
                             static_cast<int32_t>(content.size()), DATA_IN_MEMORY};
    VerifySignedDataRequest request{detached ? &contentBuffer : nullptr, &signedData};
    return verifySignedData(&request, index);
  }
};

// Signed by OpenSSL directly, with flags such as CMS_NOCERTS.
Bytes signWithOpenSsl(const Issued& by, const std::string& data, unsigned flags) {
  crypto::BioPtr in(BIO_new_mem_buf(data.data(), static_cast<int>(data.size())));
  crypto::CmsPtr cms(CMS_sign(by.certificate.get(), by.key.get(), nullptr, in.get(), flags));
  unsigned char* raw = nullptr;
  const int length = cms ? i2d_CMS_ContentInfo(cms.get(), &raw) : 0;
  Bytes message(raw, raw + std::max(length, 0));
  OPENSSL_free(raw);
  return message;
}

TEST_F(SignExports, AttachedMessageVerifiesAndGivesItsContentBack) {
  Result signedMessage;
  ASSERT_EQ(signInto(signedMessage), 0);
  EXPECT_EQ(signedMessage.record.kind, DATA_IN_MEMORY);
  const Bytes message = signedMessage.bytes();
  EXPECT_EQ(verify(message), 0);

  DataBuffer input{nullptr, const_cast<unsigned char*>(message.data()),
                   static_cast<int32_t>(message.size()), DATA_IN_MEMORY};
  Result content;
  ASSERT_EQ(getSignedContent(&input, nullptr, DATA_IN_MEMORY, &content.pointer), 0);
  EXPECT_EQ(std::string(content.record.data, content.record.data + content.record.length), r.data);
}

TEST_F(SignExports, DetachedMessageNeedsItsContent) {
  r.request.signatureMode = SIGNATURE_DETACHED;
  r.request.hashAlgorithm = HASH_MD5;
  Result signedMessage;
  ASSERT_EQ(signInto(signedMessage), 0);
  const Bytes message = signedMessage.bytes();
  EXPECT_EQ(verify(message, &r.data), 0);
  const std::string other = r.data + " ";
  EXPECT_EQ(verify(message, &other), MARQEN_E_VERIFICATION_FAILED);
  EXPECT_EQ(verify(message), MARQEN_E_MISSING_ARGUMENT);
  DataBuffer signedData{nullptr, const_cast<unsigned char*>(message.data()),
                        static_cast<int32_t>(message.size()), DATA_IN_MEMORY};
  std::u16string somePath = u"/some/path";
  DataBuffer nullData{somePath.data(), nullptr, 5, DATA_IN_MEMORY};
  VerifySignedDataRequest missingData{&nullData, &signedData};
  EXPECT_EQ(verifySignedData(&missingData, 0), MARQEN_E_DETACHED_DATA_MISSING);
  DataBuffer input = signedData;
  Result content;
  EXPECT_EQ(getSignedContent(&input, nullptr, DATA_IN_MEMORY, &content.pointer),
            MARQEN_E_SIGNED_CONTENT_SIZE);
}

TEST_F(SignExports, RequestChecksInOrderBeforeAnyCertificateIsOpened) {
  Result result;
  EXPECT_EQ(sign(nullptr, &result.pointer), MARQEN_E_MISSING_ARGUMENT);
  r.request.content = nullptr;
  EXPECT_EQ(signInto(result), MARQEN_E_MISSING_ARGUMENT);
  r.request.content = &r.content;
  r.content.length = 0;
  EXPECT_EQ(signInto(result), MARQEN_E_INVALID_INPUT_LENGTH);
  r.content.length = static_cast<int32_t>(r.data.size());
  r.content.kind = 7;
  EXPECT_EQ(signInto(result), MARQEN_E_INVALID_DATA_KIND);
  r.content.kind = DATA_IN_MEMORY;
  // Every field broken at once; mending them one by one in the documented order shows each
  // field's own code in turn.
  SignRequest& q = r.request;
  q.outputKind = DATA_IN_FILE;
  q.outputPath = nullptr;
  r.locator.locationType = 9;
  q.hashAlgorithm = 2;
  q.signingAlgorithm = 0;
  q.signatureMode = 0;
  q.validateCertificate = 2;
  q.askPinAlways = 2;
  q.signatureFormat = 0;
  q.attributeCount = -1;
  EXPECT_EQ(sign(&q, nullptr), MARQEN_E_INVALID_OUTPUT_PATH);
  q.outputKind = 3;
  EXPECT_EQ(sign(&q, nullptr), MARQEN_E_INVALID_LOCATION_TYPE);
  r.locator.locationType = LOCATION_STORE;
  EXPECT_EQ(sign(&q, nullptr), MARQEN_E_INVALID_HASH_ALGORITHM);
  q.hashAlgorithm = HASH_MD5;
  EXPECT_EQ(sign(&q, nullptr), MARQEN_E_INVALID_SIGNING_ALGORITHM);
  q.signingAlgorithm = SIGNING_RSA;
  EXPECT_EQ(sign(&q, nullptr), MARQEN_E_INVALID_SIGNATURE_MODE);
  q.signatureMode = SIGNATURE_DETACHED;
  EXPECT_EQ(sign(&q, nullptr), MARQEN_E_INVALID_DESTINATION_TYPE);
  q.outputKind = DATA_IN_MEMORY;
  EXPECT_EQ(sign(&q, nullptr), MARQEN_E_INVALID_VALIDATE_FLAG);
  q.validateCertificate = 0;
  EXPECT_EQ(sign(&q, nullptr), MARQEN_E_INVALID_ASK_PIN_FLAG);
  q.askPinAlways = 0;
  EXPECT_EQ(sign(&q, nullptr), MARQEN_E_INVALID_SIGNATURE_FORMAT);
  q.signatureFormat = FORMAT_BASE64;
  EXPECT_EQ(sign(&q, nullptr), MARQEN_E_INVALID_ATTRIBUTE_COUNT);
  q.attributeCount = 2;  // and no array
  EXPECT_EQ(sign(&q, nullptr), MARQEN_E_INVALID_ATTRIBUTE_COUNT);
  q.attributeCount = 0;
  EXPECT_EQ(sign(&q, nullptr), MARQEN_E_NULL_OUTPUT);
  DataBuffer* none = nullptr;
  EXPECT_EQ(sign(&q, &none), MARQEN_E_NULL_OUTPUT);
  EXPECT_EQ(signInto(result), 0);
}

TEST_F(SignExports, CertificateChecksComeBeforeAttributeChecks) {
  r.addAttribute("x", "1.2.3", 2, ATTR_OCTET_STRING);  // bad authentication type
  Result result;
  r.serial = "00";
  r.locator.serialNumber = r.serial.data();
  EXPECT_EQ(signInto(result), MARQEN_E_CERT_CONTEXT);
  r.serial = serialText(signer);
  r.locator.serialNumber = r.serial.data();
  EXPECT_EQ(signInto(result), MARQEN_E_INVALID_ATTRIBUTE_AUTH_TYPE);

  // A certificate without key usage fails even when no validation is asked for.
  const Issued bare = marqen::test::makeEndEntity("No Usage", root, std::nullopt);
  store.add("MY", "bare", bare, true);
  Request other;
  other.fromStore(u"CN=Sign Root, O=Marqen Test", serialText(bare));
  Result otherResult;
  EXPECT_EQ(sign(&other.request, &otherResult.pointer), MARQEN_E_NO_KEY_USAGE_EXTENSION);
  EXPECT_EQ(result.record.data, nullptr);
}

TEST_F(SignExports, SigningTimeAttributeRules) {
  r.addAttribute("1700000000", "1.2.840.113549.1.9.5", ATTR_UNAUTHENTICATED, ATTR_TIME);
  Result result;
  EXPECT_EQ(signInto(result), MARQEN_E_SIGNING_TIME_MUST_BE_SIGNED);
  r.attributeRecords[0].authenticationType = ATTR_AUTHENTICATED;
  r.attributeStrings[0] = "12abc";
  r.attributeRecords[0].value = reinterpret_cast<unsigned char*>(r.attributeStrings[0].data());
  EXPECT_EQ(signInto(result), MARQEN_E_INVALID_ATTRIBUTE);
  r.attributeStrings[0] = "1700000000";
  r.attributeRecords[0].value = reinterpret_cast<unsigned char*>(r.attributeStrings[0].data());
  // The signer's certificate was issued long after that instant: only a validating request
  // compares the two.
  EXPECT_EQ(signInto(result), 0);
  Result validated;
  r.request.validateCertificate = 1;
  EXPECT_EQ(sign(&r.request, &validated.pointer), MARQEN_E_SIGNING_TIME_BEFORE_START);
}

TEST_F(SignExports, MissingPrivateKeyIsReported) {
  const Issued keyless = marqen::test::makeEndEntity("Keyless", root);
  store.add("MY", "keyless", keyless, false);
  Request other;
  other.fromStore(u"CN=Sign Root, O=Marqen Test", serialText(keyless));
  Result result;
  EXPECT_EQ(sign(&other.request, &result.pointer), MARQEN_E_PRIVATE_KEY);
}

TEST_F(SignExports, Base64FileOutputReplacesTheFileAndReturnsItsPath) {
  marqen::test::writeFile(dir.file("out.p7s"), "old content");
  r.outputPath = marqen::os::toUtf16(dir.file("out.p7s"));
  r.request.outputKind = DATA_IN_FILE;
  r.request.outputPath = r.outputPath.data();
  r.request.signatureFormat = FORMAT_BASE64;
  Result result;
  ASSERT_EQ(signInto(result), 0);
  EXPECT_EQ(result.record.kind, DATA_IN_FILE);
  EXPECT_EQ(std::u16string(result.record.filePath), r.outputPath);
  EXPECT_EQ(result.record.length, static_cast<int32_t>(r.outputPath.size()));
  const std::string text = marqen::test::readFile(dir.file("out.p7s"));
  EXPECT_EQ(text.substr(0, 3), "MII");
  EXPECT_EQ(text[64], '\n');
  const Bytes asText(text.begin(), text.end());
  EXPECT_EQ(verify(asText), 0) << "Base64 input verifies like DER";

  r.outputPath = marqen::os::toUtf16(dir.file("missing/out.p7s"));
  r.request.outputPath = r.outputPath.data();
  Result failed;
  EXPECT_EQ(signInto(failed), MARQEN_E_FOLDER_MISSING);
  EXPECT_EQ(failed.record.filePath, nullptr);
}

TEST_F(SignExports, PfxSignerAndTrustedCaRule) {
  marqen::test::PfxOptions options;
  options.holder = &signer;
  options.password = "pw";
  marqen::test::writeBytes(dir.file("signer.pfx"), marqen::test::makePfx(options));
  r.pfxPath = marqen::os::toUtf16(dir.file("signer.pfx"));
  r.password = u"pw";
  r.locator = {nullptr, nullptr, r.pfxPath.data(), r.password.data(), LOCATION_PFX_FILE};
  const char16_t* elsewhere[] = {u"Another Root"};
  ASSERT_EQ(setTrustedCANames(elsewhere, 1), 0);
  Result refused;
  EXPECT_EQ(signInto(refused), MARQEN_E_TRUSTED_CA_NOT_IN_CHAIN);
  const char16_t* ours[] = {u"sign root"};
  ASSERT_EQ(setTrustedCANames(ours, 1), 0);
  Result result;
  ASSERT_EQ(signInto(result), 0);
  EXPECT_EQ(verify(result.bytes()), 0);
}

TEST_F(SignExports, ContentAndVerificationRefusals) {
  Result signedMessage;
  ASSERT_EQ(signInto(signedMessage), 0);
  const Bytes message = signedMessage.bytes();
  DataBuffer input{nullptr, const_cast<unsigned char*>(message.data()),
                   static_cast<int32_t>(message.size()), DATA_IN_MEMORY};
  Result result;
  DataBuffer* none = nullptr;
  EXPECT_EQ(getSignedContent(nullptr, nullptr, DATA_IN_MEMORY, &result.pointer),
            MARQEN_E_MISSING_ARGUMENT);
  EXPECT_EQ(getSignedContent(&input, nullptr, 3, &result.pointer), MARQEN_E_INVALID_OUTPUT_KIND);
  EXPECT_EQ(getSignedContent(&input, nullptr, DATA_IN_FILE, &result.pointer),
            MARQEN_E_INVALID_OUTPUT_PATH);
  EXPECT_EQ(getSignedContent(&input, nullptr, DATA_IN_MEMORY, &none), MARQEN_E_NULL_OUTPUT);
  const auto missingFolder = marqen::os::toUtf16(dir.file("no/such/content.txt"));
  EXPECT_EQ(getSignedContent(&input, missingFolder.c_str(), DATA_IN_FILE, &result.pointer),
            MARQEN_E_FOLDER_MISSING);
  EXPECT_EQ(result.record.filePath, nullptr);
  EXPECT_EQ(result.record.kind, 0);

  // Base64 with a stray character is taken as DER, and is no message.
  std::string text = "MII ";
  DataBuffer stray{nullptr, reinterpret_cast<unsigned char*>(text.data()), 4, DATA_IN_MEMORY};
  EXPECT_EQ(getSignedContent(&stray, nullptr, DATA_IN_MEMORY, &result.pointer),
            MARQEN_E_MESSAGE_UPDATE);
  EXPECT_EQ(verify(Bytes(text.begin(), text.end())), MARQEN_E_NOT_SIGNED_DATA);

  // Written to a file, the content's path comes back; the length is left as it was.
  const auto target = marqen::os::toUtf16(dir.file("content.txt"));
  Result written;
  written.record.length = -42;
  ASSERT_EQ(getSignedContent(&input, target.c_str(), DATA_IN_FILE, &written.pointer), 0);
  EXPECT_EQ(std::u16string(written.record.filePath), target);
  EXPECT_EQ(written.record.length, -42);
  EXPECT_EQ(marqen::test::readFile(dir.file("content.txt")), r.data);

  EXPECT_EQ(verify(message, nullptr, -1), MARQEN_E_INVALID_SIGNER_INDEX);
  EXPECT_EQ(verify(message, nullptr, 1), MARQEN_E_SIGNER_INFO);
  VerifySignedDataRequest noMessage{nullptr, nullptr};
  EXPECT_EQ(verifySignedData(&noMessage, 0), MARQEN_E_MISSING_ARGUMENT);
  DataBuffer nullBytes{nullptr, nullptr, 5, DATA_IN_MEMORY};
  VerifySignedDataRequest nullMessage{nullptr, &nullBytes};
  EXPECT_EQ(verifySignedData(&nullMessage, 0), MARQEN_E_INVALID_SIGNED_DATA);
  // An attached message ignores whatever content comes with it.
  const std::string ignored = "anything";
  EXPECT_EQ(verify(message, &ignored), 0);
}

TEST_F(SignExports, SignerUnderASelfMadeNamesakeOfTheTrustedCaIsRefused) {
  const Issued namesake = marqen::test::makeRootCa("Sign Root");
  const Issued forged = marqen::test::makeEndEntity("Sign User", namesake);
  const Bytes message = signWithOpenSsl(forged, "pay the bearer", CMS_BINARY);
  ASSERT_FALSE(message.empty());
  EXPECT_EQ(verify(message), MARQEN_E_CHAIN_BUILD) << "its issuer is in no store";
}

TEST_F(SignExports, TrustedCaRuleAppliesToContentExtraction) {
  Result signedMessage;
  ASSERT_EQ(signInto(signedMessage), 0);
  const Bytes message = signedMessage.bytes();
  DataBuffer input{nullptr, const_cast<unsigned char*>(message.data()),
                   static_cast<int32_t>(message.size()), DATA_IN_MEMORY};
  const char16_t* elsewhere[] = {u"Another Root"};
  ASSERT_EQ(setTrustedCANames(elsewhere, 1), 0);
  Result result;
  EXPECT_EQ(getSignedContent(&input, nullptr, DATA_IN_MEMORY, &result.pointer),
            MARQEN_E_TRUSTED_CA_NOT_IN_CHAIN);
  EXPECT_EQ(result.record.data, nullptr);
  EXPECT_EQ(verify(message), MARQEN_E_TRUSTED_CA_NOT_IN_CHAIN);
}

TEST_F(SignExports, Base64WithAnyLineLengthReadsLikeDer) {
  Result signedMessage;
  ASSERT_EQ(signInto(signedMessage), 0);
  const Bytes der = signedMessage.bytes();
  std::string base64(4 * ((der.size() + 2) / 3) + 1, '\0');
  base64.resize(static_cast<std::size_t>(EVP_EncodeBlock(
      reinterpret_cast<unsigned char*>(base64.data()), der.data(), static_cast<int>(der.size()))));
  for (const std::size_t width : {64U, 76U}) {
    std::string wrapped;
    for (std::size_t at = 0; at < base64.size(); at += width)
      wrapped += base64.substr(at, width) + "\r\n";
    const Bytes text(wrapped.begin(), wrapped.end());
    EXPECT_EQ(verify(text), 0) << width;
    DataBuffer input{nullptr, const_cast<unsigned char*>(text.data()),
                     static_cast<int32_t>(text.size()), DATA_IN_MEMORY};
    Result content;
    ASSERT_EQ(getSignedContent(&input, nullptr, DATA_IN_MEMORY, &content.pointer), 0) << width;
    EXPECT_EQ(std::string(content.record.data, content.record.data + content.record.length),
              r.data);
  }
}

TEST_F(SignExports, MessageWithoutItsSignerCertificate) {
  const std::string data = "no certificates inside";
  const Bytes message = signWithOpenSsl(signer, data, CMS_BINARY | CMS_NOCERTS);
  ASSERT_FALSE(message.empty());
  EXPECT_EQ(verify(message), MARQEN_E_CERT_CONTEXT);
  DataBuffer input{nullptr, const_cast<unsigned char*>(message.data()),
                   static_cast<int32_t>(message.size()), DATA_IN_MEMORY};
  Result content;
  ASSERT_EQ(getSignedContent(&input, nullptr, DATA_IN_MEMORY, &content.pointer), 0)
      << "content comes back; the trusted-CA rule has no certificate to look at";
  EXPECT_EQ(std::string(content.record.data, content.record.data + content.record.length), data);
}

// Damage at random is the fuzz target's work; these cuts have one answer each.
TEST_F(SignExports, TruncatedMessagesAreRefusedWithTheirCodes) {
  Result signedMessage;
  ASSERT_EQ(signInto(signedMessage), 0);
  const Bytes original = signedMessage.bytes();
  for (const std::size_t keep : {std::size_t{1}, original.size() / 2, original.size() - 1}) {
    Bytes cut(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(keep));
    EXPECT_EQ(verify(cut), MARQEN_E_NOT_SIGNED_DATA) << keep;
    DataBuffer input{nullptr, cut.data(), static_cast<int32_t>(cut.size()), DATA_IN_MEMORY};
    Result content;
    EXPECT_EQ(getSignedContent(&input, nullptr, DATA_IN_MEMORY, &content.pointer),
              MARQEN_E_MESSAGE_UPDATE)
        << keep;
    EXPECT_EQ(content.record.data, nullptr) << keep;
  }
}

}  // namespace

// A sparse file just over 2 GiB takes no disk space; hashed under the sanitizers it still takes
// seconds, so one test covers the whole large-file path.
TEST_F(SignExports, DetachedSigningAndVerificationOfAFileOver2GiB) {
  constexpr off_t kSize = (off_t{1} << 31) + 1;
  const std::string file = dir.file("large.bin");
  marqen::test::writeFile(file, "head");
  ASSERT_EQ(::truncate(file.c_str(), kSize), 0);
  std::u16string path = marqen::os::toUtf16(file);
  DataBuffer content{path.data(), nullptr, 0, DATA_IN_FILE};
  r.request.content = &content;

  Result attached;
  EXPECT_EQ(signInto(attached), MARQEN_E_FILE_INCOMPLETE_READ) << "too large to hold in memory";

  r.request.signatureMode = SIGNATURE_DETACHED;
  r.request.hashAlgorithm = HASH_SHA256;
  Result detached;
  ASSERT_EQ(signInto(detached), 0);
  const Bytes message = detached.bytes();
  DataBuffer signedData{nullptr, const_cast<unsigned char*>(message.data()),
                        static_cast<int32_t>(message.size()), DATA_IN_MEMORY};
  VerifySignedDataRequest request{&content, &signedData};
  EXPECT_EQ(verifySignedData(&request, 0), 0);

  // One byte past 2^31 changed, the size the same.
  {
    std::fstream out(file, std::ios::in | std::ios::out | std::ios::binary);
    out.seekp(kSize - 1);
    out.put('x');
  }
  EXPECT_EQ(verifySignedData(&request, 0), MARQEN_E_VERIFICATION_FAILED);
}
