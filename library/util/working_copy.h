#pragma once
// The private copy of an operation's input: the counted bytes followed by one zero byte that
// is not counted, so the copy can also be read as text.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "library/include/Marqen_InterfaceV2.h"

namespace marqen {

class WorkingCopy {
 public:
  WorkingCopy() : bytes_(1, 0) {}
  explicit WorkingCopy(std::span<const unsigned char> bytes);
  // Takes a buffer that already holds the counted bytes plus the terminating zero.
  static WorkingCopy adopt(std::vector<unsigned char>&& terminated);

  std::size_t size() const noexcept { return bytes_.size() - 1; }
  const unsigned char* data() const noexcept { return bytes_.data(); }
  std::span<const unsigned char> bytes() const noexcept { return {bytes_.data(), size()}; }
  // The bytes as text, up to the first zero byte.
  std::string_view text() const noexcept;

 private:
  std::vector<unsigned char> bytes_;
};

// Copies the input of an export: 102 when the record or its data is missing, 101 for a memory
// length not above 0, 103 for an unknown kind, the file reader's code for a file.
WorkingCopy readInput(const DataBuffer* input);

}  // namespace marqen
