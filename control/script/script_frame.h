#pragma once
// What every script method shares: its success text and its catch-all.

#include <exception>
#include <string>
#include <utility>

namespace marqen::control {

inline constexpr const char* kSuccess = "Operation Completed Successfully";

// Runs a method body; an unexpected failure sets the method's own status text and gives its
// failure result. Whatever the body holds (the library, working copies) is released by its
// destructors on the way out.
template <typename Result, typename Body>
Result guarded(std::string& status, const char* exceptionText, Result failure, Body&& body) {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    try {
      status = exceptionText;
    } catch (...) {
      status.clear();
    }
    return failure;
  }
}

}  // namespace marqen::control
