#include "library/core/error_table.h"

#include <algorithm>
#include <array>

namespace marqen {
namespace {

// The codes that have a message of their own, in the list's order (the order of search).
constexpr std::size_t kMessageCount = [] {
  std::size_t n = 0;
#define MARQEN_COUNT_MESSAGE(name, code, message) n += sizeof(message) > 1 ? 1 : 0;
  MARQEN_ERROR_LIST(MARQEN_COUNT_MESSAGE)
#undef MARQEN_COUNT_MESSAGE
  return n;
}();

constexpr std::array<ErrorMessage, kMessageCount> kTable = [] {
  std::array<ErrorMessage, kMessageCount> table{};
  std::size_t n = 0;
#define MARQEN_ADD_MESSAGE(name, code, message) \
  if (sizeof(message) > 1) table[n++] = {code, message};
  MARQEN_ERROR_LIST(MARQEN_ADD_MESSAGE)
#undef MARQEN_ADD_MESSAGE
  return table;
}();

}  // namespace

std::span<const ErrorMessage> errorMessageTable() noexcept {
  return kTable;
}

const char* errorMessage(ErrorCode code) noexcept {
  const auto* found = std::find_if(kTable.begin(), kTable.end(),
                                   [code](const ErrorMessage& e) { return e.code == code; });
  if (found == kTable.end()) return "Unsupported Error Code";
  return found->message;
}

}  // namespace marqen
