#pragma once
// What a caller of the library hands in: bytes in memory, and a certificate of the store named
// by its issuer and serial number.

#include <string>
#include <string_view>
#include <vector>

#include "library/include/Marqen_InterfaceV2.h"
#include "tests/support/hex.h"
#include "tests/support/pki_builder.h"

namespace marqen::test {

inline Bytes toBytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

// A record over `bytes`, which must outlive it; the library only reads it.
inline DataBuffer inMemory(const Bytes& bytes) {
  return DataBuffer{nullptr, const_cast<unsigned char*>(bytes.data()),
                    static_cast<int32_t>(bytes.size()), DATA_IN_MEMORY};
}

// Requests that sign `content` with the certificate `locator` names, into memory as DER, with
// no revocation checks: each test changes what it is about.
inline SignRequest signRequestFor(DataBuffer* content, CertificateLocator* locator, int32_t mode,
                                  int32_t hash = HASH_SHA1) {
  SignRequest r{};
  r.content = content;
  r.signerLocator = locator;
  r.hashAlgorithm = hash;
  r.signingAlgorithm = SIGNING_RSA;
  r.signatureMode = mode;
  r.signatureFormat = FORMAT_DER;
  r.revocationMode = REVOCATION_OFFLINE;
  r.revocationLevel = REVOCATION_NONE;
  r.outputKind = DATA_IN_MEMORY;
  return r;
}
inline RawSignRequest rawRequestFor(DataBuffer* content, CertificateLocator* locator,
                                    int32_t hash = HASH_SHA1) {
  RawSignRequest r{};
  r.content = content;
  r.signerLocator = locator;
  r.hashAlgorithm = hash;
  r.signatureFormat = FORMAT_DER;
  r.revocationMode = REVOCATION_OFFLINE;
  r.revocationLevel = REVOCATION_NONE;
  r.outputKind = DATA_IN_MEMORY;
  return r;
}

// A locator of a certificate in the personal store, with the texts it points to. The locator
// points into the object itself, so it is neither copied nor moved.
struct StoreSigner {
  std::u16string issuer;
  std::string serial;
  CertificateLocator locator{};

  StoreSigner(const std::u16string& issuerDN, const Issued& issued)
      : issuer(issuerDN), serial(hexOf(serialOf(issued))) {
    locator = {issuer.data(), serial.data(), nullptr, nullptr, LOCATION_STORE};
  }
  StoreSigner(const StoreSigner&) = delete;
  StoreSigner& operator=(const StoreSigner&) = delete;
};

}  // namespace marqen::test
