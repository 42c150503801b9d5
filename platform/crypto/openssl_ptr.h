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

template <typename T, void (*Function)(T*)>
struct ReleaseWith {
  static void free(T* p) noexcept { Function(p); }
};

template <>
struct Release<X509> : ReleaseWith<X509, X509_free> {};
template <>
struct Release<X509_NAME> : ReleaseWith<X509_NAME, X509_NAME_free> {};
template <>
struct Release<X509_NAME_ENTRY> : ReleaseWith<X509_NAME_ENTRY, X509_NAME_ENTRY_free> {};
template <>
struct Release<X509_CRL> : ReleaseWith<X509_CRL, X509_CRL_free> {};
template <>
struct Release<X509_REVOKED> : ReleaseWith<X509_REVOKED, X509_REVOKED_free> {};
template <>
struct Release<X509_STORE> : ReleaseWith<X509_STORE, X509_STORE_free> {};
template <>
struct Release<X509_STORE_CTX> : ReleaseWith<X509_STORE_CTX, X509_STORE_CTX_free> {};
template <>
struct Release<X509_EXTENSION> : ReleaseWith<X509_EXTENSION, X509_EXTENSION_free> {};
template <>
struct Release<EVP_PKEY> : ReleaseWith<EVP_PKEY, EVP_PKEY_free> {};
template <>
struct Release<EVP_PKEY_CTX> : ReleaseWith<EVP_PKEY_CTX, EVP_PKEY_CTX_free> {};
template <>
struct Release<EVP_MD_CTX> : ReleaseWith<EVP_MD_CTX, EVP_MD_CTX_free> {};
template <>
struct Release<BIO> : ReleaseWith<BIO, BIO_free_all> {};
template <>
struct Release<PKCS12> : ReleaseWith<PKCS12, PKCS12_free> {};
template <>
struct Release<PKCS7> : ReleaseWith<PKCS7, PKCS7_free> {};
template <>
struct Release<PBEPARAM> : ReleaseWith<PBEPARAM, PBEPARAM_free> {};
template <>
struct Release<PBE2PARAM> : ReleaseWith<PBE2PARAM, PBE2PARAM_free> {};
template <>
struct Release<PBKDF2PARAM> : ReleaseWith<PBKDF2PARAM, PBKDF2PARAM_free> {};
template <>
struct Release<PKCS7_SIGNER_INFO> : ReleaseWith<PKCS7_SIGNER_INFO, PKCS7_SIGNER_INFO_free> {};
template <>
struct Release<CMS_ContentInfo> : ReleaseWith<CMS_ContentInfo, CMS_ContentInfo_free> {};
// ASN1_INTEGER, ASN1_TIME, ASN1_BIT_STRING and the other string types are all ASN1_STRING.
template <>
struct Release<ASN1_STRING> : ReleaseWith<ASN1_STRING, ASN1_STRING_free> {};
template <>
struct Release<ASN1_TYPE> : ReleaseWith<ASN1_TYPE, ASN1_TYPE_free> {};
template <>
struct Release<ASN1_OBJECT> : ReleaseWith<ASN1_OBJECT, ASN1_OBJECT_free> {};
template <>
struct Release<AUTHORITY_KEYID> : ReleaseWith<AUTHORITY_KEYID, AUTHORITY_KEYID_free> {};
template <>
struct Release<AUTHORITY_INFO_ACCESS>
    : ReleaseWith<AUTHORITY_INFO_ACCESS, AUTHORITY_INFO_ACCESS_free> {};
template <>
struct Release<CRL_DIST_POINTS> : ReleaseWith<CRL_DIST_POINTS, CRL_DIST_POINTS_free> {};
template <>
struct Release<CONF> : ReleaseWith<CONF, NCONF_free> {};
template <>
struct Release<BIGNUM> : ReleaseWith<BIGNUM, BN_free> {};

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
using Pkcs7Ptr = UniquePtr<PKCS7>;
using Asn1StringPtr = UniquePtr<ASN1_STRING>;

}  // namespace marqen::crypto
