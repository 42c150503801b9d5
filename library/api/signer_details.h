#pragma once
// Handing a parsed message to the caller as SignedDataInfo: every block calloc'd, the caller's
// record written only once all of them exist.

#include "library/include/Marqen_InterfaceV2.h"
#include "library/verify/signed_data_parse.h"

namespace marqen {

// Frees a SignerDetails and everything hung from it, as a caller does; null is allowed.
void freeSignerDetails(SignerDetails* details) noexcept;

// Fills `info` with the signers; on failure (401) frees what it allocated and leaves `info` as
// it was.
void deliverSignedDataInfo(const ParsedSignedData& parsed, SignedDataInfo& info);

}  // namespace marqen
