#include "platform/crypto/pfx.h"

#include <openssl/err.h>
#include <openssl/pkcs12.h>

#include <openssl/x509.h>

#include <climits>

#include "platform/crypto/failure_reason.h"
#include "platform/crypto/providers.h"

namespace marqen::crypto {
namespace {

Pkcs12Ptr decode(std::span<const unsigned char> bytes) {
  if (bytes.empty() || bytes.size() > static_cast<std::size_t>(LONG_MAX)) return nullptr;
  const unsigned char* p = bytes.data();
  Pkcs12Ptr pfx(d2i_PKCS12(nullptr, &p, static_cast<long>(bytes.size())));
  keepFailureReason();
  return pfx;
}

// The file chooses how often its password is hashed; a count in the billions would hold an
// import for minutes. Exporters use a few thousand (OpenSSL 2048, Windows 2000 to 10000).
constexpr long kMaxIterations = 1'000'000;

// ASN1_INTEGER_get gives -1 for a count too large for a long.
bool tooMany(long iterations) {
  return iterations < 0 || iterations > kMaxIterations;
}

// The iteration count of a password-based encryption, or 0 when OpenSSL would not take it.
long pbeIterations(const X509_ALGOR* algorithm) {
  const ASN1_OBJECT* oid = nullptr;
  int parameterType = 0;
  const void* parameter = nullptr;
  X509_ALGOR_get0(&oid, &parameterType, &parameter, algorithm);
  if (parameterType != V_ASN1_SEQUENCE) return 0;
  const auto* sequence = static_cast<const ASN1_STRING*>(parameter);
  const unsigned char* p = ASN1_STRING_get0_data(sequence);
  const long length = ASN1_STRING_length(sequence);
  if (OBJ_obj2nid(oid) != NID_pbes2) {
    const UniquePtr<PBEPARAM> pbe(d2i_PBEPARAM(nullptr, &p, length));
    return pbe ? ASN1_INTEGER_get(pbe->iter) : 0;
  }
  const UniquePtr<PBE2PARAM> pbes2(d2i_PBE2PARAM(nullptr, &p, length));
  if (!pbes2 || OBJ_obj2nid(pbes2->keyfunc->algorithm) != NID_id_pbkdf2) return 0;
  const ASN1_TYPE* kdf = pbes2->keyfunc->parameter;
  if (!kdf || kdf->type != V_ASN1_SEQUENCE) return 0;
  p = ASN1_STRING_get0_data(kdf->value.sequence);
  const UniquePtr<PBKDF2PARAM> pbkdf2(
      d2i_PBKDF2PARAM(nullptr, &p, ASN1_STRING_length(kdf->value.sequence)));
  return pbkdf2 ? ASN1_INTEGER_get(pbkdf2->iter) : 0;
}

// Whether every iteration count that can be read before decrypting stays within the limit:
// the MAC's, the encrypted safes' and the shrouded keys' in plain safes.
bool iterationsWithinLimit(const PKCS12* pfx) {
  const ASN1_INTEGER* macIterations = nullptr;
  PKCS12_get0_mac(nullptr, nullptr, nullptr, &macIterations, pfx);
  if (macIterations && tooMany(ASN1_INTEGER_get(macIterations))) return false;

  const UniquePtr<STACK_OF(PKCS7)> safes(PKCS12_unpack_authsafes(pfx));
  for (int i = 0; safes && i < sk_PKCS7_num(safes.get()); ++i) {
    PKCS7* safe = sk_PKCS7_value(safes.get(), i);
    if (PKCS7_type_is_encrypted(safe)) {
      const PKCS7_ENC_CONTENT* content = safe->d.encrypted ? safe->d.encrypted->enc_data : nullptr;
      if (content && tooMany(pbeIterations(content->algorithm))) return false;
      continue;
    }
    const UniquePtr<STACK_OF(PKCS12_SAFEBAG)> bags(PKCS12_unpack_p7data(safe));
    for (int j = 0; bags && j < sk_PKCS12_SAFEBAG_num(bags.get()); ++j) {
      const X509_SIG* shrouded = PKCS12_SAFEBAG_get0_pkcs8(sk_PKCS12_SAFEBAG_value(bags.get(), j));
      if (!shrouded) continue;
      const X509_ALGOR* algorithm = nullptr;
      X509_SIG_get0(shrouded, &algorithm, nullptr);
      if (tooMany(pbeIterations(algorithm))) return false;
    }
  }
  ERR_clear_error();
  return true;
}

}  // namespace

bool isPfx(std::span<const unsigned char> bytes) {
  return decode(bytes) != nullptr;
}

std::variant<PfxContents, PfxError> importPfx(std::span<const unsigned char> bytes,
                                              const char* password) {
  ensureLegacyAlgorithms();
  const Pkcs12Ptr pfx = decode(bytes);
  if (!pfx) return PfxError::NotPfx;
  if (!iterationsWithinLimit(pfx.get())) return PfxError::ImportFailed;

  // PKCS12_parse tries both the absent and the empty password when given either.
  const char* pass = (password && *password) ? password : nullptr;
  EVP_PKEY* rawKey = nullptr;
  X509* rawCertificate = nullptr;
  STACK_OF(X509)* rawOthers = nullptr;
  const int ok = PKCS12_parse(pfx.get(), pass, &rawKey, &rawCertificate, &rawOthers);
  EvpPkeyPtr key(rawKey);
  X509Ptr certificate(rawCertificate);
  X509StackPtr others(rawOthers);
  keepFailureReason();
  if (ok != 1) return PfxError::ImportFailed;
  if (!key || !certificate) return PfxError::NoCertificateWithKey;

  PfxContents contents{
      Certificate(std::move(certificate)), std::make_shared<SoftwareKey>(std::move(key)), {}};
  if (!contents.key->matches(contents.certificate)) return PfxError::NoCertificateWithKey;
  for (int i = 0; others && i < sk_X509_num(others.get()); ++i) {
    contents.otherCertificates.emplace_back(upRef(sk_X509_value(others.get(), i)));
  }
  return contents;
}

}  // namespace marqen::crypto
