#pragma once
// The system's certificate viewer: a program ($MARQEN_CERT_VIEWER, else gcr-viewer) started on
// a temporary DER file of the certificate and waited for, as a modal dialog is.

#include "platform/crypto/certificate.h"

namespace marqen {

// Returns when the viewer has been closed; its own result is not examined. Raises 2201 (and
// logs it) when there is no graphical session, or the program cannot be started or cannot run.
void showCertificate(const crypto::Certificate& certificate);

}  // namespace marqen
