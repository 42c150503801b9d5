#pragma once
// Finding and checking the counter-signature of one signer of a signed message.

#include <cstdint>

#include "library/cert/cert_lookup.h"
#include "library/include/Marqen_InterfaceV2.h"
#include "platform/crypto/counter_signature.h"
#include "platform/crypto/signed_message.h"

namespace marqen {

// A counter-signature and the certificate that is to verify it.
struct CounterSignatureToVerify {
  crypto::SignedMessage message;
  int index = 0;
  crypto::CounterSignature counterSignature;
  CertContext counterSigner;
};

// The first counter-signature of the signer the request names (1602 past the signers; 2101 for
// a signer without one, 2102 when it is not a SignerInfo) and the counter-signer's certificate:
// the one the request gives, which must be the one the counter-signature names (2104), or else
// the named one from the request's store (126 for another store type, the lookup's codes).
CounterSignatureToVerify findCounterSignature(crypto::SignedMessage message,
                                              const CounterSignatureVerifyRequest& request);

// Raises 2103 unless the counter-signer's key verifies the counter-signature over the signer's
// signature value.
void checkCounterSignature(const CounterSignatureToVerify& found);

}  // namespace marqen
