#include "library/api/input_data.h"

#include <cstring>
#include <new>

#include "library/core/library_error.h"
#include "library/util/file_io.h"
#include "library/verify/signed_input.h"

namespace marqen {

InputData::InputData(InputData&& other) noexcept {
  *this = std::move(other);
}

InputData& InputData::operator=(InputData&& other) noexcept {
  if (this == &other) return *this;
  const bool otherOwns = !other.owned_.empty() && other.view_.data() == other.owned_.data();
  const std::size_t size = other.view_.size();
  owned_ = std::move(other.owned_);
  view_ = otherOwns ? std::span<const unsigned char>(owned_.data(), size) : other.view_;
  other.owned_.assign(1, 0);
  other.view_ = std::span<const unsigned char>(other.owned_.data(), 0);
  return *this;
}

InputData InputData::borrow(std::span<const unsigned char> bytes) {
  InputData input;
  input.view_ = bytes;
  return input;
}

InputData InputData::copyOf(std::span<const unsigned char> bytes) {
  std::vector<unsigned char> copy;
  try {
    copy.reserve(bytes.size() + 1);
  } catch (const std::bad_alloc&) {
    raiseError(err::MEMORY_ALLOCATION);
  }
  copy.assign(bytes.begin(), bytes.end());
  return fromBytes(std::move(copy));
}

InputData InputData::adopt(std::vector<unsigned char>&& terminated) {
  InputData input;
  if (terminated.empty() || terminated.back() != 0) terminated.push_back(0);
  input.owned_ = std::move(terminated);
  input.view_ = std::span<const unsigned char>(input.owned_.data(), input.owned_.size() - 1);
  return input;
}

InputData InputData::fromBytes(std::vector<unsigned char>&& bytes) {
  bytes.push_back(0);
  return adopt(std::move(bytes));
}

std::string_view InputData::text() const noexcept {
  const auto* chars = reinterpret_cast<const char*>(view_.data());
  const void* zero = std::memchr(chars, 0, view_.size());
  return {chars,
          zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - chars) : view_.size()};
}

namespace {

// The checks readInput and readContent share; true for a file, false for memory.
bool checkInputRecord(const DataBuffer* input, const InputRules& rules) {
  if (!input) raiseError(err::MISSING_ARGUMENT);
  if (rules.requireSomePointer && !input->data && !input->filePath)
    raiseError(err::MISSING_ARGUMENT);
  switch (input->kind) {
    case DATA_IN_MEMORY:
      if (rules.pointerBeforeLength && !input->data) raiseError(rules.missingPointer);
      if (input->length <= 0) raiseError(err::INVALID_INPUT_LENGTH);
      if (!input->data) raiseError(rules.missingPointer);
      return false;
    case DATA_IN_FILE:
      if (!input->filePath) raiseError(rules.missingPointer);
      return true;
    default:
      raiseError(err::INVALID_DATA_KIND);
  }
}

}  // namespace

InputData readInput(const DataBuffer* input, const InputRules& rules) {
  if (checkInputRecord(input, rules)) return InputData::fromBytes(readInputFile(input->filePath));
  return InputData::borrow({input->data, static_cast<std::size_t>(input->length)});
}

os::ContentSource readContent(const DataBuffer* input, const InputRules& rules) {
  if (checkInputRecord(input, rules)) return openInputFile(input->filePath);
  return os::ContentSource::inMemory({input->data, static_cast<std::size_t>(input->length)});
}

void normaliseSignedInput(InputData& input) {
  if (auto decoded = decodedSignedText(input.bytes()))
    input = InputData::fromBytes(std::move(*decoded));
}

}  // namespace marqen
