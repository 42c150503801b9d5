#pragma once
// Counter-signing one signer of a signed message.

#include <cstdint>
#include <span>

#include "library/include/Marqen_InterfaceV2.h"
#include "platform/crypto/certificate.h"

namespace marqen {

// Counter-signs the signature of the signer at `signerIndex` (within the signers of `message`,
// a checked signed-data message) and returns the new message's DER. Raises the codes of the
// shared signing steps, 1806 (no usable key), 2100 (the counter-signature cannot be made).
crypto::Bytes countersignMessage(std::span<const unsigned char> message, int32_t signerIndex,
                                 const CountersignRequest& request);

}  // namespace marqen
