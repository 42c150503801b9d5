#include "library/verify/signed_input.h"

#include <cstring>

#include "library/core/library_error.h"
#include "platform/crypto/base64.h"

namespace marqen {

std::optional<std::vector<unsigned char>> decodedSignedText(std::span<const unsigned char> bytes) {
  const auto* chars = reinterpret_cast<const char*>(bytes.data());
  const void* zero = std::memchr(chars, 0, bytes.size());
  const std::size_t length =
      zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - chars) : bytes.size();
  auto decoded = crypto::decodeBase64(std::string_view(chars, length));
  if (decoded.empty()) return std::nullopt;
  return decoded;
}

crypto::SignedMessage checkSignedData(const unsigned char* bytes, int64_t length) {
  if (!bytes) raiseError(err::INVALID_SIGNED_DATA);
  if (length <= 0) raiseError(err::INVALID_INPUT_LENGTH);
  const std::span<const unsigned char> given(bytes, static_cast<std::size_t>(length));
  const auto decoded = decodedSignedText(given);
  auto message =
      crypto::SignedMessage::decode(decoded ? std::span<const unsigned char>(*decoded) : given);
  if (!message || !message->isSignedData()) raiseError(err::NOT_SIGNED_DATA);
  return std::move(*message);
}

}  // namespace marqen
