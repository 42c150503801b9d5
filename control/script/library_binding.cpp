#include "control/script/library_binding.h"

#include <utility>

namespace marqen::control {
namespace {

template <typename Function>
void bind(const os::SharedLibrary& module, Function*& entry, const char* name) {
  entry = module.function<Function>(name);
}

}  // namespace

bool LibraryBinding::loadAndBind() {
  release();
  module_ = os::SharedLibrary::load(fileName_);
  if (!module_) return false;
  const os::SharedLibrary& m = *module_;
  bind(m, exports_.getErrorMessage, "getErrorMessage");
  bind(m, exports_.viewCertificate, "viewCertificate");
  bind(m, exports_.sign, "sign");
  bind(m, exports_.cosign, "cosign");
  bind(m, exports_.Base64toDER, "Base64toDER");
  bind(m, exports_.DERtoBase64, "DERtoBase64");
  bind(m, exports_.getCertificateDetailsFromFile, "getCertificateDetailsFromFile");
  bind(m, exports_.listAllCertificatesFromStore, "listAllCertificatesFromStore");
  bind(m, exports_.rawsign, "rawsign");
  bind(m, exports_.countersign, "countersign");
  return true;
}

void LibraryBinding::release() noexcept {
  exports_ = LibraryExports{};
  module_.reset();
}

std::string BoundLibrary::message(ErrorCode code) const {
  const auto getMessage = binding_.exports().getErrorMessage;
  const char* text = getMessage ? getMessage(code) : nullptr;
  return text ? std::string(text) : std::string();
}

std::string BoundLibrary::unableToLoad() const {
  return "Unable to load the library " + binding_.fileName() + ".";
}

std::string BoundLibrary::noExport(std::string_view name) const {
  return "The library " + binding_.fileName() + " has no function " + std::string(name) + ".";
}

}  // namespace marqen::control
