#pragma once
// Checks of one certificate: time validity, the trusted-CA rule and the expiry of its chain up
// to the self-signed root through the "CA" and "ROOT" stores.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "library/core/check_outcome.h"
#include "library/core/file_time.h"
#include "platform/crypto/cert_store.h"
#include "platform/crypto/certificate.h"

namespace marqen {

// Raises 1421 (expired) or 1422 (not yet valid) at the time `now`.
void checkTimeValidity(const crypto::Certificate& certificate, FileTime now);
// Raises 1411 (time after notAfter) or 1412 (time before notBefore).
void checkTimeValidityAt(const crypto::Certificate& certificate, FileTime time);

// The issuer's common name as written in the issuer text: from after the first "CN=" up to the
// next ",", quotes kept, at most 1024 characters. Empty when the text has no "CN=".
std::u16string issuerCommonName(std::u16string_view issuerText);

// A pass noted 1441 when no trusted CA names are set; otherwise a pass when the first name is a
// common name among the certificate's issuers and, with more names, the direct issuer is one of
// the others; failure 1442 when not; 1431 when an issuer cannot be found; 304 when the stores
// cannot be read.
CheckOutcome checkTrustedCA(const crypto::Certificate* certificate);

// The same rule for many certificates in one call: one snapshot of the names, and the "CA" and
// "ROOT" stores read once, when the first certificate needs them.
class TrustedCARule {
 public:
  TrustedCARule();
  CheckOutcome check(const crypto::Certificate& certificate);
  bool listInForce() const noexcept { return !names_->empty(); }

 private:
  struct Stores {
    crypto::CertificateStore ca;
    crypto::CertificateStore root;
  };
  std::shared_ptr<const std::vector<std::u16string>> names_;
  std::optional<Stores> stores_;
  bool storesUnreadable_ = false;
};

// Returns when every certificate from this one up to its self-signed root is time-valid at
// `now`; raises 1432 when one is not, 1431 when an issuer cannot be found, 304 when the stores
// cannot be read.
void checkChainExpiry(const crypto::Certificate* certificate, FileTime now);

}  // namespace marqen
