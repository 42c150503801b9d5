#pragma once
#include "library/include/Marqen_InterfaceV2.h"

namespace marqen {

// The content of an attached signed message, in memory or written to outputPath, after the
// trusted-CA rule has been applied to the signers whose certificates the message carries.
void extractSignedContent(const DataBuffer* input, const char16_t* outputPath, int32_t outputKind,
                          DataBuffer** result);

// Verifies the signature of one signer over the embedded or the supplied detached content.
void verifySignerSignature(const VerifySignedDataRequest* request, int32_t signerIndex);

}  // namespace marqen
