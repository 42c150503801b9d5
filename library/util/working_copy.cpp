#include "library/util/working_copy.h"

#include <cstring>
#include <new>

#include "library/api/library_error.h"
#include "library/util/file_io.h"

namespace marqen {

WorkingCopy::WorkingCopy(std::span<const unsigned char> bytes) {
  try {
    bytes_.reserve(bytes.size() + 1);
  } catch (const std::bad_alloc&) {
    raiseError(err::kMemoryAllocation);
  }
  bytes_.assign(bytes.begin(), bytes.end());
  bytes_.push_back(0);
}

WorkingCopy WorkingCopy::adopt(std::vector<unsigned char>&& terminated) {
  WorkingCopy copy;
  if (terminated.empty() || terminated.back() != 0) terminated.push_back(0);
  copy.bytes_ = std::move(terminated);
  return copy;
}

WorkingCopy WorkingCopy::fromBytes(std::vector<unsigned char>&& bytes) {
  bytes.push_back(0);
  return adopt(std::move(bytes));
}

std::string_view WorkingCopy::text() const noexcept {
  const auto* chars = reinterpret_cast<const char*>(bytes_.data());
  return {chars, std::strlen(chars)};
}

WorkingCopy readInput(const DataBuffer* input, const InputRules& rules) {
  if (!input) raiseError(err::kMissingArgument);
  if (rules.requireSomePointer && !input->data && !input->filePath)
    raiseError(err::kMissingArgument);
  switch (input->kind) {
    case DATA_IN_MEMORY:
      if (rules.pointerBeforeLength && !input->data) raiseError(rules.missingPointer);
      if (input->length <= 0) raiseError(err::kInvalidInputLength);
      if (!input->data) raiseError(rules.missingPointer);
      return WorkingCopy({input->data, static_cast<std::size_t>(input->length)});
    case DATA_IN_FILE:
      if (!input->filePath) raiseError(rules.missingPointer);
      return readInputFile(input->filePath);
    default:
      raiseError(err::kInvalidDataKind);
  }
}

}  // namespace marqen
