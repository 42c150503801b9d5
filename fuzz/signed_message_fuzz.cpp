// Signed messages (Base64 text or DER) given to verifySignedData and verifyCounterSignature for
// the first two signers, with the seeds' detached content, to getSignedContent, and to cosign
// with the fixture signer, with the fixture root trusted. Only the codes the exports document
// for a well-formed call come back; results are counted and zero-terminated, and a failure
// leaves the result record alone.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"

namespace {

using marqen::fuzz::require;
using marqen::fuzz::requireCode;

// The result record as an export left it: filled on success, untouched on failure.
void requireResult(ErrorCode code, const DataBuffer& record) {
  if (code == MARQEN_E_NO_ERROR) {
    require(record.kind == DATA_IN_MEMORY && record.data && record.length > 0 &&
                record.data[record.length] == 0,
            "result not counted and zero-terminated");
  } else {
    require(!record.data && !record.filePath && record.length == 0 && record.kind == 0,
            "result record touched on failure");
  }
}

// Adds the fixture signer to the message, its detached content given.
void cosignMessage(const DataBuffer& signedData, DataBuffer& content) {
  static const std::u16string pfxPath = (marqen::fuzz::fixtureFolder() / "signer.pfx").u16string();
  static std::u16string password(marqen::fuzz::kPfxPassword);
  CertificateLocator locator{};
  locator.pfxFilePath = const_cast<char16_t*>(pfxPath.c_str());
  locator.pfxPassword = password.data();
  locator.locationType = LOCATION_PFX_FILE;
  CosignRequest request{};
  request.content = &content;
  request.signerLocator = &locator;
  request.hashAlgorithm = HASH_SHA256;
  request.signingAlgorithm = SIGNING_RSA;
  request.signatureFormat = FORMAT_DER;
  request.outputKind = DATA_IN_MEMORY;
  DataBuffer record{};
  DataBuffer* result = &record;
  const ErrorCode code = cosign(&request, &signedData, &result);
  requireCode(code,
              {MARQEN_E_NO_ERROR, MARQEN_E_INVALID_SIGNED_DATA, MARQEN_E_MESSAGE_HANDLE,
               MARQEN_E_MESSAGE_UPDATE, MARQEN_E_NOT_SIGNED_DATA, MARQEN_E_COSIGN_FAILED,
               MARQEN_E_COSIGNER_CERT},
              "cosign code");
  requireResult(code, record);
  std::free(record.data);
}

// The counter-signature of the signer, checked with the fixture signer's certificate.
void verifyCounterSignatures(const DataBuffer& signedData) {
  static marqen::fuzz::Bytes certificate = marqen::fuzz::readFixture("signer.der");
  for (const int32_t signer : {0, 1}) {
    CounterSignatureVerifyRequest request{};
    request.signedData = const_cast<DataBuffer*>(&signedData);
    request.signerIndex = signer;
    request.certificateString = reinterpret_cast<char*>(certificate.data());
    request.certificateStringLength = static_cast<int32_t>(certificate.size());
    request.storeType = STORE_OTHER_PEOPLE;
    requireCode(verifyCounterSignature(&request),
                {MARQEN_E_NO_ERROR, MARQEN_E_INVALID_SIGNED_DATA, MARQEN_E_MESSAGE_HANDLE,
                 MARQEN_E_MESSAGE_UPDATE, MARQEN_E_NOT_SIGNED_DATA, MARQEN_E_SIGNER_INFO,
                 MARQEN_E_NOT_COUNTER_SIGNED, MARQEN_E_COUNTER_SIGNATURE_DECODE,
                 MARQEN_E_COUNTER_SIGNATURE_VERIFY, MARQEN_E_COUNTER_SIGNER_MISMATCH},
                "verifyCounterSignature code");
  }
}

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
  requireResult(code, record);
  std::free(record.data);

  verifyCounterSignatures(signedData);
  cosignMessage(signedData, content);
  return 0;
}
