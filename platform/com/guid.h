#pragma once
// GUIDs in their registry text form: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}, upper case.

#include <optional>
#include <string>
#include <string_view>

#include "platform/com/com_types.h"

namespace marqen::com {

std::string guidToString(const GUID& guid);
// Accepts either case; anything but the braced 38-character form is empty.
std::optional<GUID> guidFromString(std::string_view text);

}  // namespace marqen::com
