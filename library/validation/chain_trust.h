#pragma once
// Chain trust: the chain engine's verdict at a revocation level and mode, with the library's
// own CRL check taking over where the engine cannot settle revocation online.

#include <cstdint>

#include "library/core/check_outcome.h"
#include "library/core/file_time.h"
#include "library/include/Marqen_InterfaceV2.h"
#include "platform/crypto/certificate.h"

namespace marqen {

// The code for a chain's trust-status bits: the last set bit in the documented order decides;
// 0 when none is set.
ErrorCode trustStatusCode(std::uint32_t errorStatus);

// A pass; a pass noted 1522 when revocation was not checked; or a failure: 124 / 125 for a bad
// level / mode, 1507 when no chain can be built, 1509-1521 from the chain, or the codes of the
// CRL check at `now`.
CheckOutcome evaluateChainTrust(const crypto::Certificate& certificate, int32_t revocationMode,
                                int32_t revocationLevel, FileTime now);

}  // namespace marqen
