#include "library/verify/signed_input.h"

#include "library/api/error_codes.h"
#include "library/util/base64.h"
#include "platform/crypto/signed_message.h"

namespace marqen {

void normaliseSignedInput(WorkingCopy& copy) {
  auto decoded = decodeBase64(copy.text());
  if (!decoded.empty()) copy = WorkingCopy::fromBytes(std::move(decoded));
}

ErrorCode checkSignedData(const unsigned char* bytes, int64_t length) {
  if (!bytes) return err::kInvalidSignedData;
  if (length <= 0) return err::kInvalidInputLength;
  WorkingCopy copy({bytes, static_cast<std::size_t>(length)});
  normaliseSignedInput(copy);
  const auto message = crypto::SignedMessage::decode(copy.bytes());
  if (!message || !message->isSignedData()) return err::kNotSignedData;
  return err::kNoError;
}

}  // namespace marqen
