#include "platform/crypto/providers.h"

#include <openssl/err.h>
#include <openssl/provider.h>

namespace marqen::crypto {
namespace {

// Holds the providers for the life of the module and unloads them when it goes away, before
// OpenSSL's own clean-up at exit.
struct LoadedProviders {
  OSSL_PROVIDER* defaultProvider = OSSL_PROVIDER_load(nullptr, "default");
  OSSL_PROVIDER* legacyProvider = OSSL_PROVIDER_load(nullptr, "legacy");
  LoadedProviders() { ERR_clear_error(); }
  ~LoadedProviders() {
    if (legacyProvider) OSSL_PROVIDER_unload(legacyProvider);
    if (defaultProvider) OSSL_PROVIDER_unload(defaultProvider);
  }
  LoadedProviders(const LoadedProviders&) = delete;
  LoadedProviders& operator=(const LoadedProviders&) = delete;
};

}  // namespace

void ensureLegacyAlgorithms() noexcept {
  // Loading "legacy" explicitly would switch off the implicit default provider, so load both.
  static const LoadedProviders providers;
  (void)providers;
}

}  // namespace marqen::crypto
