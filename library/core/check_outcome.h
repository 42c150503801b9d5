#pragma once
// The result of a check that can pass in two ways: outright, or with a note that callers treat
// as a pass (no trusted CA list is set; revocation was not checked). Callers that only need a
// verdict call require(); the note stays visible to those that report it.

#include "library/core/library_error.h"

namespace marqen {

class CheckOutcome {
 public:
  enum class Kind { Pass, PassWithNote, Failure };

  static constexpr CheckOutcome pass() noexcept { return {Kind::Pass, err::NO_ERROR}; }
  static constexpr CheckOutcome passWithNote(ErrorCode note) noexcept {
    return {Kind::PassWithNote, note};
  }
  static constexpr CheckOutcome failure(ErrorCode code) noexcept { return {Kind::Failure, code}; }

  constexpr Kind kind() const noexcept { return kind_; }
  constexpr bool passed() const noexcept { return kind_ != Kind::Failure; }
  // 0 for a plain pass, the note's code, or the failure's code.
  constexpr ErrorCode code() const noexcept { return code_; }
  // Raises the failure's code; a pass of either kind returns.
  void require() const {
    if (!passed()) raiseError(code_);
  }

 private:
  constexpr CheckOutcome(Kind kind, ErrorCode code) noexcept : kind_(kind), code_(code) {}
  Kind kind_;
  ErrorCode code_;
};

}  // namespace marqen
