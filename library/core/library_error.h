#pragma once
// The library's failure model. Internal routines raise a LibraryError; a routine with more than
// one way to succeed returns a typed result instead (see outcome.h). Each export turns a raised
// code into its return value through runExport, and anything else that escapes into 2200.

#include <exception>

#include "library/core/error_codes.h"

namespace marqen {

class LibraryError : public std::exception {
 public:
  explicit LibraryError(ErrorCode code) noexcept : code_(code) {}
  ErrorCode code() const noexcept { return code_; }
  const char* what() const noexcept override { return "marqen library error"; }

 private:
  ErrorCode code_;
};

[[noreturn]] inline void raiseError(ErrorCode code) {
  throw LibraryError(code);
}

namespace detail {
// Forgets any platform failure reason left over from an earlier call.
void beginExport() noexcept;
// Logs the platform's reason for the failure, when it left one.
void logFailureReason() noexcept;
// Logs what escaped an export: the exception's own text, or that it was of an unknown type.
void logUnexpected(const std::exception* caught) noexcept;
}  // namespace detail

// Runs an export's body. Everything the body acquired is owned by RAII objects inside it, so
// unwinding releases it before the code is returned.
template <typename Body>
ErrorCode runExport(Body&& body) noexcept {
  detail::beginExport();
  try {
    body();
    return err::NO_ERROR;
  } catch (const LibraryError& e) {
    detail::logFailureReason();
    return e.code();
  } catch (const std::exception& e) {
    detail::logUnexpected(&e);
    return err::UNKNOWN_EXCEPTION;
  } catch (...) {
    detail::logUnexpected(nullptr);
    return err::UNKNOWN_EXCEPTION;
  }
}

}  // namespace marqen
