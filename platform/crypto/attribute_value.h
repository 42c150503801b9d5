#pragma once
// Reading one value of a message attribute, given as the DER of the value, as the type that
// the attribute's object identifier calls for. Each is empty when the value is not of that
// type or does not fit.

#include <cstdint>
#include <optional>
#include <span>

#include "platform/crypto/certificate.h"

namespace marqen::crypto {

// The octets of an OCTET STRING.
std::optional<Bytes> decodeOctetString(std::span<const unsigned char> der);
// An INTEGER that fits in 32 bits, as the attributes' integers are made.
std::optional<std::int32_t> decodeInteger32(std::span<const unsigned char> der);
// A UTCTime, or a GeneralizedTime as RFC 5652 writes signing times from 2050 on, as Unix
// seconds.
std::optional<std::int64_t> decodeTime(std::span<const unsigned char> der);

}  // namespace marqen::crypto
