#include "library/verify/signed_input.h"

#include "library/core/library_error.h"
#include "platform/crypto/base64.h"

namespace marqen {

void normaliseSignedInput(InputData& input) {
  auto decoded = crypto::decodeBase64(input.text());
  if (!decoded.empty()) input = InputData::fromBytes(std::move(decoded));
}

crypto::SignedMessage checkSignedData(const unsigned char* bytes, int64_t length) {
  if (!bytes) raiseError(err::INVALID_SIGNED_DATA);
  if (length <= 0) raiseError(err::INVALID_INPUT_LENGTH);
  InputData input = InputData::borrow({bytes, static_cast<std::size_t>(length)});
  normaliseSignedInput(input);
  auto message = crypto::SignedMessage::decode(input.bytes());
  if (!message || !message->isSignedData()) raiseError(err::NOT_SIGNED_DATA);
  return std::move(*message);
}

}  // namespace marqen
