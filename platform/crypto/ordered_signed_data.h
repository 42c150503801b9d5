#pragma once
// A PKCS#7 signed-data message encoded with its signers in the order the message holds them.
// DER sorts the SET OF signer infos by their encodings, so a signer whose encoding grows (a
// counter-signature) or a new signer could change places, and the signer indexes callers use
// would point at another signer. This encoding keeps every signer where it was and appends a
// new one; everything else is encoded as OpenSSL's PKCS#7 encoder does.

#include <openssl/pkcs7.h>

#ifdef __cplusplus
extern "C" {
#endif

/* i2d-style: the length of the encoding, written to *out when out is non-null (allocated by
 * OpenSSL when *out is null); 0 or less on failure. p7 must be signed data. */
int marqen_i2d_signed_data_in_order(PKCS7* p7, unsigned char** out);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
#include <optional>
#include <span>

#include "platform/crypto/certificate.h"
#include "platform/crypto/openssl_ptr.h"

namespace marqen::crypto {

// Exactly one signed-data message, nothing after it; null otherwise.
Pkcs7Ptr decodeSignedData(std::span<const unsigned char> der);

// The message's DER with its signers in their present order.
std::optional<Bytes> encodeInOrder(PKCS7* p7);

}  // namespace marqen::crypto
#endif
