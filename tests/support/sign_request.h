#pragma once
// A SignRequest and everything it points to, kept alive together: signing from the store by
// default, attached, DER, in memory.

#include <string>
#include <vector>

#include "library/include/Marqen_InterfaceV2.h"

namespace marqen::test {

struct Request {
  std::string data = "Quarterly report, final version.\n";
  DataBuffer content{nullptr, reinterpret_cast<unsigned char*>(data.data()),
                     static_cast<int32_t>(data.size()), DATA_IN_MEMORY};
  std::u16string issuer;
  std::string serial;
  std::u16string pfxPath, password;
  CertificateLocator locator{};
  std::vector<std::string> attributeStrings;
  std::vector<SignedAttribute> attributeRecords;
  std::vector<SignedAttribute*> attributePointers;
  std::u16string outputPath;
  SignRequest request{};

  Request() {
    attributeStrings.reserve(16);
    attributeRecords.reserve(8);
    request = {&content,
               &locator,
               nullptr,
               0,
               HASH_SHA1,
               SIGNING_RSA,
               SIGNATURE_ATTACHED,
               FORMAT_DER,
               0,
               REVOCATION_ONLINE,
               REVOCATION_NONE,
               0,
               DATA_IN_MEMORY,
               nullptr};
  }
  void fromStore(const std::u16string& issuerDN, const std::string& serialHex) {
    issuer = issuerDN;
    serial = serialHex;
    locator = {issuer.data(), serial.data(), nullptr, nullptr, LOCATION_STORE};
  }
  void addAttribute(std::string value, std::string oid, int32_t auth, int32_t type) {
    attributeStrings.push_back(std::move(value));
    std::string& v = attributeStrings.back();
    attributeStrings.push_back(std::move(oid));
    std::string& o = attributeStrings.back();
    attributeRecords.push_back({reinterpret_cast<unsigned char*>(v.data()),
                                static_cast<int32_t>(v.size()), o.data(), auth, type});
    attributePointers.clear();
    for (auto& r : attributeRecords)
      attributePointers.push_back(&r);
    request.attributes = attributePointers.data();
    request.attributeCount = static_cast<int32_t>(attributePointers.size());
  }
};

}  // namespace marqen::test
