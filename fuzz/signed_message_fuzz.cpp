// Signed messages (Base64 text or DER) given to verifySignedData for the first two signers,
// with the seeds' detached content, and to getSignedContent, with the fixture root trusted.
// Only the codes the exports document for a well-formed call come back; extracted content is
// counted and zero-terminated, and a failure leaves the result record alone.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"

namespace {

using marqen::fuzz::require;
using marqen::fuzz::requireCode;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  marqen::fuzz::useFixtureStore(true);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 1U << 20) return 0;
  marqen::fuzz::Bytes message(data, data + size);
  DataBuffer signedData{nullptr, message.data(), static_cast<int32_t>(message.size()),
                        DATA_IN_MEMORY};
  std::string detached(marqen::fuzz::kDetachedContent);
  DataBuffer content{nullptr, reinterpret_cast<unsigned char*>(detached.data()),
                     static_cast<int32_t>(detached.size()), DATA_IN_MEMORY};
  const VerifySignedDataRequest request{&content, &signedData};
  for (const int32_t signer : {0, 1}) {
    requireCode(verifySignedData(&request, signer),
                {0, 308, 1002, 1003, 1004, 1005, 1451, 1602, 1701, 304, 1431, 1442},
                "verifySignedData code");
  }

  DataBuffer record{};
  DataBuffer* result = &record;
  const ErrorCode code = getSignedContent(&signedData, nullptr, DATA_IN_MEMORY, &result);
  requireCode(code, {0, 1002, 1003, 1302, 1451, 1452, 304, 1431, 1442}, "getSignedContent code");
  if (code == 0) {
    require(record.kind == DATA_IN_MEMORY && record.data && record.length > 0 &&
                record.data[record.length] == 0,
            "content not counted and zero-terminated");
  } else {
    require(!record.data && !record.filePath && record.length == 0 && record.kind == 0,
            "result record touched on failure");
  }
  std::free(record.data);
  return 0;
}
