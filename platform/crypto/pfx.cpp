#include "platform/crypto/pfx.h"

#include <openssl/err.h>
#include <openssl/pkcs12.h>

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

}  // namespace

bool isPfx(std::span<const unsigned char> bytes) {
  return decode(bytes) != nullptr;
}

std::variant<PfxContents, PfxError> importPfx(std::span<const unsigned char> bytes,
                                              const char* password) {
  ensureLegacyAlgorithms();
  const Pkcs12Ptr pfx = decode(bytes);
  if (!pfx) return PfxError::NotPfx;

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
