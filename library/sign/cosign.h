#pragma once
// Adding a signer to an existing signed message.

#include <optional>
#include <span>

#include "library/include/Marqen_InterfaceV2.h"
#include "platform/crypto/certificate.h"
#include "platform/os/content_source.h"

namespace marqen {

// Adds the request's signer to `message` (a checked signed-data message) with the shared
// signing steps; `detachedContent` is the content of a detached message. Returns the new
// message's DER. Raises the codes of the steps, 1806 (no usable key), 1805 (the certificate
// cannot be added), 203 (the detached content file cannot be read), 1804 (the signer cannot be
// added).
crypto::Bytes cosignMessage(std::span<const unsigned char> message,
                            const os::ContentSource* detachedContent, const CosignRequest& request);

}  // namespace marqen
