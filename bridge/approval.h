#pragma once
// Asking the user whether an origin may use the signing control.

#include <string>

#include "bridge/server.h"

namespace marqen::bridge {

// Shows the approval dialog and waits for an answer, at most a minute; Deny without a
// graphical session, when the dialog cannot be shown, and when nobody answers.
Approval askApproval(const std::string& origin);

}  // namespace marqen::bridge
