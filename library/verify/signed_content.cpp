#include "library/verify/signed_content.h"

#include <optional>

#include "library/cert/cert_lookup.h"
#include "library/core/library_error.h"
#include "library/util/file_io.h"
#include "library/util/heap_buffer.h"
#include "library/validation/cert_checks.h"
#include "library/verify/signed_input.h"
#include "platform/crypto/signed_message.h"
#include "platform/os/text.h"

namespace marqen {
namespace {

crypto::SignedMessage decodeMessage(const InputData& copy) {
  auto message = crypto::SignedMessage::decode(copy.bytes());
  if (!message) raiseError(err::MESSAGE_UPDATE);
  return std::move(*message);
}

}  // namespace

void extractSignedContent(const DataBuffer* input, const char16_t* outputPath, int32_t outputKind,
                          DataBuffer** result) {
  InputData copy = readInput(input);
  if (outputKind != DATA_IN_FILE && outputKind != DATA_IN_MEMORY)
    raiseError(err::INVALID_OUTPUT_KIND);
  if (outputKind == DATA_IN_FILE && !outputPath) raiseError(err::INVALID_OUTPUT_PATH);
  if (!result || !*result) raiseError(err::NULL_OUTPUT);
  normaliseSignedInput(copy);

  const crypto::SignedMessage message = decodeMessage(copy);
  const auto content = message.isSignedData() ? message.content() : std::nullopt;
  if (!content || content->empty()) raiseError(err::SIGNED_CONTENT_SIZE);
  const int signers = message.signerCount();
  if (signers == 0) raiseError(err::SIGNER_COUNT);
  for (const char* store : {"MY", "CA", "ROOT"})
    (void)openSystemStore(store);

  // Only the trusted-CA rule applies here; the first signer without an embedded certificate
  // ends the examination.
  for (int i = 0; i < signers; ++i) {
    const auto certificate = message.signerCertificate(i);
    if (!certificate) break;
    checkTrustedCA(&*certificate).require();
  }

  if (content->size() > static_cast<std::size_t>(INT32_MAX)) raiseError(err::SIGNED_CONTENT_SIZE);
  DataBuffer& out = **result;
  if (outputKind == DATA_IN_MEMORY) {
    auto bytes = heapCopy(*content);
    out.data = bytes.release();
    out.length = static_cast<int32_t>(content->size());
    out.kind = DATA_IN_MEMORY;
    return;
  }
  writeOutputFile(content->data(), static_cast<int32_t>(content->size()), outputPath);
  auto path = heapCopy(os::wideView(outputPath));
  out.filePath = path.release();
  out.kind = DATA_IN_FILE;  // the length stays as it was: callers know their path
}

void verifySignerSignature(const VerifySignedDataRequest* request, int32_t signerIndex) {
  if (!request || !request->signedData) raiseError(err::MISSING_ARGUMENT);
  if (signerIndex < 0) raiseError(err::INVALID_SIGNER_INDEX);
  InputData copy = readInput(request->signedData, {.requireSomePointer = false,
                                                   .missingPointer = err::INVALID_SIGNED_DATA,
                                                   .pointerBeforeLength = true});
  normaliseSignedInput(copy);
  const crypto::SignedMessage message =
      checkSignedData(copy.data(), static_cast<int64_t>(copy.size()));
  if (signerIndex >= message.signerCount()) raiseError(err::SIGNER_INFO);
  const auto certificate = message.signerCertificate(signerIndex);
  if (!certificate) raiseError(err::CERT_CONTEXT);
  checkTrustedCA(&*certificate).require();

  const auto embedded = message.content();
  if (embedded && !embedded->empty()) {
    if (!message.verifySigner(signerIndex, *certificate, std::nullopt))
      raiseError(err::VERIFICATION_FAILED);
    return;
  }
  // Detached: the caller's content, taken as raw bytes.
  const InputData content =
      readInput(request->content,
                {.missingPointer = err::DETACHED_DATA_MISSING, .pointerBeforeLength = true});
  if (!message.verifySigner(signerIndex, *certificate, content.bytes()))
    raiseError(err::VERIFICATION_FAILED);
}

}  // namespace marqen
