#pragma once
// Making a signed message from a checked request.

#include <span>

#include "library/include/Marqen_InterfaceV2.h"
#include "platform/crypto/signed_message.h"
#include "platform/os/content_source.h"

namespace marqen {

// Finds the signer, makes the checks the request asks for and signs the content, hashing it as
// it is read. An attached message refers to `content`'s bytes in memory, which must outlive the
// result. Raises the codes of the steps, 1806 when the signer has no usable key, 203 when the
// content file cannot be read, 1808 when the message cannot be made.
crypto::MessageEncoding signContent(const os::ContentSource& content, const SignRequest& request);

}  // namespace marqen
