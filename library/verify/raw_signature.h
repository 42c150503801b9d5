#pragma once
// Checking a bare signature over content with the certificate a request names.

#include <span>

#include "library/cert/cert_lookup.h"
#include "library/include/Marqen_InterfaceV2.h"
#include "platform/crypto/digest.h"
#include "platform/os/content_source.h"

namespace marqen {

// The certificate from the request's source: a store by issuer and serial (126 for another
// store type), a PFX file (122 without a path), or a certificate string (116, 123). Raises 102
// for an unknown source or a store lookup without issuer or serial, and the lookups' codes.
CertContext rawSignatureCertificate(const RawVerifyRequest& request);

// Raises 2001 (no usable public key), 1900 or 1901 (hashing), 203 (the content file cannot be
// read), 2002 unless `signature` (least significant byte first) verifies over the content's
// hash, which is computed as the content is read.
void verifyRawSignatureOver(const crypto::Certificate& certificate, crypto::DigestAlgorithm digest,
                            const os::ContentSource& content,
                            std::span<const unsigned char> signature);

}  // namespace marqen
