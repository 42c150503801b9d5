#include "platform/crypto/raw_signature.h"

#include <openssl/rsa.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "platform/crypto/failure_reason.h"

namespace marqen::crypto {
namespace {

bool update(EVP_MD_CTX* context, const os::ContentSource& data, bool signing) {
  return data.forEachBlock([context, signing](std::span<const unsigned char> block) {
    return (signing ? EVP_DigestSignUpdate(context, block.data(), block.size())
                    : EVP_DigestVerifyUpdate(context, block.data(), block.size())) == 1;
  });
}

// PKCS#1 v1.5 for RSA keys, whatever a key's own default.
bool usePkcs1(EVP_PKEY_CTX* keyContext, EVP_PKEY* key) {
  return !EVP_PKEY_is_a(key, "RSA") ||
         EVP_PKEY_CTX_set_rsa_padding(keyContext, RSA_PKCS1_PADDING) == 1;
}

}  // namespace

std::variant<Bytes, RawSignatureFailure> rawSign(const PrivateKey& key, DigestAlgorithm digest,
                                                 const os::ContentSource& data) {
  EvpMdCtxPtr context(EVP_MD_CTX_new());
  EVP_PKEY_CTX* keyContext = nullptr;
  std::size_t length = 0;
  Bytes signature;
  std::optional<RawSignatureFailure> failure;
  if (!context ||
      EVP_DigestSignInit(context.get(), &keyContext, evpDigest(digest), nullptr, key.key()) != 1 ||
      !usePkcs1(keyContext, key.key())) {
    failure = RawSignatureFailure::Hash;
  } else if (!update(context.get(), data, true)) {
    failure = RawSignatureFailure::HashData;
  } else if (EVP_DigestSignFinal(context.get(), nullptr, &length) != 1) {
    failure = RawSignatureFailure::Signature;
  } else {
    signature.resize(length);
    if (EVP_DigestSignFinal(context.get(), signature.data(), &length) != 1)
      failure = RawSignatureFailure::Signature;
  }
  if (failure) {
    keepFailureReason();
    return *failure;
  }
  signature.resize(length);
  // Least significant byte first, as Windows hands out signature values.
  std::reverse(signature.begin(), signature.end());
  return signature;
}

std::size_t signatureSize(const Certificate& certificate) {
  EVP_PKEY* key = X509_get0_pubkey(certificate.get());
  if (!key) keepFailureReason();
  const int size = key ? EVP_PKEY_get_size(key) : 0;
  return size > 0 ? static_cast<std::size_t>(size) : 0U;
}

std::optional<RawSignatureFailure> rawVerify(const Certificate& certificate, DigestAlgorithm digest,
                                             const os::ContentSource& data,
                                             std::span<const unsigned char> signature) {
  EVP_PKEY* key = X509_get0_pubkey(certificate.get());
  std::optional<RawSignatureFailure> failure;
  EvpMdCtxPtr context(EVP_MD_CTX_new());
  EVP_PKEY_CTX* keyContext = nullptr;
  if (!key) {
    failure = RawSignatureFailure::PublicKey;
  } else if (!context ||
             EVP_DigestVerifyInit(context.get(), &keyContext, evpDigest(digest), nullptr, key) !=
                 1 ||
             !usePkcs1(keyContext, key)) {
    failure = RawSignatureFailure::Hash;
  } else if (!update(context.get(), data, false)) {
    failure = RawSignatureFailure::HashData;
  } else {
    const Bytes reversed(signature.rbegin(), signature.rend());
    if (EVP_DigestVerifyFinal(context.get(), reversed.data(), reversed.size()) != 1)
      failure = RawSignatureFailure::Signature;
  }
  if (failure) keepFailureReason();
  return failure;
}

std::variant<Bytes, RawSignatureFailure> rawSign(const PrivateKey& key, DigestAlgorithm digest,
                                                 std::span<const unsigned char> data) {
  return rawSign(key, digest, os::ContentSource::inMemory(data));
}

}  // namespace marqen::crypto
