#include "platform/crypto/name_text.h"

#include <gtest/gtest.h>
#include <openssl/asn1.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/crypto/openssl_ptr.h"

namespace marqen::crypto {
namespace {

using Bytes = std::vector<unsigned char>;

enum class Rdn { New, JoinPrevious };

X509NamePtr newName() {
  X509NamePtr name(X509_NAME_new());
  if (!name) throw std::bad_alloc();
  return name;
}

// UTF-8 text; OpenSSL picks the string type the attribute asks for (UTF8String for most,
// PrintableString for C, IA5String for E and DC).
void add(X509_NAME* name, const char* field, const std::string& value, Rdn rdn = Rdn::New) {
  const int ok = X509_NAME_add_entry_by_txt(
      name, field, MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(value.data()),
      static_cast<int>(value.size()), -1, rdn == Rdn::JoinPrevious ? -1 : 0);
  ASSERT_EQ(ok, 1) << field << "=" << value;
}

// A value of exactly the given ASN.1 type, with the given content bytes.
void addTyped(X509_NAME* name, const char* oid, int type, const Bytes& content,
              Rdn rdn = Rdn::New) {
  const Asn1ObjectPtr object(OBJ_txt2obj(oid, 1));
  ASSERT_TRUE(object) << oid;
  const X509NameEntryPtr entry(X509_NAME_ENTRY_create_by_OBJ(
      nullptr, object.get(), type, content.data(), static_cast<int>(content.size())));
  ASSERT_TRUE(entry) << oid;
  ASSERT_EQ(X509_NAME_add_entry(name, entry.get(), -1, rdn == Rdn::JoinPrevious ? -1 : 0), 1);
}

void addText(X509_NAME* name, const char* oid, int type, const std::string& text) {
  addTyped(name, oid, type, Bytes(text.begin(), text.end()));
}

// The name as a certificate carries it: encoded to DER and parsed back.
X509NamePtr reparsed(const X509_NAME* name) {
  unsigned char* der = nullptr;
  const int length = i2d_X509_NAME(name, &der);
  if (length <= 0) throw std::runtime_error("name cannot be encoded");
  const OpenSslMemory<unsigned char> owned(der);
  const unsigned char* in = owned.get();
  X509NamePtr parsed(d2i_X509_NAME(nullptr, &in, length));
  if (!parsed) throw std::runtime_error("name cannot be parsed");
  return parsed;
}

std::string textOfSingle(const char* field, const std::string& value) {
  const X509NamePtr name = newName();
  add(name.get(), field, value);
  return nameToText(name.get());
}

// ---------------------------------------------------------------------------------------------
// Order and structure

TEST(NameTextStructure, EmptyAndMissingNamesGiveEmptyText) {
  EXPECT_EQ(nameToText(nullptr), "");
  const X509NamePtr name = newName();
  EXPECT_EQ(nameToText(name.get()), "");
  EXPECT_EQ(nameToText(reparsed(name.get()).get()), "");
}

TEST(NameTextStructure, RelativeNamesRunFromLastToFirst) {
  const X509NamePtr name = newName();
  add(name.get(), "C", "IN");
  add(name.get(), "O", "Acme");
  add(name.get(), "OU", "Sales");
  add(name.get(), "OU", "North", Rdn::JoinPrevious);
  add(name.get(), "CN", "Smith, John");
  EXPECT_EQ(nameToText(name.get()), "CN=\"Smith, John\", OU=Sales + OU=North, O=Acme, C=IN");
}

TEST(NameTextStructure, MultiValuedRelativeNamesKeepTheirOrderWhereverTheyStand) {
  const X509NamePtr name = newName();
  add(name.get(), "DC", "com");
  add(name.get(), "DC", "example", Rdn::JoinPrevious);
  add(name.get(), "O", "Acme");
  add(name.get(), "CN", "Zed");
  add(name.get(), "SN", "Alpha", Rdn::JoinPrevious);
  add(name.get(), "givenName", "Mid", Rdn::JoinPrevious);
  EXPECT_EQ(nameToText(name.get()), "CN=Zed + SN=Alpha + G=Mid, O=Acme, DC=com + DC=example");
}

TEST(NameTextStructure, ParsedMultiValuedRelativeNameFollowsItsEncodedOrder) {
  // DER sorts the members of a relative name by their encoding, so a parsed name may list
  // them differently from the order they were added in; the text follows the encoding.
  const X509NamePtr name = newName();
  add(name.get(), "CN", "Root");
  add(name.get(), "OU", "Sales");
  add(name.get(), "OU", "North", Rdn::JoinPrevious);
  EXPECT_EQ(nameToText(name.get()), "OU=Sales + OU=North, CN=Root");
  EXPECT_EQ(nameToText(reparsed(name.get()).get()), "OU=North + OU=Sales, CN=Root");
}

TEST(NameTextStructure, RepeatedAttributesInSeparateRelativeNamesStaySeparate) {
  const X509NamePtr name = newName();
  add(name.get(), "OU", "A");
  add(name.get(), "OU", "B");
  add(name.get(), "OU", "C");
  EXPECT_EQ(nameToText(name.get()), "OU=C, OU=B, OU=A");
  EXPECT_EQ(nameToText(reparsed(name.get()).get()), "OU=C, OU=B, OU=A");
}

// ---------------------------------------------------------------------------------------------
// Keys

TEST(NameTextKeys, KnownAttributesUseTheirShortKeys) {
  const struct {
    const char* oid;
    const char* key;
  } cases[] = {
      {"2.5.4.3", "CN"},
      {"2.5.4.11", "OU"},
      {"2.5.4.10", "O"},
      {"2.5.4.7", "L"},
      {"2.5.4.8", "S"},
      {"2.5.4.6", "C"},
      {"1.2.840.113549.1.9.1", "E"},
      {"2.5.4.9", "STREET"},
      {"2.5.4.12", "T"},
      {"2.5.4.42", "G"},
      {"2.5.4.43", "I"},
      {"2.5.4.4", "SN"},
      {"0.9.2342.19200300.100.1.25", "DC"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(textOfSingle(c.oid, "XY"), std::string(c.key) + "=XY") << c.oid;
  }
}

TEST(NameTextKeys, OtherAttributesUseTheirDottedIdentifier) {
  const char* const oids[] = {
      "2.5.4.5",                    // serialNumber
      "2.5.4.17",                   // postalCode
      "2.5.4.97",                   // organizationIdentifier
      "0.9.2342.19200300.100.1.1",  // userId
      "1.3.6.1.4.1.311.60.2.1.3",   // jurisdiction country
      "1.3.6.1.4.1.99999.4242.7",   // nothing OpenSSL knows
  };
  for (const char* oid : oids) {
    const X509NamePtr name = newName();
    addText(name.get(), oid, V_ASN1_UTF8STRING, "v");
    EXPECT_EQ(nameToText(name.get()), std::string("OID.") + oid + "=v");
    EXPECT_EQ(nameToText(reparsed(name.get()).get()), std::string("OID.") + oid + "=v");
  }
}

TEST(NameTextKeys, EmailAndDomainComponentsInAFullName) {
  const X509NamePtr name = newName();
  add(name.get(), "DC", "com");
  add(name.get(), "DC", "example");
  add(name.get(), "CN", "Jane Doe");
  add(name.get(), "emailAddress", "jane.doe@example.com");
  add(name.get(), "serialNumber", "PNOIN-1234");
  EXPECT_EQ(nameToText(reparsed(name.get()).get()),
            "OID.2.5.4.5=PNOIN-1234, E=jane.doe@example.com, CN=Jane Doe, DC=example, DC=com");
}

// ---------------------------------------------------------------------------------------------
// Quoting

TEST(NameTextQuoting, EachSpecialCharacterQuotesTheValue) {
  const char* const values[] = {"a,b", "a+b",  "a=b",  "a<b",   "a>b", "a#b",
                                "a;b", "a\rb", "a\nb", "#lead", ",",   "trail;"};
  for (const char* value : values) {
    EXPECT_EQ(textOfSingle("CN", value), std::string("CN=\"") + value + "\"") << value;
  }
}

TEST(NameTextQuoting, WhiteSpaceAtEitherEndQuotesTheValue) {
  const char* const values[] = {" lead", "trail ", "\tlead", "trail\t", " both ", " ", "\r\n"};
  for (const char* value : values) {
    EXPECT_EQ(textOfSingle("CN", value), std::string("CN=\"") + value + "\"") << value;
  }
}

TEST(NameTextQuoting, EmptyValueIsQuoted) {
  const X509NamePtr name = newName();
  addText(name.get(), "2.5.4.10", V_ASN1_UTF8STRING, "");
  addText(name.get(), "2.5.4.3", V_ASN1_PRINTABLESTRING, "");
  EXPECT_EQ(nameToText(name.get()), "CN=\"\", O=\"\"");
  EXPECT_EQ(nameToText(reparsed(name.get()).get()), "CN=\"\", O=\"\"");
}

TEST(NameTextQuoting, DoubleQuotesAreDoubledInsideQuotes) {
  EXPECT_EQ(textOfSingle("CN", "say \"hi\""), "CN=\"say \"\"hi\"\"\"");
  EXPECT_EQ(textOfSingle("CN", "\""), "CN=\"\"\"\"");
  EXPECT_EQ(textOfSingle("O", "\"Acme\", Inc."), "O=\"\"\"Acme\"\", Inc.\"");
}

TEST(NameTextQuoting, OrdinaryPunctuationAndInnerBlanksStayAsTheyAre) {
  const char* const values[] = {"Smith John",  "a\tb",    "O'Brien", "a\\b", "a/b",
                                "a&b (c) [d]", "x.y-z_w", "50%",     "a:b",  "{}|~`!?@$^*"};
  for (const char* value : values) {
    EXPECT_EQ(textOfSingle("CN", value), std::string("CN=") + value) << value;
  }
}

TEST(NameTextQuoting, ValuesOfAMultiValuedRelativeNameAreQuotedOneByOne) {
  const X509NamePtr name = newName();
  add(name.get(), "OU", "R+D");
  add(name.get(), "OU", "Plain", Rdn::JoinPrevious);
  add(name.get(), "OU", " pad", Rdn::JoinPrevious);
  EXPECT_EQ(nameToText(name.get()), "OU=\"R+D\" + OU=Plain + OU=\" pad\"");
}

// ---------------------------------------------------------------------------------------------
// String values in their various encodings

TEST(NameTextStrings, NonAsciiTextComesOutAsUtf8) {
  EXPECT_EQ(textOfSingle("L", "Zürich"), "L=Zürich");
  EXPECT_EQ(textOfSingle("CN", "東京都 渋谷区"), "CN=東京都 渋谷区");
  EXPECT_EQ(textOfSingle("O", "Ωmega, Ltd"), "O=\"Ωmega, Ltd\"");
}

TEST(NameTextStrings, EveryStringTypeGivesTheSameTextForTheSameCharacters) {
  const std::string ascii = "Acme 42";
  // VisibleString is missing: OpenSSL refuses it (and OCTET STRING, INTEGER, ...) in a name.
  const int types[] = {V_ASN1_UTF8STRING, V_ASN1_PRINTABLESTRING, V_ASN1_IA5STRING,
                       V_ASN1_T61STRING};
  for (const int type : types) {
    const X509NamePtr name = newName();
    addText(name.get(), "2.5.4.10", type, ascii);
    EXPECT_EQ(nameToText(name.get()), "O=Acme 42") << type;
    EXPECT_EQ(nameToText(reparsed(name.get()).get()), "O=Acme 42") << type;
  }

  const X509NamePtr bmp = newName();
  addTyped(bmp.get(), "2.5.4.10", V_ASN1_BMPSTRING,
           {0, 'A', 0, 'c', 0, 'm', 0, 'e', 0, ' ', 0, '4', 0, '2'});
  EXPECT_EQ(nameToText(reparsed(bmp.get()).get()), "O=Acme 42");

  const X509NamePtr universal = newName();
  addTyped(universal.get(), "2.5.4.10", V_ASN1_UNIVERSALSTRING,
           {0, 0,   0, 'A', 0, 0,   0, 'c', 0, 0,   0, 'm', 0, 0,
            0, 'e', 0, 0,   0, ' ', 0, 0,   0, '4', 0, 0,   0, '2'});
  EXPECT_EQ(nameToText(reparsed(universal.get()).get()), "O=Acme 42");

  const X509NamePtr numeric = newName();
  addText(numeric.get(), "2.5.4.5", V_ASN1_NUMERICSTRING, "0042 17");
  EXPECT_EQ(nameToText(reparsed(numeric.get()).get()), "OID.2.5.4.5=0042 17");
}

TEST(NameTextStrings, WideAndLatinEncodingsOfNonAsciiTextMatchUtf8) {
  const std::string expected = "L=Zürich";

  const X509NamePtr utf8 = newName();
  addText(utf8.get(), "2.5.4.7", V_ASN1_UTF8STRING, "Zürich");
  const X509NamePtr bmp = newName();
  addTyped(bmp.get(), "2.5.4.7", V_ASN1_BMPSTRING,
           {0, 'Z', 0, 0xFC, 0, 'r', 0, 'i', 0, 'c', 0, 'h'});
  const X509NamePtr universal = newName();
  addTyped(universal.get(), "2.5.4.7", V_ASN1_UNIVERSALSTRING,
           {0, 0, 0, 'Z', 0, 0, 0, 0xFC, 0, 0, 0, 'r', 0, 0, 0, 'i', 0, 0, 0, 'c', 0, 0, 0, 'h'});
  const X509NamePtr latin = newName();
  addTyped(latin.get(), "2.5.4.7", V_ASN1_T61STRING, {'Z', 0xFC, 'r', 'i', 'c', 'h'});

  for (const X509_NAME* name : {utf8.get(), bmp.get(), universal.get(), latin.get()}) {
    EXPECT_EQ(nameToText(name), expected);
    EXPECT_EQ(nameToText(reparsed(name).get()), expected);
  }
}

TEST(NameTextStrings, CharactersBeyondTheBasicPlane) {
  // U+1F600 as a UTF-16 surrogate pair in a BMPString is not valid UCS-2; as UCS-4 it is.
  const X509NamePtr universal = newName();
  addTyped(universal.get(), "2.5.4.3", V_ASN1_UNIVERSALSTRING, {0, 0, 0, 'a', 0, 0x01, 0xF6, 0x00});
  EXPECT_EQ(nameToText(reparsed(universal.get()).get()), "CN=a\xF0\x9F\x98\x80");

  EXPECT_EQ(textOfSingle("CN", "a\xF0\x9F\x98\x80"), "CN=a\xF0\x9F\x98\x80");
}

TEST(NameTextStrings, QuotingAppliesToDecodedText) {
  // A comma that arrives as two bytes of a BMPString still quotes the value.
  const X509NamePtr name = newName();
  addTyped(name.get(), "2.5.4.3", V_ASN1_BMPSTRING, {0, 'a', 0, ',', 0, 'b'});
  EXPECT_EQ(nameToText(name.get()), "CN=\"a,b\"");
}

TEST(NameTextStrings, BytesInvalidForTheirStringTypeFallBackToHex) {
  // OpenSSL refuses to encode or parse such a name, but keeps one built in memory.
  const X509NamePtr name = newName();
  addTyped(name.get(), "2.5.4.3", V_ASN1_UTF8STRING, {'a', 0xC3});
  addTyped(name.get(), "2.5.4.3", V_ASN1_BMPSTRING, {0xD8, 0x00});  // lone surrogate
  addTyped(name.get(), "2.5.4.3", V_ASN1_UNIVERSALSTRING, {0x00, 0x11, 0x00, 0x00});
  EXPECT_EQ(nameToText(name.get()), "CN=#1C0400110000, CN=#1E02D800, CN=#0C0261C3");
}

// ---------------------------------------------------------------------------------------------
// Values that are not strings

TEST(NameTextOtherValues, SequenceIsHexOfItsDerAndNotQuoted) {
  const X509NamePtr name = newName();
  addTyped(name.get(), "2.5.4.3", V_ASN1_SEQUENCE, {0x30, 0x05, 0x02, 0x01, 0x05, 0x05, 0x00});
  add(name.get(), "O", "x");
  EXPECT_EQ(nameToText(name.get()), "O=x, CN=#30050201050500");
  EXPECT_EQ(nameToText(reparsed(name.get()).get()), "O=x, CN=#30050201050500");
}

TEST(NameTextOtherValues, BitStringIsHexOfItsDerWithUnusedBits) {
  // The DER of the value, not a tag glued to the stored bytes: 0xA0 leaves five unused bits.
  const X509NamePtr name = newName();
  addTyped(name.get(), "1.3.6.1.4.1.99999.1", V_ASN1_BIT_STRING, {0xDE, 0xAD, 0xbe, 0xA0});
  EXPECT_EQ(nameToText(name.get()), "OID.1.3.6.1.4.1.99999.1=#030505DEADBEA0");
  EXPECT_EQ(nameToText(reparsed(name.get()).get()), "OID.1.3.6.1.4.1.99999.1=#030505DEADBEA0");
}

TEST(NameTextOtherValues, OtherUniversalTypesAreHexToo) {
  const X509NamePtr name = newName();
  addTyped(name.get(), "1.2.3.4", 13, {0x2A, 0x03});  // RELATIVE-OID
  addTyped(name.get(), "1.2.3.5", V_ASN1_BIT_STRING, {}, Rdn::JoinPrevious);
  EXPECT_EQ(nameToText(name.get()), "OID.1.2.3.4=#0D022A03 + OID.1.2.3.5=#030100");
  EXPECT_EQ(nameToText(reparsed(name.get()).get()), "OID.1.2.3.5=#030100 + OID.1.2.3.4=#0D022A03");
}

TEST(NameTextOtherValues, LongValueUsesLongFormLength) {
  const X509NamePtr name = newName();
  addTyped(name.get(), "1.2.3.4", V_ASN1_BIT_STRING, Bytes(200, 0x5A));
  std::string expected = "OID.1.2.3.4=#0381C901";
  for (int i = 0; i < 200; ++i)
    expected += "5A";
  EXPECT_EQ(nameToText(reparsed(name.get()).get()), expected);
}

// ---------------------------------------------------------------------------------------------
// Names as certificates carry them

TEST(NameTextCertificates, SubjectAndIssuerOfASelfSignedCertificate) {
  const X509NamePtr subject = newName();
  add(subject.get(), "C", "CH");
  add(subject.get(), "ST", "Zürich");
  add(subject.get(), "L", "Zürich");
  add(subject.get(), "O", "Müller & Söhne AG");
  add(subject.get(), "OU", "IT; Security");
  add(subject.get(), "CN", "Müller, Hans");
  add(subject.get(), "emailAddress", "hans@example.ch", Rdn::JoinPrevious);

  const EvpPkeyPtr key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
  ASSERT_TRUE(key);
  const X509Ptr certificate(X509_new());
  ASSERT_TRUE(certificate);
  ASSERT_EQ(X509_set_version(certificate.get(), X509_VERSION_3), 1);
  ASSERT_EQ(X509_set_subject_name(certificate.get(), subject.get()), 1);
  ASSERT_EQ(X509_set_issuer_name(certificate.get(), subject.get()), 1);
  ASSERT_TRUE(X509_gmtime_adj(X509_getm_notBefore(certificate.get()), 0));
  ASSERT_TRUE(X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 3600));
  ASSERT_EQ(X509_set_pubkey(certificate.get(), key.get()), 1);
  ASSERT_GT(X509_sign(certificate.get(), key.get(), EVP_sha256()), 0);

  unsigned char* der = nullptr;
  const int length = i2d_X509(certificate.get(), &der);
  ASSERT_GT(length, 0);
  const OpenSslMemory<unsigned char> owned(der);
  const unsigned char* in = owned.get();
  const X509Ptr parsed(d2i_X509(nullptr, &in, length));
  ASSERT_TRUE(parsed);

  const std::string expected =
      "CN=\"Müller, Hans\" + E=hans@example.ch, OU=\"IT; Security\", O=Müller & Söhne AG, "
      "L=Zürich, S=Zürich, C=CH";
  EXPECT_EQ(nameToText(X509_get_subject_name(parsed.get())), expected);
  EXPECT_EQ(nameToText(X509_get_issuer_name(parsed.get())), expected);
}

}  // namespace
}  // namespace marqen::crypto
