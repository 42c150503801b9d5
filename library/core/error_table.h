#pragma once
#include <span>

#include "library/include/Marqen_InterfaceV2.h"

namespace marqen {

struct ErrorMessage {
  ErrorCode code;
  const char* message;
};

// The fixed table of codes and messages, in the order it is searched.
std::span<const ErrorMessage> errorMessageTable() noexcept;

// The message for a code, or "Unsupported Error Code".
const char* errorMessage(ErrorCode code) noexcept;

}  // namespace marqen
