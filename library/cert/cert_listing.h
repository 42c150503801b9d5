#pragma once
// The certificates of a store that are fit for a use now, in the store's order.

#include <cstdint>
#include <vector>

#include "library/core/file_time.h"
#include "platform/crypto/cert_store.h"
#include "platform/crypto/certificate.h"

namespace marqen {

// A certificate passes when it has the key usage of the certificate type, is valid at `now`
// and passes the trusted-CA rule (its note passes too); the others are skipped silently. Each
// certificate is judged once, and the "CA" and "ROOT" stores are read once for all of them.
std::vector<crypto::Certificate> listFitCertificates(const crypto::CertificateStore& store,
                                                     int32_t certificateType, FileTime now);

}  // namespace marqen
