// Issuer names as callers write them, looked up with getCertificateDetailsFromStore in the
// fixture store, whose MY certificates share serial number 0F22 and differ only in their unusual
// issuer names. The input is UTF-16 (two bytes a unit, host order). The lookup answers 0, 105
// (empty name) or 308 only; a name identical to a certificate's issuer text always finds it;
// a failed lookup leaves the record alone.

#include <cstdint>
#include <cstring>
#include <set>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/crypto/certificate.h"
#include "platform/os/text.h"

namespace {

using marqen::fuzz::require;

std::set<std::u16string> issuerTexts;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  marqen::fuzz::useFixtureStore(false);
  for (const auto& file :
       std::filesystem::directory_iterator(marqen::fuzz::fixtureFolder() / "store" / "MY")) {
    const auto der = marqen::fuzz::readFixture(("store/MY/" / file.path().filename()).string());
    const auto certificate = marqen::crypto::Certificate::fromDer(der);
    require(certificate.has_value(), "fixture certificate does not parse");
    issuerTexts.insert(marqen::os::toUtf16(certificate->issuerText()));
  }
  require(!issuerTexts.empty(), "no certificates in the fixture store");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string name(size / 2, u'\0');
  std::memcpy(name.data(), data, name.size() * sizeof(char16_t));
  name.resize(std::char_traits<char16_t>::length(name.c_str()));

  marqen::fuzz::DetailsRecord details;
  const ErrorCode code = getCertificateDetailsFromStore(name.c_str(), "0F22", STORE_PERSONAL,
                                                        SIGNING_CERTIFICATE, &details.pointer);
  marqen::fuzz::requireCode(code, {0, 105, 308}, "getCertificateDetailsFromStore code");
  if (issuerTexts.contains(name)) {
    require(code == 0, "a certificate's own issuer text did not find it");
    require(name == details.record.issuerName, "found a certificate of another issuer");
  }
  require(code == 0 ? details.filled() : details.untouched(), "details record after the lookup");
  return 0;
}
