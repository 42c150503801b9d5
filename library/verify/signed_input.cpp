#include "library/verify/signed_input.h"

#include "library/core/error_codes.h"
#include "library/util/base64.h"

namespace marqen {

void normaliseSignedInput(InputData& input) {
  auto decoded = decodeBase64(input.text());
  if (!decoded.empty()) input = InputData::fromBytes(std::move(decoded));
}

ErrorCode checkSignedData(const unsigned char* bytes, int64_t length,
                          std::optional<crypto::SignedMessage>* decoded) {
  if (!bytes) return err::INVALID_SIGNED_DATA;
  if (length <= 0) return err::INVALID_INPUT_LENGTH;
  InputData input = InputData::borrow({bytes, static_cast<std::size_t>(length)});
  normaliseSignedInput(input);
  auto message = crypto::SignedMessage::decode(input.bytes());
  if (!message || !message->isSignedData()) return err::NOT_SIGNED_DATA;
  if (decoded) *decoded = std::move(message);
  return err::NO_ERROR;
}

}  // namespace marqen
