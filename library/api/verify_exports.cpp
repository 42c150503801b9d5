// Exports that check and read signatures: verifySignedData, verifyRawSignature,
// verifyCounterSignature, parseSignedData.

#include <optional>

#include "library/api/input_data.h"
#include "library/api/request_checks.h"
#include "library/api/signer_details.h"
#include "library/core/file_time.h"
#include "library/core/library_error.h"
#include "library/include/Marqen_InterfaceV2.h"
#include "library/sign/signing_steps.h"
#include "library/verify/counter_signature.h"
#include "library/verify/raw_signature.h"
#include "library/verify/signed_content.h"
#include "library/verify/signed_data_parse.h"
#include "library/verify/signed_input.h"
#include "platform/crypto/raw_signature.h"

using namespace marqen;

namespace {

InputData readSignature(const DataBuffer* signature) {
  if (signature->kind == DATA_IN_MEMORY && signature->length < 1)
    raiseError(err::INVALID_INPUT_SIGNATURE_LENGTH);
  return readInput(signature,
                   {.requireSomePointer = false, .missingPointer = err::INVALID_SIGNED_DATA});
}

}  // namespace

extern "C" {

MARQEN_API ErrorCode verifySignedData(const VerifySignedDataRequest* request, int32_t signerIndex) {
  return runExport([&] {
    if (!request || !request->signedData) raiseError(err::MISSING_ARGUMENT);
    if (signerIndex < 0) raiseError(err::INVALID_SIGNER_INDEX);
    InputData copy = readInput(request->signedData, {.requireSomePointer = false,
                                                     .missingPointer = err::INVALID_SIGNED_DATA,
                                                     .pointerBeforeLength = true});
    normaliseSignedInput(copy);
    const SignerToVerify signer = findSignerToVerify(copy.bytes(), signerIndex);
    if (signer.hasEmbeddedContent()) return verifySignature(signer, nullptr);
    // Detached: the caller's content, taken as raw bytes and hashed as it is read.
    const os::ContentSource content =
        readContent(request->content,
                    {.missingPointer = err::DETACHED_DATA_MISSING, .pointerBeforeLength = true});
    verifySignature(signer, &content);
  });
}

MARQEN_API ErrorCode verifyRawSignature(const RawVerifyRequest* request) {
  return runExport([&] {
    if (!request || !request->signature || !request->content) raiseError(err::MISSING_ARGUMENT);
    const RawVerifyRequest& r = *request;
    const FileTime now = currentFileTime();
    const os::ContentSource content = readContent(r.content, {.requireSomePointer = false});
    InputData signature = readSignature(r.signature);
    const crypto::DigestAlgorithm digest = requireDigest(r.hashAlgorithm);

    const CertContext context = rawSignatureCertificate(r);
    const crypto::Certificate& certificate = context.certificate();
    // The same certificate policy as signing.
    preSigningChecks(certificate, nullptr,
                     {r.validateCertificate == 1, r.revocationMode, r.revocationLevel}, now);
    if (!isFlag(r.validateCertificate)) raiseError(err::INVALID_VALIDATE_FLAG);

    // A raw signature is as long as the key; only another length can be Base64 text. (Random
    // signature bytes are all Base64 characters often enough to be mistaken for text.)
    const std::size_t keyBytes = crypto::signatureSize(certificate);
    if (keyBytes == 0) raiseError(err::PUBLIC_KEY_IMPORT);
    if (signature.size() != keyBytes) normaliseSignedInput(signature);
    verifyRawSignatureOver(certificate, digest, content, signature.bytes());
  });
}

MARQEN_API ErrorCode verifyCounterSignature(const CounterSignatureVerifyRequest* request) {
  return runExport([&] {
    if (!request || !request->signedData) raiseError(err::MISSING_ARGUMENT);
    const CounterSignatureVerifyRequest& r = *request;
    if (r.signerIndex < 0) raiseError(err::INVALID_SIGNER_INDEX);
    if (!isFlag(r.validateCertificate)) raiseError(err::INVALID_VALIDATE_FLAG);
    const FileTime now = currentFileTime();
    InputData copy = readInput(r.signedData, {.requireSomePointer = false,
                                              .missingPointer = err::INVALID_SIGNED_DATA,
                                              .pointerBeforeLength = true});
    normaliseSignedInput(copy);
    const CounterSignatureToVerify found =
        findCounterSignature(checkSignedData(copy.data(), static_cast<int64_t>(copy.size())), r);
    // The same certificate policy as signing.
    preSigningChecks(found.counterSigner.certificate(), nullptr,
                     {r.validateCertificate == 1, r.revocationMode, r.revocationLevel}, now);
    checkCounterSignature(found);
  });
}

MARQEN_API ErrorCode parseSignedData(const DataBuffer* input, SignedDataInfo** info) {
  return runExport([&] {
    InputData copy = readInput(input, {.pointerBeforeLength = true});
    if (!info || !*info) raiseError(err::NULL_OUTPUT);
    normaliseSignedInput(copy);
    // Everything is built before the caller's record is touched: on any failure the record
    // stays as it was and nothing is left for the caller to free.
    deliverSignedDataInfo(parseSignedMessage(copy.bytes()), **info);
  });
}

}  // extern "C"
