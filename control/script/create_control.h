#pragma once
// The one way the control module makes a control object.

#include <memory>

#include "platform/com/script_method.h"

// A new control with its documented defaults, bound to the library beside the control module.
std::unique_ptr<marqen::com::ScriptObject> createMarqenControl();
