#pragma once
// Steps every signing operation shares: finding the signer, the signing time, the checks made
// before signing, and the attributes that go into the signature.

#include <optional>
#include <vector>

#include "library/cert/cert_lookup.h"
#include "library/core/file_time.h"
#include "library/include/Marqen_InterfaceV2.h"
#include "platform/crypto/signed_message.h"

namespace marqen {

// HASH_SHA1, HASH_MD5 or one of the SHA-2 identifiers; empty for any other value.
std::optional<crypto::DigestAlgorithm> digestFor(int32_t hashAlgorithm) noexcept;
// As above; raises 107 for any other value.
crypto::DigestAlgorithm requireDigest(int32_t hashAlgorithm);

// Store signers come from "MY" by issuer name and serial number; PFX signers from their file.
CertContext acquireSignerCertificate(const CertificateLocator& locator);

// Makes a token ask for its PIN again before signing: the token logs out, and the key acquired
// next logs in again. Key files have no PIN. Never fails: a key that cannot be had fails later.
void resetPin(const CertContext& signer);

// The first ATTR_TIME attribute with the signing-time OID and a value, read as Unix seconds
// (UTC); else `now`. Raises 118 when it is not authenticated, 1802 when its value is not a whole
// number of seconds from 1970 to 2038.
FileTime resolveSigningTime(const SignedAttribute* const* attributes, int32_t count, FileTime now);

struct ChainCheckRequest {
  bool validate = false;
  int32_t revocationMode = REVOCATION_ONLINE;
  int32_t revocationLevel = REVOCATION_NONE;
};

// Digital-signature usage, validity at `now`, the trusted-CA rule; on request also the signing
// time (when given), the chain's expiry and the chain's trust with revocation.
void preSigningChecks(const crypto::Certificate& certificate, const FileTime* signingTime,
                      const ChainCheckRequest& request, FileTime now);

struct SignatureAttributes {
  std::vector<crypto::MessageAttribute> authenticated;
  std::vector<crypto::MessageAttribute> unauthenticated;
};

// The signing time first unless the caller placed it, then the caller's attributes in order.
// Raises 128, 132, 133, 1802, 1803 or 134 for a bad attribute.
SignatureAttributes buildSignedAttributes(const SignedAttribute* const* attributes, int32_t count,
                                          const crypto::MessageAttribute& signingTime);

// The signing time as a message attribute; raises 1801 when it cannot be encoded.
crypto::MessageAttribute encodeSigningTime(FileTime signingTime);

}  // namespace marqen
