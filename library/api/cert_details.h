#pragma once
// Filling a CertificateDetails record for a located certificate.

#include "library/cert/cert_lookup.h"
#include "library/include/Marqen_InterfaceV2.h"

namespace marqen {

// Raises 117 for a certificate type other than signing (1) or encryption (2).
void checkCertificateType(int32_t certificateType);
// Raises 127 when the record pointer or the pointer it holds is null.
void checkDetailsRecord(CertificateDetails** result);
// The key-usage check that the certificate type asks for; raises its code.
void checkUsageForType(const crypto::Certificate& certificate, int32_t certificateType);

// Issuer and subject names, serial text and expiry, allocated for the caller. Either all four
// fields are set or, on failure, none.
template <typename Record>
void fillCertificateIdentity(const crypto::Certificate& certificate, Record& record);

// The key-usage check of the certificate type (recording the type once it passes), the
// trusted-CA rule (a pass with a note passes), then the identity fields.
void fillCertificateDetails(const CertContext& context, int32_t certificateType,
                            CertificateDetails& record);

}  // namespace marqen
