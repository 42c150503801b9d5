#pragma once
// The library's failure model: internal routines raise an ErrorCode; each export turns it into
// its return value through runExport, and anything else that escapes into 2200.

#include <exception>
#include <new>

#include "library/api/error_codes.h"

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

// Raises a non-zero code unchanged; a routine that returns its code is chained with this.
inline void raiseIfFailed(ErrorCode code) {
  if (code != err::kNoError) raiseError(code);
}

// Runs an export's body. Everything the body acquired is owned by RAII objects inside it, so
// unwinding releases it before the code is returned.
template <typename Body>
ErrorCode runExport(Body&& body) noexcept {
  try {
    body();
    return err::kNoError;
  } catch (const LibraryError& e) {
    return e.code();
  } catch (...) {
    return err::kUnknownException;
  }
}

}  // namespace marqen
