#pragma once
// Verdicts on a certificate that the caller has already found: the single answer of a
// certificate check at a chosen time, and the four separate verdicts on a signer's certificate.

#include <cstdint>

#include "library/core/file_time.h"
#include "library/include/Marqen_InterfaceV2.h"
#include "platform/crypto/certificate.h"

namespace marqen {

// After the key-usage check: the trusted-CA rule (its note passes), validity at `judgingTime`
// (1411, 1412), then every certificate of the chain valid at `now` up to a self-signed root
// (1432, 1431, 304). Raises the first code met.
void judgeCertificateValidity(const crypto::Certificate& certificate, FileTime judgingTime,
                              FileTime now);

// Validity now, at the signing time, the chain's expiry and the chain's trust at the
// revocation mode and level, each recorded as its code; "revocation not checked" counts as 0,
// and a bad mode or level is recorded, not raised.
SignerCertificateStatus judgeSignerCertificate(const crypto::Certificate& certificate,
                                               FileTime signingTime, int32_t revocationMode,
                                               int32_t revocationLevel, FileTime now);

}  // namespace marqen
