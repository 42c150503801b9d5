#include "platform/crypto/counter_signature.h"

#include <openssl/objects.h>

#include <algorithm>
#include <climits>

#include "platform/crypto/failure_reason.h"
#include "platform/crypto/name_text.h"
#include "platform/crypto/ordered_signed_data.h"

namespace marqen::crypto {
namespace {

std::optional<Bytes> signBytes(const PrivateKey& key, const EVP_MD* md,
                               std::span<const unsigned char> data) {
  EvpMdCtxPtr context(EVP_MD_CTX_new());
  std::size_t length = 0;
  if (!context || EVP_DigestSignInit(context.get(), nullptr, md, nullptr, key.key()) != 1 ||
      EVP_DigestSign(context.get(), nullptr, &length, data.data(), data.size()) != 1)
    return std::nullopt;
  Bytes signature(length);
  if (EVP_DigestSign(context.get(), signature.data(), &length, data.data(), data.size()) != 1)
    return std::nullopt;
  signature.resize(length);
  return signature;
}

bool verifyBytes(EVP_PKEY* key, const EVP_MD* md, std::span<const unsigned char> data,
                 const ASN1_OCTET_STRING* signature) {
  EvpMdCtxPtr context(EVP_MD_CTX_new());
  return context && signature &&
         EVP_DigestVerifyInit(context.get(), nullptr, md, nullptr, key) == 1 &&
         EVP_DigestVerify(context.get(), ASN1_STRING_get0_data(signature),
                          static_cast<std::size_t>(ASN1_STRING_length(signature)), data.data(),
                          data.size()) == 1;
}

// The counter-signature of `signatureValue` as the DER of its SignerInfo.
std::optional<Bytes> counterSignerInfo(std::span<const unsigned char> signatureValue,
                                       const Certificate& counterSigner, const PrivateKey& key,
                                       const EVP_MD* md) {
  UniquePtr<PKCS7_SIGNER_INFO> info(PKCS7_SIGNER_INFO_new());
  // Sets the version, issuer and serial, digest and signature algorithms.
  if (!info || PKCS7_SIGNER_INFO_set(info.get(), counterSigner.get(), key.key(), md) != 1)
    return std::nullopt;
  const auto signature = signBytes(key, md, signatureValue);
  if (!signature || signature->size() > static_cast<std::size_t>(INT_MAX) ||
      ASN1_STRING_set(info->enc_digest, signature->data(), static_cast<int>(signature->size())) !=
          1)
    return std::nullopt;
  unsigned char* der = nullptr;
  const int length = i2d_PKCS7_SIGNER_INFO(info.get(), &der);
  if (length <= 0) return std::nullopt;
  OpenSslMemory<unsigned char> owned(der);
  return Bytes(der, der + length);
}

}  // namespace

std::optional<Bytes> addCounterSignature(std::span<const unsigned char> der, int signerIndex,
                                         const Certificate& counterSigner, const PrivateKey& key,
                                         DigestAlgorithm digest) {
  const Pkcs7Ptr p7 = decodeSignedData(der);
  STACK_OF(PKCS7_SIGNER_INFO)* signers = p7 ? PKCS7_get_signer_info(p7.get()) : nullptr;
  if (!signers || signerIndex < 0 || signerIndex >= sk_PKCS7_SIGNER_INFO_num(signers))
    return std::nullopt;
  PKCS7_SIGNER_INFO* si = sk_PKCS7_SIGNER_INFO_value(signers, signerIndex);
  const ASN1_OCTET_STRING* value = si->enc_digest;
  const auto info = counterSignerInfo(
      std::span(ASN1_STRING_get0_data(value), static_cast<std::size_t>(ASN1_STRING_length(value))),
      counterSigner, key, evpDigest(digest));
  // The attribute's value is the SignerInfo itself: a SEQUENCE held as its whole encoding.
  Asn1StringPtr sequence(ASN1_STRING_type_new(V_ASN1_SEQUENCE));
  bool added =
      info && sequence && info->size() <= static_cast<std::size_t>(INT_MAX) &&
      ASN1_STRING_set(sequence.get(), info->data(), static_cast<int>(info->size())) == 1 &&
      PKCS7_add_attribute(si, NID_pkcs9_countersignature, V_ASN1_SEQUENCE, sequence.get()) == 1;
  if (!added) {
    keepFailureReason();
    return std::nullopt;
  }
  sequence.release();  // owned by the attribute now
  return encodeInOrder(p7.get());
}

std::optional<CounterSignature> CounterSignature::decode(std::span<const unsigned char> der) {
  if (der.empty() || der.size() > static_cast<std::size_t>(LONG_MAX)) return std::nullopt;
  const unsigned char* p = der.data();
  SignerInfoPtr info(d2i_PKCS7_SIGNER_INFO(nullptr, &p, static_cast<long>(der.size())));
  if (!info) keepFailureReason();
  if (!info || p != der.data() + der.size() || !info->issuer_and_serial ||
      !info->issuer_and_serial->issuer || !info->issuer_and_serial->serial)
    return std::nullopt;
  return CounterSignature(std::move(info));
}

std::string CounterSignature::issuerText() const {
  return nameToText(info_->issuer_and_serial->issuer);
}

std::string CounterSignature::serialText() const {
  return serialHexText(info_->issuer_and_serial->serial);
}

bool CounterSignature::verify(const Certificate& certificate,
                              std::span<const unsigned char> signatureValue) const {
  EVP_PKEY* key = X509_get0_pubkey(certificate.get());
  const EVP_MD* md =
      info_->digest_alg ? EVP_get_digestbyobj(info_->digest_alg->algorithm) : nullptr;
  bool ok = false;
  if (key && md) {
    if (sk_X509_ATTRIBUTE_num(info_->auth_attr) <= 0) {
      ok = verifyBytes(key, md, signatureValue, info_->enc_digest);
    } else {
      // Signed attributes: their message digest stands for the signature value, and the
      // signature covers their DER encoding as a SET.
      unsigned char digest[EVP_MAX_MD_SIZE];
      unsigned int digestLength = 0;
      const ASN1_OCTET_STRING* expected = PKCS7_digest_from_attributes(info_->auth_attr);
      unsigned char* encoded = nullptr;
      const int encodedLength = ASN1_item_i2d(reinterpret_cast<ASN1_VALUE*>(info_->auth_attr),
                                              &encoded, ASN1_ITEM_rptr(PKCS7_ATTR_VERIFY));
      OpenSslMemory<unsigned char> owned(encoded);
      ok = expected && encodedLength > 0 &&
           EVP_Digest(signatureValue.data(), signatureValue.size(), digest, &digestLength, md,
                      nullptr) == 1 &&
           static_cast<unsigned int>(ASN1_STRING_length(expected)) == digestLength &&
           std::equal(digest, digest + digestLength, ASN1_STRING_get0_data(expected)) &&
           verifyBytes(key, md, std::span(encoded, static_cast<std::size_t>(encodedLength)),
                       info_->enc_digest);
    }
  }
  if (!ok) keepFailureReason();
  return ok;
}

}  // namespace marqen::crypto
