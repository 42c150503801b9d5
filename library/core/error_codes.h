#pragma once
// The library's named error codes, made from the one list in the public header. The numbers are
// the library's public contract.

#include "library/include/Marqen_InterfaceV2.h"

namespace marqen::err {

#define MARQEN_INTERNAL_ERROR_NAME(name, code, message) \
  inline constexpr ErrorCode name = MARQEN_E_##name;
MARQEN_ERROR_LIST(MARQEN_INTERNAL_ERROR_NAME)
#undef MARQEN_INTERNAL_ERROR_NAME

}  // namespace marqen::err
