#include "platform/crypto/chain_engine.h"

#include <openssl/err.h>
#include <openssl/x509_vfy.h>

#include <array>
#include <string_view>

#include "platform/crypto/cert_store.h"
#include "platform/crypto/crl.h"
#include "platform/crypto/failure_reason.h"

namespace marqen::crypto {
namespace {

std::uint32_t bitsForError(int error, bool cacheOnly) {
  switch (error) {
    case X509_V_OK:
      return 0;
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
    case X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD:
    case X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD:
      return kTrustIsNotTimeValid;
    case X509_V_ERR_CERT_REVOKED:
      return kTrustIsRevoked;
    case X509_V_ERR_CERT_SIGNATURE_FAILURE:
    case X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE:
    case X509_V_ERR_UNABLE_TO_DECODE_ISSUER_PUBLIC_KEY:
      return kTrustIsNotSignatureValid;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
    case X509_V_ERR_CERT_REJECTED:
      return kTrustIsUntrustedRoot;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
      return kTrustIsPartialChain;
    case X509_V_ERR_UNABLE_TO_GET_CRL:
      return kTrustRevocationStatusUnknown | (cacheOnly ? kTrustIsOfflineRevocation : 0);
    case X509_V_ERR_CRL_HAS_EXPIRED:
    case X509_V_ERR_CRL_NOT_YET_VALID:
    case X509_V_ERR_ERROR_IN_CRL_LAST_UPDATE_FIELD:
    case X509_V_ERR_ERROR_IN_CRL_NEXT_UPDATE_FIELD:
      // A stale list: the status cannot be known from what is cached.
      return kTrustRevocationStatusUnknown | kTrustIsOfflineRevocation;
    case X509_V_ERR_CRL_SIGNATURE_FAILURE:
    case X509_V_ERR_UNABLE_TO_DECRYPT_CRL_SIGNATURE:
    case X509_V_ERR_UNABLE_TO_GET_CRL_ISSUER:
    case X509_V_ERR_DIFFERENT_CRL_SCOPE:
    case X509_V_ERR_KEYUSAGE_NO_CRL_SIGN:
    case X509_V_ERR_UNHANDLED_CRITICAL_CRL_EXTENSION:
      return kTrustRevocationStatusUnknown;
    default:
      // Everything else (not a CA, path length, key usage, critical extensions, policy) means
      // the chain may not be used as proposed.
      return kTrustIsNotValidForUsage;
  }
}

struct Findings {
  std::uint32_t bits = 0;
  bool cacheOnly = false;
};

int collectAll(int ok, X509_STORE_CTX* ctx) {
  if (ok == 1) return 1;
  auto* findings = static_cast<Findings*>(X509_STORE_CTX_get_app_data(ctx));
  if (findings) findings->bits |= bitsForError(X509_STORE_CTX_get_error(ctx), findings->cacheOnly);
  return 1;  // go on, so every finding is reported, as the status bits expect
}

// A certificate valid outside its issuer's validity period breaks the nesting.
bool isTimeNested(const std::vector<Certificate>& chain) {
  for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
    const auto& child = chain[i];
    const auto& parent = chain[i + 1];
    if (child.notBefore() < parent.notBefore() || child.notAfter() > parent.notAfter())
      return false;
  }
  return true;
}

}  // namespace

std::optional<ChainResult> buildChain(const Certificate& certificate, const ChainOptions& options) {
  static constexpr std::array<std::string_view, 3> kIntermediateStores = {"CA", "MY",
                                                                          "ADDRESSBOOK"};
  const auto roots = CertificateStore::open("ROOT");
  if (!roots) return std::nullopt;

  X509StorePtr trusted(X509_STORE_new());
  X509StackPtr untrusted(sk_X509_new_null());
  if (!trusted || !untrusted) return std::nullopt;
  for (const auto& entry : roots->certificates())
    X509_STORE_add_cert(trusted.get(), entry.certificate.get());
  for (const auto name : kIntermediateStores) {
    const auto store = CertificateStore::open(name);
    if (!store) return std::nullopt;
    for (const auto& entry : store->certificates()) {
      X509Ptr reference = upRef(entry.certificate.get());
      // On success the stack owns the reference.
      if (reference && sk_X509_push(untrusted.get(), reference.get())) reference.release();
    }
  }

  unsigned long flags = 0;
  if (options.revocation != RevocationScope::None) {
    flags |= X509_V_FLAG_CRL_CHECK;
    if (options.revocation == RevocationScope::WholeChain) flags |= X509_V_FLAG_CRL_CHECK_ALL;
    for (const auto& crl : loadCrlFolder(certStoreRoot() / "CRL"))
      X509_STORE_add_crl(trusted.get(), crl.get());
  }
  ERR_clear_error();  // duplicates in the stores are not errors

  X509StoreCtxPtr ctx(X509_STORE_CTX_new());
  if (!ctx ||
      X509_STORE_CTX_init(ctx.get(), trusted.get(), certificate.get(), untrusted.get()) != 1)
    return std::nullopt;
  Findings findings;
  findings.cacheOnly = options.cacheOnly;
  X509_STORE_CTX_set_app_data(ctx.get(), &findings);
  X509_STORE_CTX_set_verify_cb(ctx.get(), collectAll);
  X509_STORE_CTX_set_flags(ctx.get(), flags);
  // A negative answer is an internal failure rather than a finding; the chain is not usable.
  if (X509_verify_cert(ctx.get()) < 0) findings.bits |= kTrustIsNotValidForUsage;
  keepFailureReason();

  ChainResult result;
  X509StackPtr chain(X509_STORE_CTX_get1_chain(ctx.get()));
  for (int i = 0; chain && i < sk_X509_num(chain.get()); ++i) {
    result.chain.emplace_back(upRef(sk_X509_value(chain.get(), i)));
  }
  if (result.chain.empty()) result.chain.push_back(certificate);
  if (!isTimeNested(result.chain)) findings.bits |= kTrustIsNotTimeNested;
  result.errorStatus = findings.bits;
  return result;
}

}  // namespace marqen::crypto
