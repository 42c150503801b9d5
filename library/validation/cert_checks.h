#pragma once
// Checks of one certificate: time validity, the trusted-CA rule and the expiry of its chain up
// to the self-signed root through the "CA" and "ROOT" stores.

#include <string>
#include <string_view>

#include "library/include/Marqen_InterfaceV2.h"
#include "library/util/file_time.h"
#include "platform/crypto/certificate.h"

namespace marqen {

// 0, 1421 (expired) or 1422 (not yet valid) against the current time.
ErrorCode checkTimeValidityNow(const crypto::Certificate& certificate);
// 0, 1411 (time after notAfter) or 1412 (time before notBefore).
ErrorCode checkTimeValidityAt(const crypto::Certificate& certificate, FileTime time);

// The issuer's common name as written in the issuer text: from after the first "CN=" up to the
// next ",", quotes kept, at most 1024 characters. Empty when the text has no "CN=".
std::u16string issuerCommonName(std::u16string_view issuerText);

// 1441 when no trusted CA names are set (a pass for every caller); otherwise 0 when the first
// name is a common name among the certificate's issuers and, with more names, the direct
// issuer is one of the others; 1442 when not; 1431 when an issuer cannot be found; 304 when the
// stores cannot be read.
ErrorCode checkTrustedCA(const crypto::Certificate* certificate);

// 0 when every certificate from this one up to its self-signed root is time-valid now; 1432 when
// one is not; 1431 when an issuer cannot be found; 304 when the stores cannot be read.
ErrorCode checkChainExpiry(const crypto::Certificate* certificate);

}  // namespace marqen
