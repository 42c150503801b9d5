// Exports that make and check signed messages: sign, getSignedContent, verifySignedData.

#include <climits>

#include "library/api/heap_buffer.h"
#include "library/api/input_data.h"
#include "library/api/output.h"
#include "library/core/library_error.h"
#include "library/include/Marqen_InterfaceV2.h"
#include "library/sign/sign.h"
#include "library/util/file_io.h"
#include "library/verify/signed_content.h"
#include "platform/os/text.h"

using namespace marqen;

namespace {

bool isFlag(int32_t value) {
  return value == 0 || value == 1;
}

// The request's fields in their documented order, after its content has been read.
void checkSignRequest(const SignRequest& r, DataBuffer** result) {
  if (r.outputKind == DATA_IN_FILE && !r.outputPath) raiseError(err::INVALID_OUTPUT_PATH);
  if (!r.signerLocator) raiseError(err::MISSING_ARGUMENT);
  if (r.signerLocator->locationType != LOCATION_PFX_FILE &&
      r.signerLocator->locationType != LOCATION_STORE)
    raiseError(err::INVALID_LOCATION_TYPE);
  if (r.hashAlgorithm != HASH_SHA1 && r.hashAlgorithm != HASH_MD5)
    raiseError(err::INVALID_HASH_ALGORITHM);
  if (r.signingAlgorithm != SIGNING_RSA) raiseError(err::INVALID_SIGNING_ALGORITHM);
  if (r.signatureMode != SIGNATURE_ATTACHED && r.signatureMode != SIGNATURE_DETACHED)
    raiseError(err::INVALID_SIGNATURE_MODE);
  if (r.outputKind != DATA_IN_FILE && r.outputKind != DATA_IN_MEMORY)
    raiseError(err::INVALID_DESTINATION_TYPE);
  if (!isFlag(r.validateCertificate)) raiseError(err::INVALID_VALIDATE_FLAG);
  if (!isFlag(r.askPinAlways)) raiseError(err::INVALID_ASK_PIN_FLAG);
  if (r.signatureFormat != FORMAT_BASE64 && r.signatureFormat != FORMAT_DER)
    raiseError(err::INVALID_SIGNATURE_FORMAT);
  if (r.attributeCount < 0 || (r.attributeCount > 0 && !r.attributes))
    raiseError(err::INVALID_ATTRIBUTE_COUNT);
  if (!result || !*result) raiseError(err::NULL_OUTPUT);
}

}  // namespace

extern "C" {

MARQEN_API ErrorCode sign(const SignRequest* request, DataBuffer** result) {
  return runExport([&] {
    if (!request || !request->content) raiseError(err::MISSING_ARGUMENT);
    const InputData content = readInput(request->content, {.pointerBeforeLength = true});
    const SignRequest& r = *request;
    checkSignRequest(r, result);

    const crypto::MessageEncoding message = signContent(content.bytes(), r);
    const std::size_t size = message.size();
    if (size == 0) raiseError(err::SIGNED_MESSAGE_SIZE);
    // Encoded once, straight into the buffer that the caller may receive.
    OutputBytes encoded{heapAllocate<unsigned char>(size), size};
    if (!message.writeTo(encoded.buffer.get())) raiseError(err::MESSAGE_SIGNING);
    deliverOutput(std::move(encoded), r.signatureFormat, r.outputKind, r.outputPath, result);
  });
}

MARQEN_API ErrorCode getSignedContent(const DataBuffer* input, const char16_t* outputPath,
                                      int32_t outputKind, DataBuffer** result) {
  return runExport([&] {
    InputData copy = readInput(input);
    if (outputKind != DATA_IN_FILE && outputKind != DATA_IN_MEMORY)
      raiseError(err::INVALID_OUTPUT_KIND);
    if (outputKind == DATA_IN_FILE && !outputPath) raiseError(err::INVALID_OUTPUT_PATH);
    if (!result || !*result) raiseError(err::NULL_OUTPUT);
    normaliseSignedInput(copy);

    const crypto::SignedMessage message = openSignedContent(copy.bytes());
    const std::span<const unsigned char> content = *message.content();
    if (content.size() > static_cast<std::size_t>(INT32_MAX)) raiseError(err::SIGNED_CONTENT_SIZE);
    DataBuffer& out = **result;
    if (outputKind == DATA_IN_MEMORY) {
      auto bytes = heapCopy(content);
      out.data = bytes.release();
      out.length = static_cast<int32_t>(content.size());
      out.kind = DATA_IN_MEMORY;
      return;
    }
    writeOutputFile(content.data(), static_cast<int32_t>(content.size()), outputPath);
    auto path = heapCopy(os::wideView(outputPath));
    out.filePath = path.release();
    out.kind = DATA_IN_FILE;  // the length stays as it was: callers know their path
  });
}

MARQEN_API ErrorCode verifySignedData(const VerifySignedDataRequest* request, int32_t signerIndex) {
  return runExport([&] {
    if (!request || !request->signedData) raiseError(err::MISSING_ARGUMENT);
    if (signerIndex < 0) raiseError(err::INVALID_SIGNER_INDEX);
    InputData copy = readInput(request->signedData, {.requireSomePointer = false,
                                                     .missingPointer = err::INVALID_SIGNED_DATA,
                                                     .pointerBeforeLength = true});
    normaliseSignedInput(copy);
    const SignerToVerify signer = findSignerToVerify(copy.bytes(), signerIndex);
    if (signer.hasEmbeddedContent()) return verifySignature(signer, std::nullopt);
    // Detached: the caller's content, taken as raw bytes.
    const InputData content =
        readInput(request->content,
                  {.missingPointer = err::DETACHED_DATA_MISSING, .pointerBeforeLength = true});
    verifySignature(signer, content.bytes());
  });
}

}  // extern "C"
