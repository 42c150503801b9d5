#pragma once
// The signature library as the control uses it: loaded by name for one script call, its exports
// found by name, and unloaded before the call returns. The control never links against it.

#include <optional>
#include <string>
#include <string_view>

#include "library/include/Marqen_InterfaceV2.h"
#include "platform/os/shared_library.h"

namespace marqen::control {

// The file the control loads; the loader looks beside the control module (its run path) and in
// the standard places.
inline constexpr std::string_view kLibraryFileName = "libMarqen_InterfaceV2.so";

// The entry points a call may need, typed from the header's declarations. Null for an export
// the loaded library does not have.
struct LibraryExports {
  decltype(&::getErrorMessage) getErrorMessage = nullptr;
  decltype(&::viewCertificate) viewCertificate = nullptr;
  decltype(&::sign) sign = nullptr;
  decltype(&::cosign) cosign = nullptr;
  decltype(&::Base64toDER) Base64toDER = nullptr;
  decltype(&::DERtoBase64) DERtoBase64 = nullptr;
  decltype(&::getCertificateDetailsFromFile) getCertificateDetailsFromFile = nullptr;
  decltype(&::listAllCertificatesFromStore) listAllCertificatesFromStore = nullptr;
  decltype(&::rawsign) rawsign = nullptr;
  decltype(&::countersign) countersign = nullptr;
};

class LibraryBinding {
 public:
  explicit LibraryBinding(std::string fileName = std::string(kLibraryFileName))
      : fileName_(std::move(fileName)) {}

  // Loads the library and looks up every entry point. False when the library cannot be loaded;
  // the entry points are then all null.
  bool loadAndBind();
  // Unloads the library; the entry points are cleared with it, so none outlives the module.
  void release() noexcept;

  bool loaded() const noexcept { return module_.has_value(); }
  const LibraryExports& exports() const noexcept { return exports_; }
  const std::string& fileName() const noexcept { return fileName_; }

 private:
  std::string fileName_;
  std::optional<os::SharedLibrary> module_;
  LibraryExports exports_{};
};

// One call's hold on the library: loads and binds on construction, releases on destruction, so
// the library is unloaded on every path out of a script method, exceptions included.
class BoundLibrary {
 public:
  explicit BoundLibrary(LibraryBinding& binding) : binding_(binding) { binding_.loadAndBind(); }
  ~BoundLibrary() { binding_.release(); }
  BoundLibrary(const BoundLibrary&) = delete;
  BoundLibrary& operator=(const BoundLibrary&) = delete;

  const LibraryExports& exports() const noexcept { return binding_.exports(); }

  // Empty when the library is loaded and has the export `name` (at `entry`) and, when the call
  // reports failures through it, getErrorMessage; otherwise the status text that says what is
  // missing. No export is called when something is missing.
  template <typename Entry>
  std::optional<std::string> missing(Entry LibraryExports::*entry, std::string_view name,
                                     bool needsMessages = true) const {
    if (!binding_.loaded()) return unableToLoad();
    if (!(binding_.exports().*entry)) return noExport(name);
    if (needsMessages && !binding_.exports().getErrorMessage) return noExport("getErrorMessage");
    return std::nullopt;
  }

  // The library's message for a failure code, copied while the library is still loaded.
  std::string message(ErrorCode code) const;

 private:
  std::string unableToLoad() const;
  std::string noExport(std::string_view name) const;

  LibraryBinding& binding_;
};

}  // namespace marqen::control
