#pragma once
// Who signed a message, read without verifying any signature: each signer's certificate and
// its issuer's, names, serial, expiry, the first authority-information-access location and
// the attributes the library knows how to read.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace marqen {

struct ParsedAttribute {
  std::string oid;
  std::vector<unsigned char> value;  // octets, or decimal text
  int32_t authenticationType = 0;    // ATTR_AUTHENTICATED or ATTR_UNAUTHENTICATED
  int32_t dataType = 0;              // ATTR_OCTET_STRING, ATTR_INTEGER or ATTR_TIME
};

struct ParsedSigner {
  std::optional<std::string> issuerCertificate;  // Base64; empty when CA and ROOT lack it
  // Empty when the certificate has no such extension; an empty text when the first location
  // is not a URI.
  std::optional<std::u16string> authorityInfoAccessUrl;
  std::string signerCertificate;  // Base64
  std::u16string subjectDN;
  std::u16string issuerDN;
  std::string serialNumber;
  int32_t validTo = 0;
  std::vector<ParsedAttribute> attributes;
  std::size_t attributeRoom = 0;  // signed plus unsigned attributes in the signer information
};

struct ParsedSignedData {
  // One entry per signer; empty from the first signer whose certificate the message lacks.
  std::vector<std::optional<ParsedSigner>> signers;
};

// From a message already taken out of Base64: checkSignedData's codes, 1302 (no signer), 304
// (a store cannot be read), the trusted-CA rule's codes, 1303 (a known attribute or the
// authority information access does not decode).
ParsedSignedData parseSignedMessage(std::span<const unsigned char> message);

}  // namespace marqen
