#include "library/verify/raw_signature.h"

#include <optional>

#include "library/core/library_error.h"
#include "platform/crypto/raw_signature.h"

namespace marqen {

CertContext rawSignatureCertificate(const RawVerifyRequest& r) {
  switch (r.certificateSource) {
    case SOURCE_STORE: {
      if (!r.issuerDN || !r.serialNumber) raiseError(err::MISSING_ARGUMENT);
      if (r.storeType != STORE_PERSONAL && r.storeType != STORE_OTHER_PEOPLE)
        raiseError(err::INVALID_STORE_TYPE);
      const auto store = openCertificateStore(r.storeType);
      return getCertContextFromStore(r.issuerDN, r.serialNumber, store);
    }
    case SOURCE_PFX_FILE:
      if (!r.pfxFilePath) raiseError(err::INVALID_PFX_FILE_OR_PASSWORD);
      return getCertContextFromPfxFile(r.pfxFilePath, r.pfxPassword);
    case SOURCE_CERT_STRING:
      if (!r.certificateString) raiseError(err::INVALID_CERT_STRING);
      if (r.certificateStringLength < 1) raiseError(err::INVALID_CERT_STRING_LENGTH);
      return getCertContextFromCertString(r.certificateString, r.certificateStringLength);
    default:
      raiseError(err::MISSING_ARGUMENT);
  }
}

void verifyRawSignatureOver(const crypto::Certificate& certificate, crypto::DigestAlgorithm digest,
                            const os::ContentSource& content,
                            std::span<const unsigned char> signature) {
  const auto failure = crypto::rawVerify(certificate, digest, content, signature);
  if (!failure) return;
  if (content.readFailed()) raiseError(err::FILE_INCOMPLETE_READ);
  switch (*failure) {
    case crypto::RawSignatureFailure::PublicKey:
      raiseError(err::PUBLIC_KEY_IMPORT);
    case crypto::RawSignatureFailure::Hash:
      raiseError(err::HASH_CREATE);
    case crypto::RawSignatureFailure::HashData:
      raiseError(err::HASH_DATA);
    default:
      raiseError(err::RAW_VERIFY);
  }
}

}  // namespace marqen
