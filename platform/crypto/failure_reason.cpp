#include "platform/crypto/failure_reason.h"

#include <openssl/err.h>

#include <array>

namespace marqen::crypto {
namespace {
thread_local std::string kept;
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
    if (!reason.empty()) kept = std::move(reason);
  } catch (...) {
    ERR_clear_error();
  }
}

std::string takeFailureReason() noexcept {
  std::string reason;
  reason.swap(kept);
  return reason;
}

}  // namespace marqen::crypto
