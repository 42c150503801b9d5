#pragma once
// The one process-wide library object. Its only state across calls is the trusted CA list,
// which lives until the library is unloaded.

#include <string>
#include <vector>

#include "library/include/Marqen_InterfaceV2.h"

namespace marqen {

class SignerLibrary {
 public:
  static SignerLibrary& instance() noexcept;

  // Validates and copies every name first; the list in force changes only when all succeed.
  ErrorCode setTrustedCANames(const char16_t* const* names, int32_t count);

  // Empty until a call to setTrustedCANames succeeds.
  const std::vector<std::u16string>& trustedCANames() const noexcept { return trustedCANames_; }
  bool hasTrustedCANames() const noexcept { return !trustedCANames_.empty(); }

 private:
  SignerLibrary() = default;
  std::vector<std::u16string> trustedCANames_;
};

}  // namespace marqen
