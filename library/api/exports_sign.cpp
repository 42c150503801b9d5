// Exports that make and check signed messages.

#include "library/core/library_error.h"
#include "library/include/Marqen_InterfaceV2.h"
#include "library/sign/sign.h"
#include "library/verify/signed_content.h"

using namespace marqen;

extern "C" {

MARQEN_API ErrorCode sign(const SignRequest* request, DataBuffer** result) {
  return runExport([&] { signContent(request, result); });
}

MARQEN_API ErrorCode getSignedContent(const DataBuffer* input, const char16_t* outputPath,
                                      int32_t outputKind, DataBuffer** result) {
  return runExport([&] { extractSignedContent(input, outputPath, outputKind, result); });
}

MARQEN_API ErrorCode verifySignedData(const VerifySignedDataRequest* request, int32_t signerIndex) {
  return runExport([&] { verifySignerSignature(request, signerIndex); });
}

}  // extern "C"
