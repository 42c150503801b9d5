#include <gtest/gtest.h>

#include <openssl/cms.h>

#include "platform/crypto/signed_message.h"
#include "tests/support/pki_builder.h"

namespace marqen::crypto {
namespace {

using test::Issued;

class SignedMessages : public ::testing::Test {
 protected:
  Issued root = test::makeRootCa("Message Root");
  Issued signer = test::makeEndEntity("Message Signer", root);
  SoftwareKey key{upRef(signer.key.get())};
  const Bytes content = {'h', 'e', 'l', 'l', 'o', 0, 0xFF, '\n'};

  Bytes sign(SignParameters parameters) {
    if (parameters.signedAttributes.empty())
      parameters.signedAttributes.push_back(*signingTimeAttribute(1700000000));
    const auto message = signMessage(content, test::certificateOf(signer), key, parameters);
    const auto der = message ? message->toBytes() : std::nullopt;
    EXPECT_TRUE(der.has_value());
    return der ? *der : Bytes{};
  }
};

TEST_F(SignedMessages, AttachedRoundTripWithAttributes) {
  SignParameters p;
  p.signedAttributes = {*signingTimeAttribute(1700000000),
                        {"1.3.6.1.4.1.311.88.2.1", V_ASN1_OCTET_STRING, {'d', 'o', 'c'}}};
  p.unsignedAttributes = {{"1.3.6.1.4.1.311.88.2.2", V_ASN1_OCTET_STRING, {'n', 'o'}}};
  const Bytes der = sign(p);
  const auto message = SignedMessage::decode(der);
  ASSERT_TRUE(message.has_value());
  EXPECT_TRUE(message->isSignedData());
  ASSERT_TRUE(message->content().has_value());
  EXPECT_EQ(Bytes(message->content()->begin(), message->content()->end()), content);
  ASSERT_EQ(message->signerCount(), 1);
  EXPECT_EQ(message->digestAlgorithm(0), "1.3.14.3.2.26");
  ASSERT_EQ(message->certificates().size(), 1U) << "the signer's certificate, no chain";
  ASSERT_TRUE(message->signerCertificate(0).has_value());
  EXPECT_TRUE(message->signerCertificate(0)->sameAs(test::certificateOf(signer)));
  EXPECT_TRUE(message->verifySigner(0, test::certificateOf(signer), std::nullopt));

  std::map<std::string, Bytes> signedValues;
  for (const auto& a : message->signedAttributes(0)) {
    ASSERT_EQ(a.values.size(), 1U) << a.oid;
    signedValues[a.oid] = a.values[0];
  }
  EXPECT_TRUE(signedValues.contains("1.2.840.113549.1.9.3")) << "content type";
  EXPECT_TRUE(signedValues.contains("1.2.840.113549.1.9.4")) << "message digest";
  EXPECT_EQ(signedValues["1.2.840.113549.1.9.5"],
            (Bytes{0x17, 0x0D, '2', '3', '1', '1', '1', '4', '2', '2', '1', '3', '2', '0', 'Z'}));
  EXPECT_EQ(signedValues["1.3.6.1.4.1.311.88.2.1"], (Bytes{0x04, 0x03, 'd', 'o', 'c'}));
  EXPECT_EQ(signedValues.size(), 4U) << "no capabilities or other additions";
  const auto unsignedValues = message->unsignedAttributes(0);
  ASSERT_EQ(unsignedValues.size(), 1U);
  EXPECT_EQ(unsignedValues[0].values[0], (Bytes{0x04, 0x02, 'n', 'o'}));
}

TEST_F(SignedMessages, VersionOneWithIssuerAndSerial) {
  const Bytes der = sign({});
  const unsigned char* p = der.data();
  CmsPtr cms(d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(der.size())));
  ASSERT_TRUE(cms);
  CMS_SignerInfo* si = sk_CMS_SignerInfo_value(CMS_get0_SignerInfos(cms.get()), 0);
  ASN1_OCTET_STRING* keyId = nullptr;
  X509_NAME* issuer = nullptr;
  ASN1_INTEGER* serial = nullptr;
  ASSERT_EQ(CMS_SignerInfo_get0_signer_id(si, &keyId, &issuer, &serial), 1);
  EXPECT_EQ(keyId, nullptr);
  EXPECT_NE(issuer, nullptr);
  // SignedData ::= SEQUENCE { version INTEGER 1, ... } right after the content-type wrapper.
  const Bytes versionOne = {0x02, 0x01, 0x01};
  EXPECT_NE(std::search(der.begin(), der.begin() + 40, versionOne.begin(), versionOne.end()),
            der.begin() + 40);
}

TEST_F(SignedMessages, DetachedMd5VerifiesOnlyWithTheSameContent) {
  SignParameters p;
  p.detached = true;
  p.digest = DigestAlgorithm::Md5;
  const auto message = SignedMessage::decode(sign(p));
  ASSERT_TRUE(message.has_value());
  EXPECT_FALSE(message->content().has_value());
  EXPECT_EQ(message->digestAlgorithm(0), "1.2.840.113549.2.5");
  EXPECT_TRUE(message->verifySigner(0, test::certificateOf(signer), content));
  Bytes other = content;
  other.back() ^= 1;
  EXPECT_FALSE(message->verifySigner(0, test::certificateOf(signer), other));
  EXPECT_FALSE(message->verifySigner(0, test::certificateOf(signer), std::nullopt));
}

TEST_F(SignedMessages, TamperingOrAnotherKeyFails) {
  Bytes der = sign({});
  const Issued stranger = test::makeEndEntity("Stranger", root);
  const auto message = SignedMessage::decode(der);
  EXPECT_FALSE(message->verifySigner(0, test::certificateOf(stranger), std::nullopt));
  EXPECT_FALSE(message->verifySigner(1, test::certificateOf(signer), std::nullopt));

  const auto at = std::search(der.begin(), der.end(), content.begin(), content.begin() + 5);
  ASSERT_NE(at, der.end());
  *at ^= 0x20;
  const auto changed = SignedMessage::decode(der);
  ASSERT_TRUE(changed.has_value());
  EXPECT_FALSE(changed->verifySigner(0, test::certificateOf(signer), std::nullopt));
  der[der.size() - 3] ^= 0x01;  // inside the signature value, the last field
  EXPECT_FALSE(
      SignedMessage::decode(der)->verifySigner(0, test::certificateOf(signer), std::nullopt));
}

TEST(SigningTime, UtcTimeUntil2049ThenGeneralizedTime) {
  EXPECT_EQ(signingTimeAttribute(0)->type, V_ASN1_UTCTIME);
  const auto late = signingTimeAttribute(2524608000);  // 2050-01-01
  EXPECT_EQ(late->type, V_ASN1_GENERALIZEDTIME);
  EXPECT_EQ(std::string(late->data.begin(), late->data.end()), "20500101000000Z");
}

TEST(SignedMessageDecoding, RefusesWhatIsNotOneCompleteStructure) {
  EXPECT_FALSE(SignedMessage::decode({}).has_value());
  const Bytes junk = {0x30, 0x03, 0x02, 0x01, 0x01};
  EXPECT_FALSE(SignedMessage::decode(junk).has_value());
}

}  // namespace
}  // namespace marqen::crypto
