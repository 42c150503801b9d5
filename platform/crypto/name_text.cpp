#include "platform/crypto/name_text.h"

#include <openssl/asn1.h>
#include <openssl/objects.h>

#include <cstddef>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/crypto/openssl_ptr.h"

namespace marqen::crypto {
namespace {

std::string_view keyOf(int nid) {
  switch (nid) {
    case NID_commonName:
      return "CN";
    case NID_organizationalUnitName:
      return "OU";
    case NID_organizationName:
      return "O";
    case NID_localityName:
      return "L";
    case NID_stateOrProvinceName:
      return "S";
    case NID_countryName:
      return "C";
    case NID_pkcs9_emailAddress:
      return "E";
    case NID_streetAddress:
      return "STREET";
    case NID_title:
      return "T";
    case NID_givenName:
      return "G";
    case NID_initials:
      return "I";
    case NID_surname:
      return "SN";
    case NID_domainComponent:
      return "DC";
    default:
      return {};
  }
}

std::string keyText(const ASN1_OBJECT* object) {
  const std::string_view key = keyOf(OBJ_obj2nid(object));
  if (!key.empty()) return std::string(key);

  const int length = OBJ_obj2txt(nullptr, 0, object, 1);
  if (length <= 0) throw std::runtime_error("attribute type of a name has no dotted form");
  std::string dotted(static_cast<std::size_t>(length) + 1, '\0');
  OBJ_obj2txt(dotted.data(), length + 1, object, 1);
  dotted.resize(static_cast<std::size_t>(length));
  return "OID." + dotted;
}

// DER of an attribute value. OpenSSL keeps a SEQUENCE value as its complete encoding, which ANY
// writes back unchanged, and every other value as its content octets.
std::vector<unsigned char> valueDer(const ASN1_STRING* value) {
  const int type = ASN1_STRING_type(value);
  // ASN1_TYPE holds these as something other than a string; no decoded name carries them.
  if (type == V_ASN1_OBJECT || type == V_ASN1_BOOLEAN || type == V_ASN1_NULL) {
    throw std::runtime_error("attribute value of a name has an unsupported type");
  }
  const Asn1TypePtr any(ASN1_TYPE_new());
  if (!any || ASN1_TYPE_set1(any.get(), type, value) != 1) throw std::bad_alloc();
  const int length = i2d_ASN1_TYPE(any.get(), nullptr);
  if (length <= 0) throw std::runtime_error("attribute value of a name cannot be encoded");
  std::vector<unsigned char> der(static_cast<std::size_t>(length));
  unsigned char* out = der.data();
  i2d_ASN1_TYPE(any.get(), &out);
  return der;
}

bool isStringType(int type) {
  switch (type) {
    case V_ASN1_UTF8STRING:
    case V_ASN1_PRINTABLESTRING:
    case V_ASN1_IA5STRING:
    case V_ASN1_T61STRING:
    case V_ASN1_BMPSTRING:
    case V_ASN1_UNIVERSALSTRING:
    case V_ASN1_NUMERICSTRING:
    case V_ASN1_VISIBLESTRING:
      return true;
    default:
      return false;
  }
}

bool toUtf8(const ASN1_STRING* value, std::string& text) {
  unsigned char* raw = nullptr;
  const int length = ASN1_STRING_to_UTF8(&raw, value);
  if (length < 0) return false;
  const OpenSslMemory<unsigned char> owned(raw);
  if (length > 0) {
    text.assign(reinterpret_cast<const char*>(owned.get()), static_cast<std::size_t>(length));
  }
  return true;
}

std::string hexText(const std::vector<unsigned char>& der) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string text = "#";
  text.reserve(1 + 2 * der.size());
  for (const unsigned char byte : der) {
    text += digits[byte >> 4];
    text += digits[byte & 0x0F];
  }
  return text;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string quoted(const std::string& text) {
  const bool needsQuotes = text.empty() || isBlank(text.front()) || isBlank(text.back()) ||
                           text.find_first_of(",+=\"<>#;\r\n") != std::string::npos;
  if (!needsQuotes) return text;

  std::string result = "\"";
  for (const char c : text) {
    if (c == '"') result += '"';
    result += c;
  }
  result += '"';
  return result;
}

// String values as their text, quoted where needed; anything else (or a string whose bytes are
// not valid for its type) as "#" and the hex of its DER.
std::string valueText(const ASN1_STRING* value) {
  if (isStringType(ASN1_STRING_type(value))) {
    std::string text;
    if (toUtf8(value, text)) return quoted(text);
  }
  return hexText(valueDer(value));
}

}  // namespace

std::string nameToText(const X509_NAME* name) {
  if (name == nullptr) return {};

  // Attributes grouped by relative name, in encoded order.
  std::vector<std::vector<std::string>> relativeNames;
  int currentSet = -1;
  const int count = X509_NAME_entry_count(name);
  for (int i = 0; i < count; ++i) {
    const X509_NAME_ENTRY* entry = X509_NAME_get_entry(name, i);
    const int set = X509_NAME_ENTRY_set(entry);
    if (relativeNames.empty() || set != currentSet) relativeNames.emplace_back();
    currentSet = set;
    relativeNames.back().push_back(keyText(X509_NAME_ENTRY_get_object(entry)) + "=" +
                                   valueText(X509_NAME_ENTRY_get_data(entry)));
  }

  std::string text;
  for (auto rdn = relativeNames.rbegin(); rdn != relativeNames.rend(); ++rdn) {
    if (!text.empty()) text += ", ";
    for (std::size_t j = 0; j < rdn->size(); ++j) {
      if (j > 0) text += " + ";
      text += (*rdn)[j];
    }
  }
  return text;
}

}  // namespace marqen::crypto
