#include "library/api/signer_library.h"

#include "library/api/library_error.h"
#include "platform/os/text.h"

namespace marqen {

SignerLibrary& SignerLibrary::instance() noexcept {
  static SignerLibrary library;
  return library;
}

ErrorCode SignerLibrary::setTrustedCANames(const char16_t* const* names, int32_t count) {
  if (!names) return err::kMissingArgument;
  if (count <= 0) return err::kInvalidTrustedCACount;
  std::vector<std::u16string> copies;
  copies.reserve(static_cast<std::size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    const char16_t* name = names[i];
    if (!name) return err::kInvalidTrustedCACount;
    if (name[0] == u'\0') return err::kInvalidTrustedCANameLength;
    copies.emplace_back(os::wideView(name));
  }
  trustedCANames_.swap(copies);
  return err::kNoError;
}

}  // namespace marqen
