#include "platform/crypto/attribute_value.h"

#include <openssl/asn1.h>
#include <openssl/err.h>

#include <climits>
#include <stdexcept>

#include "platform/crypto/openssl_ptr.h"

namespace marqen::crypto {
namespace {

// Decodes exactly one DER value of an ASN.1 type, nothing after it.
template <typename T, T* (*decode)(T**, const unsigned char**, long)>
UniquePtr<T> decodeWhole(std::span<const unsigned char> der) {
  if (der.empty() || der.size() > static_cast<std::size_t>(LONG_MAX)) return nullptr;
  const unsigned char* p = der.data();
  UniquePtr<T> value(decode(nullptr, &p, static_cast<long>(der.size())));
  ERR_clear_error();  // a value of another type is the caller's finding, not a fault
  if (!value || p != der.data() + der.size()) return nullptr;
  return value;
}

}  // namespace

std::optional<Bytes> decodeOctetString(std::span<const unsigned char> der) {
  const auto octets = decodeWhole<ASN1_OCTET_STRING, d2i_ASN1_OCTET_STRING>(der);
  if (!octets) return std::nullopt;
  const unsigned char* data = ASN1_STRING_get0_data(octets.get());
  return Bytes(data, data + ASN1_STRING_length(octets.get()));
}

std::optional<std::int32_t> decodeInteger32(std::span<const unsigned char> der) {
  const auto number = decodeWhole<ASN1_INTEGER, d2i_ASN1_INTEGER>(der);
  std::int64_t value = 0;
  if (!number || ASN1_INTEGER_get_int64(&value, number.get()) != 1) {
    ERR_clear_error();
    return std::nullopt;
  }
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::optional<std::int64_t> decodeTime(std::span<const unsigned char> der) {
  const auto time = decodeWhole<ASN1_TIME, d2i_ASN1_TIME>(der);
  if (!time) return std::nullopt;
  try {
    return unixSecondsOf(time.get());
  } catch (const std::runtime_error&) {
    return std::nullopt;
  }
}

}  // namespace marqen::crypto
