#include "platform/crypto/failure_reason.h"

#include <openssl/err.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace marqen::crypto {
namespace {
// Plain bytes, not a std::string: a thread-local with a destructor would pin the library in
// memory for the life of the thread, and a caller that loads it per call could never unload it.
// A longer reason is cut; it only goes to the log.
thread_local std::array<char, 1024> kept{};
thread_local std::size_t keptLength = 0;
}  // namespace

void keepFailureReason() noexcept {
  try {
    std::array<char, 256> text{};
    std::string reason;
    while (const unsigned long code = ERR_get_error()) {
      ERR_error_string_n(code, text.data(), text.size());
      if (!reason.empty()) reason += "; ";
      reason += text.data();
    }
    if (reason.empty()) return;
    keptLength = std::min(reason.size(), kept.size());
    std::memcpy(kept.data(), reason.data(), keptLength);
  } catch (...) {
    ERR_clear_error();
  }
}

std::string takeFailureReason() noexcept {
  try {
    std::string reason(kept.data(), keptLength);
    keptLength = 0;
    return reason;
  } catch (...) {
    keptLength = 0;
    return {};
  }
}

}  // namespace marqen::crypto
