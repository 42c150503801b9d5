#pragma once
// The private copy of an operation's input: the counted bytes followed by one zero byte that
// is not counted, so the copy can also be read as text.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "library/api/error_codes.h"
#include "library/include/Marqen_InterfaceV2.h"

namespace marqen {

class WorkingCopy {
 public:
  WorkingCopy() : bytes_(1, 0) {}
  explicit WorkingCopy(std::span<const unsigned char> bytes);
  // Takes a buffer that already holds the counted bytes plus the terminating zero.
  static WorkingCopy adopt(std::vector<unsigned char>&& terminated);
  // Takes the counted bytes and adds the terminating zero.
  static WorkingCopy fromBytes(std::vector<unsigned char>&& bytes);

  std::size_t size() const noexcept { return bytes_.size() - 1; }
  const unsigned char* data() const noexcept { return bytes_.data(); }
  std::span<const unsigned char> bytes() const noexcept { return {bytes_.data(), size()}; }
  // The bytes as text, up to the first zero byte.
  std::string_view text() const noexcept;

 private:
  std::vector<unsigned char> bytes_;
};

// How an operation refuses a bad input record; the operations differ in code and order.
struct InputRules {
  bool requireSomePointer = true;                    // 102 when both data and filePath are null
  ErrorCode missingPointer = err::kMissingArgument;  // the pointer the kind needs is null
  bool pointerBeforeLength = false;                  // that check comes before the length check
};

// Copies the input of an export: 102 when the record is missing, the rules' codes for missing
// pointers, 101 for a memory length not above 0, 103 for an unknown kind, the file reader's
// codes for a file.
WorkingCopy readInput(const DataBuffer* input, const InputRules& rules = {});

}  // namespace marqen
