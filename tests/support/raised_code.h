#pragma once
// The error code an internal routine raises, or 0 when it returns normally.

#include "library/api/library_error.h"

namespace marqen::test {

template <typename Body>
ErrorCode raisedCode(Body&& body) {
  try {
    body();
    return err::kNoError;
  } catch (const LibraryError& e) {
    return e.code();
  }
}

}  // namespace marqen::test
