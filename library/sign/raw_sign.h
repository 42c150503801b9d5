#pragma once
// A bare signature over content, without any envelope.

#include <span>

#include "library/include/Marqen_InterfaceV2.h"
#include "platform/crypto/certificate.h"
#include "platform/os/content_source.h"

namespace marqen {

// Signs the content's hash with the request's signer, least significant byte first. Raises the
// codes of the shared signing steps, 1806 (no usable key), 203 when the content file cannot be
// read, 1900, 1901 or 1902 when hashing or signing fails.
crypto::Bytes rawSignContent(const os::ContentSource& content, const RawSignRequest& request);

}  // namespace marqen
