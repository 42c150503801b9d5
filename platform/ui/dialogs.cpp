#include "platform/ui/dialogs.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/os/shared_library.h"

namespace marqen::ui {
namespace {

bool hasDisplay() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

// Loaded once and kept: GTK cannot be unloaded from a process. The module is looked for beside
// the module asking, then along its run path (an installed tool finds it in the library folder).
const MarqenUiTable* table() {
  static const MarqenUiTable* loaded = nullptr;
  static std::once_flag tried;
  std::call_once(tried, [] {
    std::string problem;
    void* entry = nullptr;
    if (auto beside = os::SharedLibrary::loadBesideForGood(kUiModuleFile, problem)) {
      entry = beside->symbol(kUiEntryPoint);
      // RTLD_NODELETE keeps the mapping when the handle goes.
    } else if (void* handle = ::dlopen(kUiModuleFile, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) {
      entry = ::dlsym(handle, kUiEntryPoint);
      ::dlclose(handle);
    }
    if (entry) loaded = reinterpret_cast<MarqenUiEntry*>(entry)();
  });
  return loaded;
}

const MarqenUiTable* dialogTable() {
  return hasDisplay() ? table() : nullptr;
}

DialogResult resultOf(std::int32_t code) {
  switch (code) {
    case 1:
      return DialogResult::Ok;
    case 2:
      return DialogResult::Cancel;
    default:
      return DialogResult::Unavailable;
  }
}

}  // namespace

bool dialogsAvailable() {
  return dialogTable() != nullptr;
}

DialogResult messageBox(const std::string& text, const std::string& caption) {
  const auto* t = dialogTable();
  return t ? resultOf(t->messageBox(text.c_str(), caption.c_str())) : DialogResult::Unavailable;
}

std::optional<std::string> systemErrorText(int error) {
  if (error == 0) return std::nullopt;
  char buffer[256] = {};
  // The GNU strerror_r answers with a pointer, to the buffer or to a static text.
  const char* text = ::strerror_r(error, buffer, sizeof buffer);
  if (!text || !*text) return std::nullopt;
  return std::string(text);
}

void showSystemError(int error) {
  if (const auto text = systemErrorText(error)) messageBox(*text, "Error");
}

DialogResult aboutBox() {
  const auto* t = dialogTable();
  return t ? resultOf(t->aboutBox()) : DialogResult::Unavailable;
}

DialogResult propertyPage() {
  const auto* t = dialogTable();
  return t ? resultOf(t->propertyPage()) : DialogResult::Unavailable;
}

DialogResult runPicker(const MarqenPickerView& view, std::int32_t& chosenRow) {
  chosenRow = -1;
  const auto* t = dialogTable();
  return t ? resultOf(t->runPicker(&view, &chosenRow)) : DialogResult::Unavailable;
}

bool openAddress(const std::string& address) {
  const auto* t = dialogTable();
  return t && t->openAddress(address.c_str()) == 0;
}

bool drawControl(cairo_t* cr, const Bounds& bounds) {
  const auto* t = table();
  if (!t || !cr) return false;
  t->drawControl(cr, bounds.x, bounds.y, bounds.width, bounds.height);
  return true;
}

}  // namespace marqen::ui
