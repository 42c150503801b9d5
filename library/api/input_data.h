#pragma once
// An operation's input bytes. Data the caller holds in memory is read where it lies and never
// written (a 256 MiB document is not copied just to be hashed); a file's bytes and anything
// the library derives (decoded Base64) are owned here. Owned bytes are followed by one zero
// byte that is not counted.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "library/core/error_codes.h"
#include "library/include/Marqen_InterfaceV2.h"
#include "platform/os/content_source.h"

namespace marqen {

class InputData {
 public:
  InputData() : owned_(1, 0), view_(owned_.data(), 0) {}
  InputData(InputData&& other) noexcept;
  InputData& operator=(InputData&& other) noexcept;
  InputData(const InputData&) = delete;
  InputData& operator=(const InputData&) = delete;

  // The caller's bytes, read in place; they must outlive this object.
  static InputData borrow(std::span<const unsigned char> bytes);
  // A private copy of the bytes.
  static InputData copyOf(std::span<const unsigned char> bytes);
  // Takes a buffer that already holds the counted bytes plus the terminating zero.
  static InputData adopt(std::vector<unsigned char>&& terminated);
  // Takes the counted bytes and adds the terminating zero.
  static InputData fromBytes(std::vector<unsigned char>&& bytes);

  std::size_t size() const noexcept { return view_.size(); }
  const unsigned char* data() const noexcept { return view_.data(); }
  std::span<const unsigned char> bytes() const noexcept { return view_; }
  // The bytes as text, up to the first zero byte (or their end).
  std::string_view text() const noexcept;

 private:
  std::vector<unsigned char> owned_;
  std::span<const unsigned char> view_;
};

// How an operation refuses a bad input record; the operations differ in code and order.
struct InputRules {
  bool requireSomePointer = true;                    // 102 when data and filePath are both null
  ErrorCode missingPointer = err::MISSING_ARGUMENT;  // the pointer the kind needs is null
  bool pointerBeforeLength = false;                  // that check comes before the length check
};

// The input of an export: 102 when the record is missing, the rules' codes for missing
// pointers, 101 for a memory length not above 0, 103 for an unknown kind, the file reader's
// codes for a file.
InputData readInput(const DataBuffer* input, const InputRules& rules = {});

// Content that is only hashed, with readInput's checks in its order: the caller's bytes in
// place, or a file opened to be read a block at a time, so that its size does not matter.
os::ContentSource readContent(const DataBuffer* input, const InputRules& rules = {});

// Replaces a signed message given as Base64 text by its decoding, when the text decodes to at
// least one byte.
void normaliseSignedInput(InputData& input);

}  // namespace marqen
