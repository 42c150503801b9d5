// CRL bodies as they arrive from a distribution point (DER) or a CRL folder (DER or PEM), read
// and asked everything the revocation check asks: issuer, update times, signature and listing.
// Once a CRL is accepted, its times must read without an exception.

#include <openssl/x509.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <span>
#include <stdexcept>

#include "fuzz/fuzz_support.h"
#include "platform/crypto/certificate.h"
#include "platform/crypto/crl.h"
#include "platform/crypto/name_text.h"

namespace {

using marqen::crypto::Certificate;
using marqen::crypto::Crl;

std::optional<Certificate> root;
std::optional<Certificate> signer;

void askEverything(const Crl& crl) {
  const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
  const std::int64_t thisUpdate = crl.thisUpdate();
  const auto nextUpdate = crl.nextUpdate();
  const int validity = crl.timeValidity(now);
  marqen::fuzz::require(validity >= -1 && validity <= 1, "timeValidity out of range");
  marqen::fuzz::require(
      crl.timeValidity(thisUpdate) == 0 || (nextUpdate && *nextUpdate < thisUpdate),
      "a CRL is not valid at its own thisUpdate");
  try {
    (void)marqen::crypto::nameToText(crl.issuer());
  } catch (const std::runtime_error&) {
  }
  for (const Certificate* certificate : {&*root, &*signer}) {
    if (X509_NAME_cmp(crl.issuer(), certificate->issuer()) == 0) (void)crl.lists(*certificate);
    (void)crl.isSignedBy(*certificate);
  }
  const Crl copy = crl;
  marqen::fuzz::require(copy.get() == crl.get(), "a copy of a CRL is another CRL");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  root = Certificate::fromDer(marqen::fuzz::readFixture("root.der"));
  signer = Certificate::fromDer(marqen::fuzz::readFixture("signer.der"));
  marqen::fuzz::require(root && signer, "fixture certificates do not parse");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const unsigned char> bytes(data, size);
  if (const auto der = Crl::fromDer(bytes)) askEverything(*der);
  if (const auto any = Crl::fromDerOrPem(bytes)) askEverything(*any);
  return 0;
}
