#include "platform/crypto/ordered_signed_data.h"

#include <climits>

#include "platform/crypto/failure_reason.h"

namespace marqen::crypto {

Pkcs7Ptr decodeSignedData(std::span<const unsigned char> der) {
  if (der.empty() || der.size() > static_cast<std::size_t>(LONG_MAX)) return nullptr;
  const unsigned char* p = der.data();
  Pkcs7Ptr p7(d2i_PKCS7(nullptr, &p, static_cast<long>(der.size())));
  if (!p7) keepFailureReason();
  if (!p7 || p != der.data() + der.size() || !PKCS7_type_is_signed(p7.get()) || !p7->d.sign)
    return nullptr;
  return p7;
}

std::optional<Bytes> encodeInOrder(PKCS7* p7) {
  const int length = marqen_i2d_signed_data_in_order(p7, nullptr);
  std::optional<Bytes> der;
  if (length > 0) {
    der.emplace(static_cast<std::size_t>(length));
    unsigned char* p = der->data();
    if (marqen_i2d_signed_data_in_order(p7, &p) != length) der.reset();
  }
  if (!der) keepFailureReason();
  return der;
}

}  // namespace marqen::crypto
