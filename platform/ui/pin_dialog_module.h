#pragma once
// The boundary between the PIN prompt's logic and its drawing module, which links GTK.

#include <cstddef>
#include <cstdint>

#include "platform/ui/ui_module_file.h"

extern "C" {

enum MarqenPinDialogResult : std::int32_t {
  MARQEN_PIN_DIALOG_OK = 1,
  MARQEN_PIN_DIALOG_CANCELLED = 0,
  MARQEN_PIN_DIALOG_FAILED = -1,  // no display could be opened
};

// Shows the dialog; on OK writes the entry zero-terminated into `pin` (at most capacity - 1
// bytes: a longer entry counts as cancelled).
typedef std::int32_t MarqenPinDialogFunction(const char* title, const char* message,
                                             const char* warning, char* pin, std::size_t capacity);
}

namespace marqen::ui {

inline constexpr const char* kPinDialogEntryPoint = "marqen_pin_dialog_v1";

}  // namespace marqen::ui
