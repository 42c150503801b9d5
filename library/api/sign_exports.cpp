// Exports that make signed messages and signatures, and read signed content: sign, cosign,
// countersign, rawsign, getSignedContent.

#include <climits>
#include <optional>

#include "library/api/heap_buffer.h"
#include "library/api/input_data.h"
#include "library/api/output.h"
#include "library/api/request_checks.h"
#include "library/core/library_error.h"
#include "library/include/Marqen_InterfaceV2.h"
#include "library/sign/cosign.h"
#include "library/sign/countersign.h"
#include "library/sign/raw_sign.h"
#include "library/sign/sign.h"
#include "library/util/file_io.h"
#include "library/verify/signed_content.h"
#include "library/verify/signed_input.h"
#include "platform/os/text.h"

using namespace marqen;

extern "C" {

MARQEN_API ErrorCode sign(const SignRequest* request, DataBuffer** result) {
  return runExport([&] {
    if (!request || !request->content) raiseError(err::MISSING_ARGUMENT);
    // A detached signature only hashes the content, so a file of any size is read in blocks;
    // an attached message holds the content, which must then fit in memory.
    const InputRules rules{.pointerBeforeLength = true};
    const bool detached = request->signatureMode == SIGNATURE_DETACHED;
    const InputData whole = detached ? InputData() : readInput(request->content, rules);
    const os::ContentSource content = detached ? readContent(request->content, rules)
                                               : os::ContentSource::inMemory(whole.bytes());
    const SignRequest& r = *request;
    checkSignRequest(r, result, SignatureModeRule::Checked);

    const crypto::MessageEncoding message = signContent(content, r);
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

MARQEN_API ErrorCode cosign(const CosignRequest* request, const DataBuffer* signedMessage,
                            DataBuffer** result) {
  return runExport([&] {
    if (!signedMessage || (!signedMessage->data && !signedMessage->filePath))
      raiseError(err::INVALID_SIGNED_DATA);
    InputData message = readInput(signedMessage, {.requireSomePointer = false,
                                                  .missingPointer = err::INVALID_SIGNED_DATA,
                                                  .pointerBeforeLength = true});
    normaliseSignedInput(message);
    const crypto::SignedMessage decoded =
        checkSignedData(message.data(), static_cast<int64_t>(message.size()));
    if (!request) raiseError(err::MISSING_ARGUMENT);
    const CosignRequest& r = *request;
    checkSignRequest(r, result, SignatureModeRule::NotRead);

    // An empty content counts as none: the message is detached and its content comes again.
    const auto embedded = decoded.content();
    const bool detached = !embedded || embedded->empty();
    std::optional<os::ContentSource> content;
    if (detached) {
      if (!r.content || (!r.content->data && !r.content->filePath))
        raiseError(err::DETACHED_DATA_MISSING);
      content = readContent(
          r.content, {.requireSomePointer = false, .missingPointer = err::DETACHED_DATA_MISSING});
    }
    const crypto::Bytes cosigned = cosignMessage(message.bytes(), content ? &*content : nullptr, r);
    deliverOutput(cosigned, r.signatureFormat, r.outputKind, r.outputPath, result);
  });
}

MARQEN_API ErrorCode countersign(const CountersignRequest* request, const DataBuffer* signedMessage,
                                 int32_t signerIndex, DataBuffer** result) {
  return runExport([&] {
    if (!signedMessage || (!signedMessage->data && !signedMessage->filePath))
      raiseError(err::INVALID_SIGNED_DATA);
    InputData message = readInput(
        signedMessage, {.requireSomePointer = false, .missingPointer = err::INVALID_SIGNED_DATA});
    normaliseSignedInput(message);
    const crypto::SignedMessage decoded =
        checkSignedData(message.data(), static_cast<int64_t>(message.size()));
    if (!request) raiseError(err::MISSING_ARGUMENT);
    const CountersignRequest& r = *request;
    checkRawSignRequest(r);
    if (signerIndex < 0) raiseError(err::INVALID_SIGNER_INDEX);
    if (!result || !*result) raiseError(err::NULL_OUTPUT);
    if (signerIndex >= decoded.signerCount()) raiseError(err::INVALID_SIGNER_INDEX);

    // The counter-signature covers a signature value, not the content; a detached message still
    // has its content supplied, so that every message is counter-signed only with its content.
    // Its checks need the file opened, not read.
    const auto embedded = decoded.content();
    if (!embedded || embedded->empty()) {
      if (!r.content || (!r.content->data && !r.content->filePath))
        raiseError(err::DETACHED_DATA_MISSING);
      (void)readContent(r.content, {.requireSomePointer = false,
                                    .missingPointer = err::DETACHED_DATA_MISSING,
                                    .pointerBeforeLength = true});
    }
    const crypto::Bytes countersigned = countersignMessage(message.bytes(), signerIndex, r);
    deliverOutput(countersigned, r.signatureFormat, r.outputKind, r.outputPath, result);
  });
}

MARQEN_API ErrorCode rawsign(const RawSignRequest* request, DataBuffer** result) {
  return runExport([&] {
    if (!request || !request->content || (!request->content->data && !request->content->filePath))
      raiseError(err::MISSING_ARGUMENT);
    const RawSignRequest& r = *request;
    const os::ContentSource content = readContent(r.content);
    checkRawSignRequest(r);
    if (!result || !*result) raiseError(err::NULL_OUTPUT);
    const crypto::Bytes signature = rawSignContent(content, r);
    deliverOutput(signature, r.signatureFormat, r.outputKind, r.outputPath, result);
  });
}

}  // extern "C"
