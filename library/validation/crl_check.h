#pragma once
// Revocation checked by the library itself: CRLs downloaded from the certificate's
// distribution points, authenticated against its issuer, checked for time and listing.

#include <cstdint>
#include <string>
#include <vector>

#include "library/core/file_time.h"
#include "library/include/Marqen_InterfaceV2.h"
#include "platform/crypto/certificate.h"

namespace marqen {

// Number of CRL distribution points; 0 when the extension is absent or does not decode.
std::uint32_t getCrlDistributionPointCount(const crypto::Certificate& certificate);
// The first entry of the point's full name when it is a URL; empty otherwise.
std::string getCrlDistributionPointUrl(const crypto::Certificate& certificate, std::uint32_t index);

// Fetches a CRL over http(s) and returns its DER bytes (PEM bodies are decoded). Raises 1508
// when the server cannot be reached or does not answer 200 with a Content-Length, 1502 when the
// body cannot be fetched whole, 1506 for PEM without an end marker.
std::vector<unsigned char> downloadCrl(const std::string& url);

// Returns when the certificate is not revoked at `now`; raises 1501, 1502, 1503, 1504, 1505,
// 1506, 1508, 1511 or 1523.
void checkCertificateRevocationByCrl(const crypto::Certificate& certificate, FileTime now);
// Level 2: the certificate; level 3: also every issuer up to the root (1517 when one is in
// none of "MY", "ADDRESSBOOK", "CA", "ROOT"; 304 when those stores cannot be read).
void checkChainRevocationByCrl(const crypto::Certificate& certificate, int32_t level, FileTime now);

}  // namespace marqen
