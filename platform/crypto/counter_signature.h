#pragma once
// PKCS#9 counter-signatures: a SignerInfo, carried as the unsigned attribute
// 1.2.840.113549.1.9.6 of the signer it counter-signs, whose signature covers the digest of
// that signer's signature value.

#include <openssl/pkcs7.h>

#include <optional>
#include <span>
#include <string>

#include "platform/crypto/certificate.h"
#include "platform/crypto/digest.h"
#include "platform/crypto/oids.h"
#include "platform/crypto/openssl_ptr.h"
#include "platform/crypto/private_key.h"
#include "platform/crypto/signed_message.h"

namespace marqen::crypto {

// Adds a counter-signature without signed attributes to the signer at `signerIndex` of the
// signed-data message `der`. Empty when the message cannot be read, the index is past its
// signers, or the signature cannot be made. The message keeps its form and its signers their
// places. Returns the new message's DER.
std::optional<Bytes> addCounterSignature(std::span<const unsigned char> der, int signerIndex,
                                         const Certificate& counterSigner, const PrivateKey& key,
                                         DigestAlgorithm digest);

// One decoded counter-signature.
class CounterSignature {
 public:
  // The DER of a SignerInfo, nothing after it; empty when it is anything else.
  static std::optional<CounterSignature> decode(std::span<const unsigned char> der);

  // The counter-signer's issuer name as the system writes names, and its serial number as
  // upper-case hex, most significant byte first.
  std::string issuerText() const;
  std::string serialText() const;

  // Whether the certificate's key verifies this counter-signature over `signatureValue`, the
  // counter-signed signer's signature. With signed attributes, their message digest must be
  // the digest of that value and the signature must cover them.
  bool verify(const Certificate& certificate, std::span<const unsigned char> signatureValue) const;

 private:
  using SignerInfoPtr = UniquePtr<PKCS7_SIGNER_INFO>;
  explicit CounterSignature(SignerInfoPtr info) : info_(std::move(info)) {}
  SignerInfoPtr info_;
};

}  // namespace marqen::crypto
