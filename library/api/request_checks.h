#pragma once
// The field checks the signing requests share, in their documented order.

#include "library/include/Marqen_InterfaceV2.h"

namespace marqen {

inline bool isFlag(int32_t value) noexcept {
  return value == 0 || value == 1;
}

enum class SignatureModeRule { Checked, NotRead };

// sign and cosign: 208, 102 (no locator), 106, 107, 108, [109], 110, 111, 112, 113, 128, 127.
void checkSignRequest(const SignRequest& r, DataBuffer** result, SignatureModeRule mode);

// rawsign and countersign: 208, 102 (no locator), 106, 107, 110, 111, 112, 113. The result
// record is checked by the caller, whose other checks come between.
void checkRawSignRequest(const RawSignRequest& r);

}  // namespace marqen
