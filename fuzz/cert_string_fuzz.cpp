// Certificate strings (Base64 text or DER) given to getCertificateDetailsFromCertString for
// both certificate types, with the fixture root trusted. Only the codes the export documents
// for a well-formed call come back; the record is filled on success and left alone otherwise.

#include <cstdint>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  marqen::fuzz::useFixtureStore(true);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 1U << 20) return 0;
  for (const int32_t type : {SIGNING_CERTIFICATE, ENCRYPTION_CERTIFICATE}) {
    marqen::fuzz::DetailsRecord details;
    const ErrorCode code = getCertificateDetailsFromCertString(
        reinterpret_cast<const char*>(data), static_cast<int32_t>(size), type, &details.pointer);
    const ErrorCode wrongUsage = type == SIGNING_CERTIFICATE ? 301 : 309;
    marqen::fuzz::requireCode(code, {0, wrongUsage, 302, 304, 308, 1431, 1442},
                              "getCertificateDetailsFromCertString code");
    if (code == 0) {
      marqen::fuzz::require(details.filled() && details.record.certificateType == type,
                            "details record not filled");
    } else {
      marqen::fuzz::require(details.untouched(), "details record touched on failure");
    }
  }
  return 0;
}
