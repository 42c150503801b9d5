#pragma once
// The control's property page as design tools drive it: its page information and a way to show
// it. The control has no properties of its own, so the page carries no settings.

#include <memory>

#include "platform/com/script_method.h"

namespace marqen::control {

// Dispatch identifiers of the page's methods, fixed like the control's.
enum PropPageDispId : std::int32_t {
  DISPID_PAGE_SHOW = 1,
  DISPID_PAGE_TITLE = 2,
  DISPID_PAGE_DOC_STRING = 3,
  DISPID_PAGE_HELP_FILE = 4,
  DISPID_PAGE_HELP_CONTEXT = 5,
};

// Show answers 1 when closed with OK, 2 when cancelled, 3 when it cannot be shown (no graphical
// session or no dialog module).
std::unique_ptr<com::ScriptObject> createPropertyPage();

}  // namespace marqen::control
