#pragma once
// Owning handles for OpenSSL objects, released with OpenSSL's own free functions.

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace marqen::crypto {

template <auto FreeFunction>
struct OpenSslDeleter {
  template <typename T>
  void operator()(T* p) const noexcept {
    FreeFunction(p);
  }
};

template <typename T, auto FreeFunction>
using OpenSslPtr = std::unique_ptr<T, OpenSslDeleter<FreeFunction>>;

using X509Ptr = OpenSslPtr<X509, X509_free>;
using X509NamePtr = OpenSslPtr<X509_NAME, X509_NAME_free>;
using X509CrlPtr = OpenSslPtr<X509_CRL, X509_CRL_free>;
using X509StorePtr = OpenSslPtr<X509_STORE, X509_STORE_free>;
using X509StoreCtxPtr = OpenSslPtr<X509_STORE_CTX, X509_STORE_CTX_free>;
using X509ExtensionPtr = OpenSslPtr<X509_EXTENSION, X509_EXTENSION_free>;
using EvpPkeyPtr = OpenSslPtr<EVP_PKEY, EVP_PKEY_free>;
using EvpPkeyCtxPtr = OpenSslPtr<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;
using EvpMdCtxPtr = OpenSslPtr<EVP_MD_CTX, EVP_MD_CTX_free>;
using BioPtr = OpenSslPtr<BIO, BIO_free_all>;
using Pkcs12Ptr = OpenSslPtr<PKCS12, PKCS12_free>;
using Asn1IntegerPtr = OpenSslPtr<ASN1_INTEGER, ASN1_INTEGER_free>;
using Asn1TimePtr = OpenSslPtr<ASN1_TIME, ASN1_TIME_free>;
using Asn1TypePtr = OpenSslPtr<ASN1_TYPE, ASN1_TYPE_free>;
using Asn1ObjectPtr = OpenSslPtr<ASN1_OBJECT, ASN1_OBJECT_free>;
using X509NameEntryPtr = OpenSslPtr<X509_NAME_ENTRY, X509_NAME_ENTRY_free>;
using BignumPtr = OpenSslPtr<BIGNUM, BN_free>;

inline void freeX509Stack(STACK_OF(X509) * stack) noexcept {
  sk_X509_pop_free(stack, X509_free);
}
using X509StackPtr = OpenSslPtr<STACK_OF(X509), freeX509Stack>;

inline void freeOpenSslMemory(void* p) noexcept {
  OPENSSL_free(p);
}
template <typename T>
using OpenSslMemory = OpenSslPtr<T, freeOpenSslMemory>;

}  // namespace marqen::crypto
