#include "library/api/request_checks.h"

#include "library/core/library_error.h"
#include "library/sign/signing_steps.h"

namespace marqen {
namespace {

void checkLocator(const CertificateLocator* locator) {
  if (!locator) raiseError(err::MISSING_ARGUMENT);
  if (locator->locationType != LOCATION_PFX_FILE && locator->locationType != LOCATION_STORE)
    raiseError(err::INVALID_LOCATION_TYPE);
}

bool isOutputKind(int32_t kind) {
  return kind == DATA_IN_FILE || kind == DATA_IN_MEMORY;
}

bool isFormat(int32_t format) {
  return format == FORMAT_BASE64 || format == FORMAT_DER;
}

}  // namespace

void checkSignRequest(const SignRequest& r, DataBuffer** result, SignatureModeRule mode) {
  if (r.outputKind == DATA_IN_FILE && !r.outputPath) raiseError(err::INVALID_OUTPUT_PATH);
  checkLocator(r.signerLocator);
  requireDigest(r.hashAlgorithm);
  if (r.signingAlgorithm != SIGNING_RSA) raiseError(err::INVALID_SIGNING_ALGORITHM);
  if (mode == SignatureModeRule::Checked && r.signatureMode != SIGNATURE_ATTACHED &&
      r.signatureMode != SIGNATURE_DETACHED)
    raiseError(err::INVALID_SIGNATURE_MODE);
  if (!isOutputKind(r.outputKind)) raiseError(err::INVALID_DESTINATION_TYPE);
  if (!isFlag(r.validateCertificate)) raiseError(err::INVALID_VALIDATE_FLAG);
  if (!isFlag(r.askPinAlways)) raiseError(err::INVALID_ASK_PIN_FLAG);
  if (!isFormat(r.signatureFormat)) raiseError(err::INVALID_SIGNATURE_FORMAT);
  if (r.attributeCount < 0 || (r.attributeCount > 0 && !r.attributes))
    raiseError(err::INVALID_ATTRIBUTE_COUNT);
  if (!result || !*result) raiseError(err::NULL_OUTPUT);
}

void checkRawSignRequest(const RawSignRequest& r) {
  if (r.outputKind == DATA_IN_FILE && !r.outputPath) raiseError(err::INVALID_OUTPUT_PATH);
  checkLocator(r.signerLocator);
  requireDigest(r.hashAlgorithm);
  if (!isOutputKind(r.outputKind)) raiseError(err::INVALID_DESTINATION_TYPE);
  if (!isFlag(r.validateCertificate)) raiseError(err::INVALID_VALIDATE_FLAG);
  if (!isFlag(r.askPinAlways)) raiseError(err::INVALID_ASK_PIN_FLAG);
  if (!isFormat(r.signatureFormat)) raiseError(err::INVALID_SIGNATURE_FORMAT);
}

}  // namespace marqen
