#include "platform/crypto/cosigned_message.h"

#include <openssl/objects.h>

#include <climits>

#include "platform/crypto/failure_reason.h"
#include "platform/crypto/ordered_signed_data.h"

namespace marqen::crypto {
namespace {

bool addAttributes(STACK_OF(X509_ATTRIBUTE) * *list,
                   const std::vector<MessageAttribute>& attributes) {
  for (const auto& attribute : attributes) {
    const Asn1ObjectPtr oid(OBJ_txt2obj(attribute.oid.c_str(), 1));
    if (!oid || attribute.data.size() > static_cast<std::size_t>(INT_MAX)) return false;
    if (!X509at_add1_attr_by_OBJ(list, oid.get(), attribute.type, attribute.data.data(),
                                 static_cast<int>(attribute.data.size())))
      return false;
  }
  return true;
}

bool holdsCertificate(const PKCS7* p7, const Certificate& certificate) {
  const STACK_OF(X509)* held = p7->d.sign->cert;
  for (int i = 0; i < sk_X509_num(held); ++i)
    if (X509_cmp(sk_X509_value(held, i), certificate.get()) == 0) return true;
  return false;
}

// The embedded content; empty for a detached message.
std::span<const unsigned char> embeddedContent(const PKCS7* p7) {
  const PKCS7* inner = p7->d.sign->contents;
  if (!inner || OBJ_obj2nid(inner->type) != NID_pkcs7_data || !inner->d.data) return {};
  return std::span(ASN1_STRING_get0_data(inner->d.data),
                   static_cast<std::size_t>(ASN1_STRING_length(inner->d.data)));
}

// The content type and the content's digest, as every signer with signed attributes carries
// them, then the signature over the signed attributes.
bool signOver(const PKCS7* p7, PKCS7_SIGNER_INFO* si, const os::ContentSource& content,
              const EVP_MD* md) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestLength = 0;
  const PKCS7* inner = p7->d.sign->contents;
  const EvpMdCtxPtr context(EVP_MD_CTX_new());
  const bool hashed = context && EVP_DigestInit_ex(context.get(), md, nullptr) == 1 &&
                      content.forEachBlock([&context](std::span<const unsigned char> block) {
                        return EVP_DigestUpdate(context.get(), block.data(), block.size()) == 1;
                      }) &&
                      EVP_DigestFinal_ex(context.get(), digest, &digestLength) == 1;
  if (!inner || !hashed) return false;
  return X509at_add1_attr_by_NID(&si->auth_attr, NID_pkcs9_contentType, V_ASN1_OBJECT,
                                 reinterpret_cast<const unsigned char*>(inner->type), -1) &&
         PKCS7_add1_attrib_digest(si, digest, static_cast<int>(digestLength)) == 1 &&
         PKCS7_SIGNER_INFO_sign(si) == 1;
}

}  // namespace

std::variant<Bytes, CosignFailure> addSigner(std::span<const unsigned char> der,
                                             const os::ContentSource* detachedContent,
                                             const Certificate& signer, const PrivateKey& key,
                                             const SignParameters& parameters) {
  const Pkcs7Ptr p7 = decodeSignedData(der);
  if (!p7) return CosignFailure::Signer;
  const auto embedded = os::ContentSource::inMemory(embeddedContent(p7.get()));
  const os::ContentSource& content =
      embedded.size() == 0 && detachedContent ? *detachedContent : embedded;

  const EVP_MD* md = evpDigest(parameters.digest);
  // Appended after the existing signers; the digest algorithm joins the message's list.
  PKCS7_SIGNER_INFO* si = PKCS7_add_signature(p7.get(), signer.get(), key.key(), md);
  const bool signedOk = si && addAttributes(&si->auth_attr, parameters.signedAttributes) &&
                        addAttributes(&si->unauth_attr, parameters.unsignedAttributes) &&
                        signOver(p7.get(), si, content, md);
  if (!signedOk) {
    keepFailureReason();
    return CosignFailure::Signer;
  }
  // A second copy of a certificate the message already holds would add nothing.
  if (!holdsCertificate(p7.get(), signer) && PKCS7_add_certificate(p7.get(), signer.get()) != 1) {
    keepFailureReason();
    return CosignFailure::Certificate;
  }
  auto encoded = encodeInOrder(p7.get());
  if (!encoded) return CosignFailure::Signer;
  return std::move(*encoded);
}

}  // namespace marqen::crypto
