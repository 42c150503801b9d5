#pragma once
// Dialogs for the control and the tool. Each call is modal and returns when the user closes the
// dialog. Without a graphical session (neither DISPLAY nor WAYLAND_DISPLAY) or without the
// dialog module, nothing is shown and the calls answer Unavailable. One thread only.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/ui_module.h"

namespace marqen::ui {

enum class DialogResult { Ok = 1, Cancel = 2, Unavailable = 3 };

// Whether dialogs can be shown at all: a display and a module that loads.
bool dialogsAvailable();

// A text with an information icon and OK, without an owner window.
DialogResult messageBox(const std::string& text, const std::string& caption);

// The system's text for an error number (errno), or nothing for 0: there is no error to tell.
std::optional<std::string> systemErrorText(int error);
// Shows that text in a message box captioned "Error", when there is one.
void showSystemError(int error);

DialogResult aboutBox();
DialogResult propertyPage();

// The picker's drawing; the behaviour stays with the caller through the view's callbacks.
DialogResult runPicker(const MarqenPickerView& view, std::int32_t& chosenRow);

// Starts the desktop's opener on a web address without waiting for it.
bool openAddress(const std::string& address);

struct Bounds {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
};

// The control's picture in design tools: a white fill and the ellipse inscribed in the bounds.
// Needs no display, only the module.
bool drawControl(cairo_t* cr, const Bounds& bounds);

}  // namespace marqen::ui
