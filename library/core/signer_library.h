#pragma once
// The one process-wide library object. Its only state across calls is the trusted CA list,
// which lives until the library is unloaded.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "library/include/Marqen_InterfaceV2.h"

namespace marqen {

using TrustedCANames = std::vector<std::u16string>;

class SignerLibrary {
 public:
  static SignerLibrary& instance() noexcept;

  // Validates and copies every name first; the list in force changes only when all succeed.
  // Raises 102, 129 or 131.
  void setTrustedCANames(const char16_t* const* names, int32_t count);

  // The list in force, empty until a call to setTrustedCANames succeeds. The list is never
  // changed once published: a new list replaces the pointer, so a check that holds this
  // snapshot sees one whole list however other threads replace it meanwhile.
  std::shared_ptr<const TrustedCANames> trustedCANames() const;
  bool hasTrustedCANames() const { return !trustedCANames()->empty(); }

 private:
  SignerLibrary();
  mutable std::mutex mutex_;  // guards the pointer, never the list it points to
  std::shared_ptr<const TrustedCANames> trustedCANames_;
};

}  // namespace marqen
