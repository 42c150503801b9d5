#include "library/core/signer_library.h"

#include "library/core/library_error.h"
#include "platform/os/text.h"

namespace marqen {

SignerLibrary& SignerLibrary::instance() noexcept {
  static SignerLibrary library;
  return library;
}

ErrorCode SignerLibrary::setTrustedCANames(const char16_t* const* names, int32_t count) {
  if (!names) return err::MISSING_ARGUMENT;
  if (count <= 0) return err::INVALID_TRUSTED_CA_COUNT;
  std::vector<std::u16string> copies;
  copies.reserve(static_cast<std::size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    const char16_t* name = names[i];
    if (!name) return err::INVALID_TRUSTED_CA_COUNT;
    if (name[0] == u'\0') return err::INVALID_TRUSTED_CA_NAME_LENGTH;
    copies.emplace_back(os::wideView(name));
  }
  trustedCANames_.swap(copies);
  return err::NO_ERROR;
}

}  // namespace marqen
