#include "library/core/signer_library.h"

#include "library/core/library_error.h"
#include "platform/os/text.h"

namespace marqen {

SignerLibrary::SignerLibrary() : trustedCANames_(std::make_shared<const TrustedCANames>()) {}

SignerLibrary& SignerLibrary::instance() noexcept {
  static SignerLibrary library;
  return library;
}

void SignerLibrary::setTrustedCANames(const char16_t* const* names, int32_t count) {
  if (!names) raiseError(err::MISSING_ARGUMENT);
  if (count <= 0) raiseError(err::INVALID_TRUSTED_CA_COUNT);
  auto copies = std::make_shared<TrustedCANames>();
  copies->reserve(static_cast<std::size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    const char16_t* name = names[i];
    if (!name) raiseError(err::INVALID_TRUSTED_CA_COUNT);
    if (name[0] == u'\0') raiseError(err::INVALID_TRUSTED_CA_NAME_LENGTH);
    copies->emplace_back(os::wideView(name));
  }
  std::shared_ptr<const TrustedCANames> published = std::move(copies);
  const std::lock_guard lock(mutex_);
  trustedCANames_.swap(published);
  // The previous list is released after the lock, by whichever holder lets it go last.
}

std::shared_ptr<const TrustedCANames> SignerLibrary::trustedCANames() const {
  const std::lock_guard lock(mutex_);
  return trustedCANames_;
}

}  // namespace marqen
