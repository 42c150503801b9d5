// parseSignedData, the two validity exports, listing and viewing, called as a caller calls them.

#include <gtest/gtest.h>

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "Marqen_InterfaceV2.h"
#include "platform/crypto/base64.h"
#include "platform/os/host_program.h"
#include "platform/os/text.h"
#include "tests/support/pki_builder.h"
#include "tests/support/temp_cert_store.h"

namespace {

namespace crypto = marqen::crypto;
namespace test = marqen::test;
using test::Bytes;
using test::Issued;

constexpr const char* kDocumentName = "1.3.6.1.4.1.311.88.2.1";
constexpr const char* kComments = "1.3.6.1.4.1.311.88.2.2";
constexpr const char* kSigningTime = "1.2.840.113549.1.9.5";
constexpr const char* kInteger = "1.2.840.113549.1.9.25.4";
constexpr const char* kRootIssuer = "CN=Inspect Root, O=Marqen Test";

// One signer of a message made with OpenSSL, and what it puts in.
struct SignerSpec {
  SignerSpec(const Issued* signer) : who(signer) {}  // NOLINT(google-explicit-constructor)
  const Issued* who = nullptr;
  bool includeCertificate = true;
  bool noAttributes = false;  // no signed attributes at all, hence no signing time
  std::vector<std::pair<std::string, std::string>> utcTimes;  // (OID, "YYMMDDhhmmssZ")
  std::vector<std::pair<std::string, std::string>> octets;
  std::vector<std::pair<std::string, long>> integers;
  std::vector<std::pair<std::string, std::string>> unsignedOctets;
};

Bytes derOf(CMS_ContentInfo* cms) {
  unsigned char* out = nullptr;
  const int length = i2d_CMS_ContentInfo(cms, &out);
  Bytes der(out, out + (length > 0 ? length : 0));
  OPENSSL_free(out);
  return der;
}

void addAttribute(CMS_SignerInfo* si, const std::string& oid, int type, const void* bytes,
                  int length, bool isSigned = true) {
  const int ok = isSigned ? CMS_signed_add1_attr_by_txt(si, oid.c_str(), type, bytes, length)
                          : CMS_unsigned_add1_attr_by_txt(si, oid.c_str(), type, bytes, length);
  ASSERT_EQ(ok, 1);
}

Bytes makeMessage(const std::vector<SignerSpec>& signers, bool detached = false,
                  const std::string& content = "Annual accounts 2025.\n") {
  const unsigned flags = CMS_BINARY | CMS_PARTIAL | (detached ? CMS_DETACHED : 0U);
  crypto::CmsPtr cms(CMS_sign(nullptr, nullptr, nullptr, nullptr, flags));
  for (const auto& spec : signers) {
    unsigned signerFlags = flags;
    if (!spec.includeCertificate) signerFlags |= CMS_NOCERTS;
    if (spec.noAttributes) signerFlags |= CMS_NOATTR;
    CMS_SignerInfo* si = CMS_add1_signer(cms.get(), spec.who->certificate.get(),
                                         spec.who->key.get(), EVP_sha256(), signerFlags);
    EXPECT_NE(si, nullptr);
    for (const auto& [oid, text] : spec.utcTimes)
      addAttribute(si, oid, V_ASN1_UTCTIME, text.data(), static_cast<int>(text.size()));
    for (const auto& [oid, text] : spec.octets)
      addAttribute(si, oid, V_ASN1_OCTET_STRING, text.data(), static_cast<int>(text.size()));
    for (const auto& [oid, value] : spec.integers) {
      crypto::Asn1IntegerPtr number(ASN1_INTEGER_new());
      ASN1_INTEGER_set(number.get(), value);
      addAttribute(si, oid, V_ASN1_INTEGER, number.get(), -1);
    }
  }
  crypto::BioPtr data(BIO_new_mem_buf(content.data(), static_cast<int>(content.size())));
  EXPECT_EQ(CMS_final(cms.get(), data.get(), nullptr, flags), 1);
  // Unsigned attributes may follow the signatures.
  for (std::size_t i = 0; i < signers.size(); ++i) {
    CMS_SignerInfo* si = sk_CMS_SignerInfo_value(CMS_get0_SignerInfos(cms.get()), int(i));
    for (const auto& [oid, text] : signers[i].unsignedOctets)
      addAttribute(si, oid, V_ASN1_OCTET_STRING, text.data(), static_cast<int>(text.size()), false);
  }
  return derOf(cms.get());
}

Bytes pfxOf(const Issued& holder) {
  test::PfxOptions options;
  options.holder = &holder;
  return test::makePfx(options);
}

DataBuffer inMemory(const Bytes& bytes) {
  return DataBuffer{nullptr, const_cast<unsigned char*>(bytes.data()),
                    static_cast<int32_t>(bytes.size()), DATA_IN_MEMORY};
}

// A caller's SignedDataInfo, released the way a caller releases it.
struct Parsed {
  SignedDataInfo record{};
  SignedDataInfo* pointer = &record;
  ~Parsed() {
    for (int32_t i = 0; record.signers && i < record.signerCount; ++i) {
      SignerDetails* d = record.signers[i];
      if (!d) continue;
      std::free(d->issuerCertificate);
      std::free(d->authorityInfoAccessUrl);
      std::free(d->signerCertificate);
      std::free(d->subjectDN);
      std::free(d->issuerDN);
      std::free(d->serialNumber);
      for (int32_t a = 0; a < d->attributeCount; ++a) {
        std::free(d->attributes[a]->value);
        std::free(d->attributes[a]->oid);
        std::free(d->attributes[a]);
      }
      std::free(static_cast<void*>(d->attributes));
      std::free(d);
    }
    std::free(static_cast<void*>(record.signers));
  }
};

std::string text(const SignedAttribute* a) {
  return std::string(reinterpret_cast<const char*>(a->value),
                     static_cast<std::size_t>(a->valueLength));
}

class InspectExports : public ::testing::Test {
 protected:
  test::TempCertStore store;
  Issued root = makeRoot();
  // Signer infos are a SET, so a message lists them in DER order: of two otherwise alike,
  // Bob's (the lower serial) comes first.
  Issued alice = makeSigner("Alice", {0x20}, {"caIssuers;URI:http://ca.example.test/root.cer"});
  Issued bob = makeSigner("Bob", {0x10}, {"OCSP;email:ocsp@example.test"});

  void SetUp() override { store.add("ROOT", "root", root); }

  // Long-lived, so that every certificate below nests within it.
  static Issued makeRoot() {
    test::CertificateOptions options;
    options.subject = test::makeName({"O=Marqen Test", "CN=Inspect Root"});
    options.notBefore = 1100000000;  // 2004
    options.notAfter = 2100000000;   // 2036
    options.basicConstraints = "critical,CA:TRUE";
    options.keyUsage = "critical,keyCertSign,cRLSign";
    return test::issueCertificate(std::move(options));
  }

  Issued makeSigner(const std::string& name, Bytes serial, std::vector<std::string> access) {
    test::CertificateOptions options;
    options.serial = std::move(serial);
    options.subject = test::makeName({"O=Marqen Test", "CN=" + name});
    options.issuer = &root;
    options.notAfter = 2000000000;
    options.keyUsage = "critical,digitalSignature";
    options.authorityInfoAccess = std::move(access);
    return test::issueCertificate(std::move(options));
  }
};

TEST_F(InspectExports, ParseReportsTheSignerItsCertificatesAndKnownAttributes) {
  SignerSpec spec{&alice};
  spec.utcTimes = {{kSigningTime, "080101000000Z"}};
  spec.octets = {{kDocumentName, "report.pdf"}, {kComments, "final"}, {"1.2.3.4", "unknown"}};
  spec.integers = {{kInteger, -5}};
  spec.unsignedOctets = {{kComments, "unsigned note"}};
  const Bytes message = makeMessage({spec});
  // Base64 text with line breaks reads the same as the DER.
  const std::string base64 = crypto::encodeBase64(message);
  for (const Bytes& input : {message, Bytes(base64.begin(), base64.end())}) {
    DataBuffer buffer = inMemory(input);
    Parsed parsed;
    ASSERT_EQ(parseSignedData(&buffer, &parsed.pointer), 0);
    ASSERT_EQ(parsed.record.signerCount, 1);
    const SignerDetails& d = *parsed.record.signers[0];
    EXPECT_EQ(marqen::os::toUtf8(d.subjectDN), "CN=Alice, O=Marqen Test");
    EXPECT_EQ(marqen::os::toUtf8(d.issuerDN), kRootIssuer);
    std::string serial;
    for (unsigned char b : test::serialOf(alice)) {
      char two[3];
      std::snprintf(two, sizeof two, "%02X", b);
      serial += two;
    }
    EXPECT_STREQ(d.serialNumber, serial.c_str());
    EXPECT_EQ(d.validTo, 2000000000);
    EXPECT_EQ(crypto::decodeBase64(d.signerCertificate), alice.der());
    EXPECT_EQ(d.signerCertificateLength, static_cast<int32_t>(std::strlen(d.signerCertificate)));
    ASSERT_NE(d.issuerCertificate, nullptr);
    EXPECT_EQ(crypto::decodeBase64(d.issuerCertificate), root.der());
    EXPECT_EQ(marqen::os::toUtf8(d.authorityInfoAccessUrl), "http://ca.example.test/root.cer");

    // The known ones among the signed attributes (a SET, so in DER order), then the unsigned
    // ones; content type, message digest and unknown OIDs skipped.
    struct Expected {
      std::string oid;
      std::string value;
      int32_t auth, type;
      bool operator<(const Expected& o) const {
        return std::tie(oid, value) < std::tie(o.oid, o.value);
      }
      bool operator==(const Expected& o) const = default;
    };
    std::vector<Expected> expected = {
        {kSigningTime, "1199145600", ATTR_AUTHENTICATED, ATTR_TIME},
        {kDocumentName, "report.pdf", ATTR_AUTHENTICATED, ATTR_OCTET_STRING},
        {kComments, "final", ATTR_AUTHENTICATED, ATTR_OCTET_STRING},
        {kInteger, "-5", ATTR_AUTHENTICATED, ATTR_INTEGER},
    };
    std::vector<Expected> found;
    for (int32_t i = 0; i < d.attributeCount; ++i) {
      const SignedAttribute* a = d.attributes[i];
      EXPECT_EQ(a->value[a->valueLength], 0) << i;
      found.push_back({a->oid, text(a), a->authenticationType, a->dataType});
    }
    ASSERT_EQ(found.size(), 5U);
    EXPECT_EQ(found.back(),
              (Expected{kComments, "unsigned note", ATTR_UNAUTHENTICATED, ATTR_OCTET_STRING}));
    found.pop_back();
    std::sort(found.begin(), found.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected);
    // Room for every attribute of the signer information and a null after them.
    EXPECT_EQ(d.attributes[d.attributeCount], nullptr);
  }
}

TEST_F(InspectExports, ParseCasesOfSignersAndCertificates) {
  SignerSpec withoutCertificate{&bob};
  withoutCertificate.includeCertificate = false;
  SignerSpec aliceWithoutCertificate{&alice};
  aliceWithoutCertificate.includeCertificate = false;
  SignerSpec twice{&alice};
  twice.octets = {{kDocumentName, "first.txt"}, {kDocumentName, "second.txt"}};
  const Issued stranger = test::makeEndEntity("Stranger", test::makeRootCa("Elsewhere Root"));

  struct Case {
    const char* name;
    Bytes message;
    int32_t signers;
    std::vector<bool> present;
  };
  const std::vector<Case> cases = {
      {"detached", makeMessage({{&alice}}, true), 1, {true}},
      {"second signer's certificate missing",
       makeMessage({{&bob}, aliceWithoutCertificate}),
       2,
       {true, false}},
      {"first signer's certificate missing ends the walk",
       makeMessage({withoutCertificate, {&alice}}),
       2,
       {false, false}},
      {"repeated attribute", makeMessage({twice}), 1, {true}},
      {"issuer not installed", makeMessage({{&stranger}}), 1, {true}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DataBuffer buffer = inMemory(c.message);
    Parsed parsed;
    ASSERT_EQ(parseSignedData(&buffer, &parsed.pointer), 0);
    ASSERT_EQ(parsed.record.signerCount, c.signers);
    for (std::size_t i = 0; i < c.present.size(); ++i)
      EXPECT_EQ(parsed.record.signers[i] != nullptr, c.present[i]) << i;
  }

  DataBuffer buffer = inMemory(cases[3].message);
  Parsed repeated;
  ASSERT_EQ(parseSignedData(&buffer, &repeated.pointer), 0);
  const SignerDetails& d = *repeated.record.signers[0];
  // Both entries carry the value of the first attribute with the OID.
  std::vector<std::string> names;
  for (int32_t i = 0; i < d.attributeCount; ++i)
    if (std::string(d.attributes[i]->oid) == kDocumentName) names.push_back(text(d.attributes[i]));
  EXPECT_EQ(names, (std::vector<std::string>{"first.txt", "first.txt"}));

  buffer = inMemory(cases[4].message);
  Parsed foreign;
  ASSERT_EQ(parseSignedData(&buffer, &foreign.pointer), 0);
  EXPECT_EQ(foreign.record.signers[0]->issuerCertificate, nullptr);
  EXPECT_EQ(foreign.record.signers[0]->issuerCertificateLength, 0);
  EXPECT_EQ(foreign.record.signers[0]->authorityInfoAccessUrl, nullptr);
}

TEST_F(InspectExports, ParseAuthorityInfoAccessThatIsNotAUriIsAnEmptyText) {
  const Bytes message = makeMessage({{&bob}});
  DataBuffer buffer = inMemory(message);
  Parsed parsed;
  ASSERT_EQ(parseSignedData(&buffer, &parsed.pointer), 0);
  ASSERT_NE(parsed.record.signers[0]->authorityInfoAccessUrl, nullptr);
  EXPECT_EQ(parsed.record.signers[0]->authorityInfoAccessUrl[0], u'\0');
}

// On every failure the caller's record stays as it was: nothing to free, nothing half-set.
TEST_F(InspectExports, ParseFailuresLeaveTheRecordAsItWas) {
  SignerSpec badValue{&alice};
  badValue.integers = {{kDocumentName, 7}};  // a document name that is not an OCTET STRING
  // The stranger's issuer name is longer, so its signer info comes second.
  const Issued stranger = test::makeEndEntity("Stranger", test::makeRootCa("Elsewhere Root"));
  const Bytes good = makeMessage({{&alice}, {&stranger}});
  const Bytes undecodable = makeMessage({{&bob}, badValue});
  crypto::CmsPtr certsOnly(CMS_sign(nullptr, nullptr, nullptr, nullptr, CMS_PARTIAL));
  const Bytes noSigners = derOf(certsOnly.get());
  const Bytes notSigned = {0x30, 0x03, 0x02, 0x01, 0x01};

  struct Case {
    const char* name;
    const Bytes* message;
    const char16_t* trustedName;
    ErrorCode code;
  };
  const std::vector<Case> cases = {
      {"attribute that does not decode, after a good signer", &undecodable, nullptr, 1303},
      {"no signers", &noSigners, nullptr, 1302},
      {"not signed data", &notSigned, nullptr, 1005},
      // Last: a list once set stays in force while the library is loaded.
      {"second signer refused by the trusted CA list", &good, u"Inspect Root", 1431},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.trustedName) {
      ASSERT_EQ(setTrustedCANames(&c.trustedName, 1), 0);
    }
    DataBuffer buffer = inMemory(*c.message);
    SignerDetails* sentinel[1] = {};
    SignedDataInfo record{-7, sentinel};
    SignedDataInfo* pointer = &record;
    EXPECT_EQ(parseSignedData(&buffer, &pointer), c.code);
    EXPECT_EQ(record.signerCount, -7);
    EXPECT_EQ(record.signers, sentinel);
  }
}

TEST_F(InspectExports, ParseArgumentChecksInOrder) {
  const Bytes message = makeMessage({{&alice}});
  DataBuffer good = inMemory(message);
  DataBuffer noPointers{nullptr, nullptr, 5, DATA_IN_MEMORY};
  DataBuffer noLength = inMemory(message);
  noLength.length = 0;
  DataBuffer badKind = inMemory(message);
  badKind.kind = 9;
  Parsed parsed;
  SignedDataInfo* nullRecord = nullptr;
  EXPECT_EQ(parseSignedData(nullptr, &parsed.pointer), 102);
  EXPECT_EQ(parseSignedData(&noPointers, &parsed.pointer), 102);
  EXPECT_EQ(parseSignedData(&noLength, &parsed.pointer), 101);
  EXPECT_EQ(parseSignedData(&badKind, &parsed.pointer), 103);
  EXPECT_EQ(parseSignedData(&good, nullptr), 127);
  EXPECT_EQ(parseSignedData(&good, &nullRecord), 127);
}

// Verdicts on the signer's certificate of a message.
TEST_F(InspectExports, VerifySignerCertificateRecordsFourVerdicts) {
  test::CertificateOptions options;
  options.subject = test::makeName({"O=Marqen Test", "CN=Expired Since"});
  options.issuer = &root;
  options.notBefore = 1199000000;  // 2007-12-30
  options.notAfter = 1262304000;   // 2010-01-01
  options.keyUsage = "critical,digitalSignature";
  const Issued expired = test::issueCertificate(std::move(options));
  SignerSpec inTime{&expired};
  inTime.utcTimes = {{kSigningTime, "090101000000Z"}};
  SignerSpec now{&alice};

  struct Case {
    const char* name;
    Bytes message;
    int32_t mode, level;
    SignerCertificateStatus expected;
  };
  const std::vector<Case> cases = {
      {"good, revocation not checked",
       makeMessage({now}),
       REVOCATION_OFFLINE,
       REVOCATION_NONE,
       {0, 0, 0, 0}},
      {"expired since signing",
       makeMessage({inTime}),
       REVOCATION_OFFLINE,
       REVOCATION_NONE,
       {1421, 1432, 1509, 0}},
      {"bad level is a verdict", makeMessage({now}), REVOCATION_ONLINE, 4, {0, 0, 124, 0}},
      {"bad mode is a verdict", makeMessage({now}), 3, REVOCATION_NONE, {0, 0, 125, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DataBuffer buffer = inMemory(c.message);
    VerifySignerCertificateRequest request{0, &buffer, c.mode, c.level};
    SignerCertificateStatus status{-1, -1, -1, -1};
    SignerCertificateStatus* pointer = &status;
    ASSERT_EQ(verifySignerCertificate(&request, 0, &pointer), 0);
    EXPECT_EQ(status.currentTimeValidity, c.expected.currentTimeValidity);
    EXPECT_EQ(status.chainValidity, c.expected.chainValidity);
    EXPECT_EQ(status.chainTrust, c.expected.chainTrust);
    EXPECT_EQ(status.signingTimeValidity, c.expected.signingTimeValidity);
  }
}

TEST_F(InspectExports, VerifySignerCertificateFailuresLeaveTheStatusUntouched) {
  SignerSpec noTime{&alice};
  noTime.noAttributes = true;
  SignerSpec badTime{&alice};
  badTime.octets = {{kSigningTime, "not a time"}};
  SignerSpec noCertificate{&alice};
  noCertificate.includeCertificate = false;
  const Issued encipherOnly = test::makeEndEntity("Encipher Only", root, "keyEncipherment");

  struct Case {
    const char* name;
    Bytes message;
    int32_t index;
    ErrorCode code;
  };
  const std::vector<Case> cases = {
      {"index past the last signer", makeMessage({{&alice}}), 1, 1602},
      {"negative index", makeMessage({{&alice}}), -1, 1601},
      {"no signing time", makeMessage({noTime}), 0, 1603},
      {"signing time that does not decode", makeMessage({badTime}), 0, 1604},
      {"certificate not in the message", makeMessage({noCertificate}), 0, 308},
      {"certificate without digital signature", makeMessage({{&encipherOnly}}), 0, 301},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DataBuffer buffer = inMemory(c.message);
    VerifySignerCertificateRequest request{0, &buffer, REVOCATION_OFFLINE, REVOCATION_NONE};
    SignerCertificateStatus status{-1, -1, -1, -1};
    SignerCertificateStatus* pointer = &status;
    EXPECT_EQ(verifySignerCertificate(&request, c.index, &pointer), c.code);
    EXPECT_EQ(status.currentTimeValidity, -1);
    EXPECT_EQ(status.signingTimeValidity, -1);
  }

  const Bytes message = makeMessage({{&alice}});
  DataBuffer buffer = inMemory(message);
  VerifySignerCertificateRequest request{0, &buffer, REVOCATION_OFFLINE, REVOCATION_NONE};
  SignerCertificateStatus* nullStatus = nullptr;
  EXPECT_EQ(verifySignerCertificate(nullptr, 0, &nullStatus), 102);
  EXPECT_EQ(verifySignerCertificate(&request, 0, nullptr), 127);
  EXPECT_EQ(verifySignerCertificate(&request, 0, &nullStatus), 127);
  DataBuffer noData{nullptr, nullptr, 4, DATA_IN_MEMORY};
  request.signedData = &noData;
  EXPECT_EQ(verifySignerCertificate(&request, 0, nullptr), 1001);
}

class ValidityExports : public InspectExports {
 protected:
  test::TempDir dir;
  Issued intermediate = test::makeIntermediateCa("Inspect Intermediate", root);

  Issued issue(const std::string& name, const Issued& issuer, std::int64_t notBefore,
               std::int64_t notAfter) {
    test::CertificateOptions options;
    options.subject = test::makeName({"O=Marqen Test", "CN=" + name});
    options.issuer = &issuer;
    options.notBefore = notBefore;
    options.notAfter = notAfter;
    options.keyUsage = "critical,digitalSignature";
    return test::issueCertificate(std::move(options));
  }
  static std::string serialText(const Issued& issued) {
    std::string text;
    for (unsigned char b : test::serialOf(issued)) {
      char two[3];
      std::snprintf(two, sizeof two, "%02X", b);
      text += two;
    }
    return text;
  }
};

TEST_F(ValidityExports, CheckCertificateValidityJudgesAtTheGivenTimeAndTheChainNow) {
  const std::int64_t now = std::time(nullptr);
  const Issued current = issue("Current", root, now - 86400, now + 86400 * 30);
  const Issued expired = issue("Expired", root, 1199000000, 1262304000);
  const Issued future = issue("Future", root, now + 86400 * 10, now + 86400 * 30);
  test::CertificateOptions lapsedOptions;
  lapsedOptions.subject = test::makeName({"O=Marqen Test", "CN=Lapsed Intermediate"});
  lapsedOptions.issuer = &root;
  lapsedOptions.notBefore = 1199000000;
  lapsedOptions.notAfter = 1262304000;
  lapsedOptions.basicConstraints = "critical,CA:TRUE";
  lapsedOptions.keyUsage = "critical,keyCertSign,cRLSign";
  const Issued lapsed = test::issueCertificate(std::move(lapsedOptions));
  const Issued underLapsed = issue("Under Lapsed", lapsed, now - 86400, now + 86400 * 30);
  store.add("CA", "lapsed", lapsed);
  for (const auto* issued : {&current, &expired, &future, &underLapsed})
    store.add("MY", serialText(*issued), *issued);

  struct Case {
    const char* name;
    const Issued* certificate;
    const char16_t* issuer;
    int32_t validityTime;
    ErrorCode code;
  };
  const std::vector<Case> cases = {
      {"valid now", &current, u"CN=Inspect Root, O=Marqen Test", 0, 0},
      {"expired, judged now", &expired, u"CN=Inspect Root, O=Marqen Test", 0, 1411},
      {"expired, judged inside its validity: the chain is judged now", &expired,
       u"CN=Inspect Root, O=Marqen Test", 1230768000, 1432},
      {"time before notBefore", &future, u"CN=Inspect Root, O=Marqen Test", 0, 1412},
      {"intermediate expired", &underLapsed, u"CN=Lapsed Intermediate, O=Marqen Test", 0, 1432},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string serial = serialText(*c.certificate);
    EXPECT_EQ(checkCertificateValidity(c.issuer, serial.c_str(), STORE_PERSONAL, nullptr, nullptr,
                                       SIGNING_CERTIFICATE, c.validityTime),
              c.code);
  }
}

TEST_F(ValidityExports, CheckCertificateValiditySourcesAndArguments) {
  const std::int64_t now = std::time(nullptr);
  const Issued current = issue("Current", root, now - 86400, now + 86400 * 30);
  store.add("MY", "current", current);
  test::writeBytes(dir.file("plain.pfx"), pfxOf(current));
  const std::string serial = serialText(current);
  const std::u16string pfx = marqen::os::toUtf16(dir.file("plain.pfx"));
  const std::u16string missing = marqen::os::toUtf16(dir.file("missing.pfx"));
  const char16_t* issuer = u"CN=Inspect Root, O=Marqen Test";

  // The store wins when issuer and serial are given: the missing PFX file is never opened.
  EXPECT_EQ(checkCertificateValidity(issuer, serial.c_str(), STORE_PERSONAL, missing.c_str(), u"",
                                     SIGNING_CERTIFICATE, 0),
            0);
  // An empty password is a password; a null one is none given.
  EXPECT_EQ(checkCertificateValidity(nullptr, nullptr, 0, pfx.c_str(), u"", SIGNING_CERTIFICATE, 0),
            0);
  EXPECT_EQ(
      checkCertificateValidity(nullptr, nullptr, 0, pfx.c_str(), nullptr, SIGNING_CERTIFICATE, 0),
      102);
  EXPECT_EQ(
      checkCertificateValidity(issuer, serial.c_str(), STORE_PERSONAL, nullptr, nullptr, 3, 0),
      117);
  EXPECT_EQ(
      checkCertificateValidity(issuer, serial.c_str(), 3, nullptr, nullptr, SIGNING_CERTIFICATE, 0),
      126);
  EXPECT_EQ(checkCertificateValidity(issuer, serial.c_str(), STORE_PERSONAL, nullptr, nullptr,
                                     ENCRYPTION_CERTIFICATE, 0),
            309);
}

struct Listing {
  CertificateSummary** list = nullptr;
  int32_t count = -1;
  ~Listing() {
    for (int32_t i = 0; list && list[i]; ++i) {
      std::free(list[i]->issuerName);
      std::free(list[i]->serialNumberHex);
      std::free(list[i]->subjectName);
      std::free(list[i]);
    }
    std::free(static_cast<void*>(list));
  }
  std::vector<std::string> subjects() const {
    std::vector<std::string> names;
    for (int32_t i = 0; i < count; ++i)
      names.push_back(marqen::os::toUtf8(list[i]->subjectName));
    return names;
  }
};

TEST_F(ValidityExports, ListingKeepsWhatIsFitForTheUseNowInStoreOrder) {
  const Issued both = [&] {
    test::CertificateOptions options;
    options.subject = test::makeName({"O=Marqen Test", "CN=Both Uses"});
    options.issuer = &root;
    return test::issueCertificate(std::move(options));
  }();
  const Issued expired = issue("Expired", root, 1199000000, 1262304000);
  const Issued noUsage = [&] {
    test::CertificateOptions options;
    options.subject = test::makeName({"O=Marqen Test", "CN=No Usage"});
    options.issuer = &root;
    options.keyUsage = std::nullopt;
    return test::issueCertificate(std::move(options));
  }();
  const Issued otherRoot = test::makeRootCa("Other Root");
  const Issued foreign = test::makeEndEntity("Foreign", otherRoot);
  store.add("ROOT", "other", otherRoot);
  store.add("MY", "1", alice);
  store.add("MY", "2", expired);
  store.add("MY", "3", noUsage);
  store.add("MY", "4", both);
  store.add("MY", "5", foreign);

  struct Case {
    const char* name;
    int32_t type;
    const char16_t* trustedName;
    std::vector<std::string> subjects;
  };
  const std::vector<Case> cases = {
      {"signing",
       SIGNING_CERTIFICATE,
       nullptr,
       {"CN=Alice, O=Marqen Test", "CN=Both Uses, O=Marqen Test", "CN=Foreign, O=Marqen Test"}},
      {"encryption", ENCRYPTION_CERTIFICATE, nullptr, {"CN=Both Uses, O=Marqen Test"}},
      // Last: a list once set stays in force while the library is loaded.
      {"signing under one hierarchy",
       SIGNING_CERTIFICATE,
       u"inspect root",
       {"CN=Alice, O=Marqen Test", "CN=Both Uses, O=Marqen Test"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.trustedName) {
      ASSERT_EQ(setTrustedCANames(&c.trustedName, 1), 0);
    }
    Listing listing;
    ASSERT_EQ(listAllCertificatesFromStore(c.type, STORE_PERSONAL, &listing.list, &listing.count),
              0);
    EXPECT_EQ(listing.subjects(), c.subjects);
    EXPECT_EQ(listing.list[listing.count], nullptr);
    EXPECT_EQ(listing.list[0]->certificateType, 0);
    EXPECT_EQ(marqen::os::toUtf8(listing.list[0]->issuerName), kRootIssuer);
  }
}

TEST_F(ValidityExports, ListingOfAnEmptyStoreAndArgumentChecks) {
  Listing empty;
  ASSERT_EQ(listAllCertificatesFromStore(SIGNING_CERTIFICATE, STORE_OTHER_PEOPLE, &empty.list,
                                         &empty.count),
            0);
  EXPECT_EQ(empty.count, 0);
  ASSERT_NE(empty.list, nullptr);
  EXPECT_EQ(empty.list[0], nullptr);

  Listing untouched;
  EXPECT_EQ(listAllCertificatesFromStore(3, STORE_PERSONAL, &untouched.list, &untouched.count),
            117);
  EXPECT_EQ(listAllCertificatesFromStore(SIGNING_CERTIFICATE, 0, &untouched.list, &untouched.count),
            126);
  EXPECT_EQ(
      listAllCertificatesFromStore(SIGNING_CERTIFICATE, STORE_PERSONAL, nullptr, &untouched.count),
      127);
  EXPECT_EQ(
      listAllCertificatesFromStore(SIGNING_CERTIFICATE, STORE_PERSONAL, &untouched.list, nullptr),
      127);
  EXPECT_EQ(untouched.list, nullptr);
  EXPECT_EQ(untouched.count, -1);
}

// The viewer is a stand-in program that keeps a copy of the file it was given.
class ViewerExports : public ValidityExports {
 protected:
  std::string viewer = dir.file("viewer.sh");
  std::string copy = dir.file("shown.crt");
  std::string argument = dir.file("argument.txt");

  void SetUp() override {
    ValidityExports::SetUp();
    test::writeFile(viewer, "#!/bin/sh\ncp \"$1\" \"" + copy + "\"\necho \"$1\" > \"" + argument +
                                "\"\nexit 3\n");
    std::filesystem::permissions(viewer, std::filesystem::perms::owner_all);
    ::setenv("MARQEN_CERT_VIEWER", viewer.c_str(), 1);
    ::setenv("DISPLAY", ":99", 1);
    ::unsetenv("WAYLAND_DISPLAY");
  }
  void TearDown() override {
    ::unsetenv("MARQEN_CERT_VIEWER");
    ::unsetenv("DISPLAY");
  }
  Bytes shown() const {
    const std::string bytes = test::readFile(copy);
    return Bytes(bytes.begin(), bytes.end());
  }
};

TEST_F(ViewerExports, ShowsTheChosenCertificateAsATemporaryDerFile) {
  store.add("MY", "alice", alice);
  const std::string serial = serialText(alice);
  const std::string bobBase64 = crypto::encodeBase64(bob.der());
  // The store's certificate wins over a certificate string.
  ASSERT_EQ(viewCertificate(u"CN=Inspect Root, O=Marqen Test", serial.c_str(), STORE_PERSONAL,
                            nullptr, nullptr, bobBase64.c_str(),
                            static_cast<int32_t>(bobBase64.size()), SIGNING_CERTIFICATE),
            0);
  EXPECT_EQ(shown(), alice.der());
  std::string path = test::readFile(argument);
  path.pop_back();
  EXPECT_TRUE(path.ends_with(".crt")) << path;
  EXPECT_FALSE(std::filesystem::exists(path)) << "the temporary file is removed";

  // An expired certificate is shown as well; the viewer's own result is not examined.
  const Issued expired = issue("Expired", root, 1199000000, 1262304000);
  const std::string expiredBase64 = crypto::encodeBase64(expired.der());
  ASSERT_EQ(viewCertificate(nullptr, nullptr, 0, nullptr, nullptr, expiredBase64.c_str(),
                            static_cast<int32_t>(expiredBase64.size()), SIGNING_CERTIFICATE),
            0);
  EXPECT_EQ(shown(), expired.der());
}

TEST_F(ViewerExports, AViewerThatCannotRunIs2201WithItsLogLine) {
  const std::string base64 = crypto::encodeBase64(alice.der());
  const std::string missingLibrary = dir.file("needs-library.sh");
  test::writeFile(missingLibrary, "#!/bin/sh\nexit 127\n");
  std::filesystem::permissions(missingLibrary, std::filesystem::perms::owner_all);
  const std::string log = marqen::os::hostProgramFolder() + "/Logs/logFile.txt";

  struct Case {
    const char* name;
    const char* program;
    const char* display;
  };
  const std::vector<Case> cases = {
      {"no graphical session", viewer.c_str(), nullptr},
      {"program not there", "/nonexistent/viewer", ":99"},
      {"program that lacks what it needs", missingLibrary.c_str(), ":99"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ::setenv("MARQEN_CERT_VIEWER", c.program, 1);
    if (c.display)
      ::setenv("DISPLAY", c.display, 1);
    else
      ::unsetenv("DISPLAY");
    std::filesystem::remove(log);
    EXPECT_EQ(viewCertificate(nullptr, nullptr, 0, nullptr, nullptr, base64.c_str(),
                              static_cast<int32_t>(base64.size()), SIGNING_CERTIFICATE),
              2201);
    EXPECT_NE(test::readFile(log).find("viewCertificate: Error loading library"),
              std::string::npos);
  }
  EXPECT_FALSE(std::filesystem::exists(copy));
}

TEST_F(ViewerExports, SourcesAndChecksBeforeTheViewer) {
  const std::string base64 = crypto::encodeBase64(alice.der());
  test::writeBytes(dir.file("plain.pfx"), pfxOf(bob));
  const std::u16string pfx = marqen::os::toUtf16(dir.file("plain.pfx"));
  // A PFX path with a null password beats the certificate string and opens without password.
  EXPECT_EQ(viewCertificate(nullptr, nullptr, 0, pfx.c_str(), nullptr, base64.c_str(),
                            static_cast<int32_t>(base64.size()), SIGNING_CERTIFICATE),
            0);
  EXPECT_EQ(shown(), bob.der());
  std::filesystem::remove(copy);

  EXPECT_EQ(viewCertificate(nullptr, nullptr, 0, nullptr, nullptr, base64.c_str(), 0,
                            SIGNING_CERTIFICATE),
            102);
  EXPECT_EQ(viewCertificate(nullptr, nullptr, 0, nullptr, nullptr, base64.c_str(),
                            static_cast<int32_t>(base64.size()), 0),
            117);
  EXPECT_EQ(viewCertificate(u"CN=Inspect Root, O=Marqen Test", "01", 5, nullptr, nullptr, nullptr,
                            0, SIGNING_CERTIFICATE),
            126);
  EXPECT_EQ(viewCertificate(nullptr, nullptr, 0, nullptr, nullptr, base64.c_str(),
                            static_cast<int32_t>(base64.size()), ENCRYPTION_CERTIFICATE),
            309);
  const char16_t* elsewhere = u"Elsewhere Root";
  ASSERT_EQ(setTrustedCANames(&elsewhere, 1), 0);
  EXPECT_EQ(viewCertificate(nullptr, nullptr, 0, nullptr, nullptr, base64.c_str(),
                            static_cast<int32_t>(base64.size()), SIGNING_CERTIFICATE),
            1442);
  EXPECT_FALSE(std::filesystem::exists(copy));
}

}  // namespace
