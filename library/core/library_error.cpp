#include "library/core/library_error.h"

#include <string>

#include "library/core/log_file.h"
#include "platform/crypto/failure_reason.h"

namespace marqen::detail {

void beginExport() noexcept {
  crypto::takeFailureReason();
}

void logFailureReason() noexcept {
  try {
    const std::string reason = crypto::takeFailureReason();
    if (!reason.empty()) writeLog("OpenSSL: " + reason);
  } catch (...) {
    // Logging is best effort.
  }
}

void logUnexpected(const std::exception* caught) noexcept {
  try {
    // Exceptions raised inside the library carry descriptions of data, never passwords or keys.
    writeLog(std::string("Unexpected exception: ") + (caught ? caught->what() : "of unknown type"));
  } catch (...) {
  }
}

}  // namespace marqen::detail
