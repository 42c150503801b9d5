#pragma once
// A bare signature over content, without any envelope.

#include <span>

#include "library/include/Marqen_InterfaceV2.h"
#include "platform/crypto/certificate.h"

namespace marqen {

// Signs the content's hash with the request's signer, least significant byte first. Raises the
// codes of the shared signing steps, 1806 (no usable key), 1900, 1901 or 1902 when hashing or
// signing fails.
crypto::Bytes rawSignContent(std::span<const unsigned char> content, const RawSignRequest& request);

}  // namespace marqen
