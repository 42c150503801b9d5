#pragma once
// How the tool's own token commands get a PIN the URI does not give: on the terminal when
// standard input is one, else in the PIN prompt when there is a display.

#include "platform/crypto/token_key.h"

namespace marqen::tool {

crypto::PinAsker toolPinAsker();

}  // namespace marqen::tool
