#pragma once
// Making a signed message from a checked request.

#include <span>

#include "library/include/Marqen_InterfaceV2.h"
#include "platform/crypto/signed_message.h"

namespace marqen {

// Finds the signer, makes the checks the request asks for and signs the content. An attached
// message refers to `content`, which must outlive the result. Raises the codes of the steps,
// 1806 when the signer has no usable key, 1808 when the message cannot be made.
crypto::MessageEncoding signContent(std::span<const unsigned char> content,
                                    const SignRequest& request);

}  // namespace marqen
