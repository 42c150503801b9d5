#pragma once
// PFX (PKCS#12) files: recognising them and taking out the certificate that has its key.

#include <memory>
#include <span>
#include <variant>
#include <vector>

#include "platform/crypto/certificate.h"
#include "platform/crypto/private_key.h"

namespace marqen::crypto {

enum class PfxError {
  NotPfx,                // the bytes are not a PKCS#12 structure
  ImportFailed,          // wrong password, damaged or unsupported protection
  NoCertificateWithKey,  // no certificate in the file has its private key
};

struct PfxContents {
  Certificate certificate;  // the certificate whose private key is present
  std::shared_ptr<PrivateKey> key;
  std::vector<Certificate> otherCertificates;  // e.g. the CA certificates, in file order
};

bool isPfx(std::span<const unsigned char> bytes);

// A null or empty password both mean "no password"; files protected either way open with it.
// The password is UTF-8.
std::variant<PfxContents, PfxError> importPfx(std::span<const unsigned char> bytes,
                                              const char* password);

}  // namespace marqen::crypto
