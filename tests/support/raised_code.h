#pragma once
// The error code an internal routine raises, or 0 when it returns normally.

#include "library/core/library_error.h"

namespace marqen::test {

template <typename Body>
ErrorCode raisedCode(Body&& body) {
  try {
    body();
    return err::NO_ERROR;
  } catch (const LibraryError& e) {
    return e.code();
  }
}

}  // namespace marqen::test
