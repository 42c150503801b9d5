#pragma once
// Owning handles for OpenSSL objects. UniquePtr<T> releases T with the free function OpenSSL
// pairs with it, so a handle names only its type; upRef takes one more reference to an object
// that something else owns.

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/conf.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace marqen::crypto {

// Release<T>::free(T*) for every OpenSSL type the project holds.
template <typename T>
struct Release;

#define MARQEN_OPENSSL_RELEASE(Type, function)          \
  template <>                                           \
  struct Release<Type> {                                \
    static void free(Type* p) noexcept { function(p); } \
  };

MARQEN_OPENSSL_RELEASE(X509, X509_free)
MARQEN_OPENSSL_RELEASE(X509_NAME, X509_NAME_free)
MARQEN_OPENSSL_RELEASE(X509_NAME_ENTRY, X509_NAME_ENTRY_free)
MARQEN_OPENSSL_RELEASE(X509_CRL, X509_CRL_free)
MARQEN_OPENSSL_RELEASE(X509_REVOKED, X509_REVOKED_free)
MARQEN_OPENSSL_RELEASE(X509_STORE, X509_STORE_free)
MARQEN_OPENSSL_RELEASE(X509_STORE_CTX, X509_STORE_CTX_free)
MARQEN_OPENSSL_RELEASE(X509_EXTENSION, X509_EXTENSION_free)
MARQEN_OPENSSL_RELEASE(EVP_PKEY, EVP_PKEY_free)
MARQEN_OPENSSL_RELEASE(EVP_PKEY_CTX, EVP_PKEY_CTX_free)
MARQEN_OPENSSL_RELEASE(EVP_MD_CTX, EVP_MD_CTX_free)
MARQEN_OPENSSL_RELEASE(BIO, BIO_free_all)
MARQEN_OPENSSL_RELEASE(PKCS12, PKCS12_free)
MARQEN_OPENSSL_RELEASE(PKCS7, PKCS7_free)
MARQEN_OPENSSL_RELEASE(PBE2PARAM, PBE2PARAM_free)
MARQEN_OPENSSL_RELEASE(CMS_ContentInfo, CMS_ContentInfo_free)
// ASN1_INTEGER, ASN1_TIME, ASN1_BIT_STRING and the other string types are all ASN1_STRING.
MARQEN_OPENSSL_RELEASE(ASN1_STRING, ASN1_STRING_free)
MARQEN_OPENSSL_RELEASE(ASN1_TYPE, ASN1_TYPE_free)
MARQEN_OPENSSL_RELEASE(ASN1_OBJECT, ASN1_OBJECT_free)
MARQEN_OPENSSL_RELEASE(AUTHORITY_KEYID, AUTHORITY_KEYID_free)
MARQEN_OPENSSL_RELEASE(AUTHORITY_INFO_ACCESS, AUTHORITY_INFO_ACCESS_free)
MARQEN_OPENSSL_RELEASE(CRL_DIST_POINTS, CRL_DIST_POINTS_free)
MARQEN_OPENSSL_RELEASE(CONF, NCONF_free)
MARQEN_OPENSSL_RELEASE(BIGNUM, BN_free)
#undef MARQEN_OPENSSL_RELEASE

// Stacks own their elements: each is released with it.
template <>
struct Release<STACK_OF(X509)> {
  static void free(STACK_OF(X509) * p) noexcept { sk_X509_pop_free(p, X509_free); }
};
template <>
struct Release<STACK_OF(PKCS7)> {
  static void free(STACK_OF(PKCS7) * p) noexcept { sk_PKCS7_pop_free(p, PKCS7_free); }
};
template <>
struct Release<STACK_OF(PKCS12_SAFEBAG)> {
  static void free(STACK_OF(PKCS12_SAFEBAG) * p) noexcept {
    sk_PKCS12_SAFEBAG_pop_free(p, PKCS12_SAFEBAG_free);
  }
};

template <typename T>
struct Deleter {
  void operator()(T* p) const noexcept { Release<T>::free(p); }
};

template <typename T>
using UniquePtr = std::unique_ptr<T, Deleter<T>>;

// The up-reference functions of the reference-counted types.
inline int upRefOf(X509* p) noexcept {
  return X509_up_ref(p);
}
inline int upRefOf(X509_CRL* p) noexcept {
  return X509_CRL_up_ref(p);
}
inline int upRefOf(EVP_PKEY* p) noexcept {
  return EVP_PKEY_up_ref(p);
}

// A new owning handle to an object owned elsewhere; null for null (or a failed up-reference).
template <typename T>
UniquePtr<T> upRef(T* p) noexcept {
  if (!p || upRefOf(p) != 1) return nullptr;
  return UniquePtr<T>(p);
}

// Memory that OpenSSL allocated (e.g. the output of an i2d_ function).
struct OpenSslFree {
  void operator()(void* p) const noexcept { OPENSSL_free(p); }
};
template <typename T>
using OpenSslMemory = std::unique_ptr<T, OpenSslFree>;

using X509Ptr = UniquePtr<X509>;
using X509NamePtr = UniquePtr<X509_NAME>;
using X509CrlPtr = UniquePtr<X509_CRL>;
using X509StorePtr = UniquePtr<X509_STORE>;
using X509StoreCtxPtr = UniquePtr<X509_STORE_CTX>;
using X509ExtensionPtr = UniquePtr<X509_EXTENSION>;
using X509StackPtr = UniquePtr<STACK_OF(X509)>;
using EvpPkeyPtr = UniquePtr<EVP_PKEY>;
using EvpPkeyCtxPtr = UniquePtr<EVP_PKEY_CTX>;
using EvpMdCtxPtr = UniquePtr<EVP_MD_CTX>;
using BioPtr = UniquePtr<BIO>;
using Pkcs12Ptr = UniquePtr<PKCS12>;
using Asn1IntegerPtr = UniquePtr<ASN1_INTEGER>;
using Asn1TimePtr = UniquePtr<ASN1_TIME>;
using Asn1TypePtr = UniquePtr<ASN1_TYPE>;
using Asn1ObjectPtr = UniquePtr<ASN1_OBJECT>;
using X509NameEntryPtr = UniquePtr<X509_NAME_ENTRY>;
using BignumPtr = UniquePtr<BIGNUM>;
using CmsPtr = UniquePtr<CMS_ContentInfo>;

}  // namespace marqen::crypto
