#pragma once
// OpenSSL reports why an operation failed through a per-thread queue. Platform code that turns
// a failure into an empty result keeps the queue's reason here instead of discarding it, so the
// library can log it when the failure ends an export.

#include <string>

namespace marqen::crypto {

// Moves the reasons queued on this thread (if any) into the kept reason and empties the queue.
void keepFailureReason() noexcept;

// The reason kept on this thread since the last call, and forgets it; empty when none.
std::string takeFailureReason() noexcept;

}  // namespace marqen::crypto
