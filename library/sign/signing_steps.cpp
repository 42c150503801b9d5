#include "library/sign/signing_steps.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "library/core/library_error.h"
#include "library/validation/cert_checks.h"
#include "library/validation/chain_trust.h"

namespace marqen {
namespace {

bool isSigningTimeOid(const char* oid) {
  return std::strcmp(oid, crypto::kSigningTimeOid) == 0;
}

bool isSigningTimeEntry(const SignedAttribute& a) {
  return a.dataType == ATTR_TIME && a.oid && isSigningTimeOid(a.oid);
}

// The attribute's value as text, never read past its stated length.
std::string valueText(const SignedAttribute& a) {
  const auto length = a.valueLength > 0 ? static_cast<std::size_t>(a.valueLength) : 0U;
  const auto* chars = reinterpret_cast<const char*>(a.value);
  return std::string(chars, ::strnlen(chars, length));
}

crypto::MessageAttribute octetString(const SignedAttribute& a, const std::string& copy) {
  return crypto::octetStringAttribute(
      a.oid, {reinterpret_cast<const unsigned char*>(copy.data()), copy.size()});
}

crypto::MessageAttribute integer(const SignedAttribute& a, const std::string& copy) {
  // atoi's reading (leading digits, 0 for none) is the documented rule; below 1 is refused.
  const int value = std::atoi(copy.c_str());  // NOLINT(cert-err34-c)
  if (value < 1) raiseError(err::INVALID_ATTRIBUTE);
  auto encoded = crypto::integerAttribute(a.oid, value);
  if (!encoded) raiseError(err::INVALID_ATTRIBUTE);
  return std::move(*encoded);
}

}  // namespace

CertContext acquireSignerCertificate(const CertificateLocator& locator) {
  if (locator.locationType == LOCATION_STORE) {
    const auto my = openSystemStore("MY");
    return getCertContextFromStore(locator.issuerDN, locator.serialNumber, my);
  }
  return getCertContextFromPfxFile(locator.pfxFilePath, locator.pfxPassword);
}

void resetPin(const CertContext& signer) {
  // Only a token-held key caches a PIN; files and PFX keys have none to forget.
  signer.forgetPin();
}

FileTime resolveSigningTime(const SignedAttribute* const* attributes, int32_t count, FileTime now) {
  for (int32_t i = 0; attributes && i < count; ++i) {
    const SignedAttribute* a = attributes[i];
    if (!a || !isSigningTimeEntry(*a) || !a->value) continue;
    if (a->authenticationType != ATTR_AUTHENTICATED) raiseError(err::SIGNING_TIME_MUST_BE_SIGNED);
    const std::string text = valueText(*a);
    char* end = nullptr;
    errno = 0;
    const double number = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(number) || number <= -1.0)
      raiseError(err::INVALID_ATTRIBUTE);
    // Seconds since 1970 in UTC, the instant itself: no local-time reinterpretation.
    const double seconds = std::trunc(number);
    if (seconds > static_cast<double>(INT32_MAX)) raiseError(err::INVALID_ATTRIBUTE);
    return unixTimeToFileTime(static_cast<int32_t>(seconds));
  }
  return now;
}

void preSigningChecks(const crypto::Certificate& certificate, const FileTime* signingTime,
                      const ChainCheckRequest& request, FileTime now) {
  checkDigitalSignatureUsage(&certificate);
  checkTimeValidity(certificate, now);
  checkTrustedCA(&certificate).require();
  if (!request.validate) return;
  if (signingTime) checkTimeValidityAt(certificate, *signingTime);
  checkChainExpiry(&certificate, now);
  evaluateChainTrust(certificate, request.revocationMode, request.revocationLevel, now).require();
}

crypto::MessageAttribute encodeSigningTime(FileTime signingTime) {
  auto attribute = crypto::signingTimeAttribute(signingTime.unixSeconds());
  if (!attribute) raiseError(err::SIGNING_TIME_ENCODE);
  return std::move(*attribute);
}

SignatureAttributes buildSignedAttributes(const SignedAttribute* const* attributes, int32_t count,
                                          const crypto::MessageAttribute& signingTime) {
  SignatureAttributes built;
  bool signingTimePlaced = false;
  for (int32_t i = 0; i < count; ++i) {
    const SignedAttribute* a = attributes ? attributes[i] : nullptr;
    if (!a) raiseError(err::INVALID_ATTRIBUTE_COUNT);
    if (a->valueLength < 1) raiseError(err::INVALID_ATTRIBUTE_VALUE_LENGTH);
    if (!a->value) raiseError(err::NULL_ATTRIBUTE_VALUE);
    if (!a->oid) raiseError(err::INVALID_ATTRIBUTE);
    const std::string copy(reinterpret_cast<const char*>(a->value),
                           static_cast<std::size_t>(a->valueLength));

    if (a->dataType == ATTR_TIME) {
      if (!isSigningTimeOid(a->oid)) raiseError(err::INVALID_ATTRIBUTE_DATA_TYPE);
      // A second signing time would contradict the first: a message carries exactly one.
      if (signingTimePlaced) raiseError(err::INVALID_ATTRIBUTE);
      signingTimePlaced = true;
      built.authenticated.push_back(signingTime);
      continue;
    }
    crypto::MessageAttribute encoded;
    if (a->dataType == ATTR_OCTET_STRING) {
      encoded = octetString(*a, copy);
    } else if (a->dataType == ATTR_INTEGER) {
      encoded = integer(*a, copy);
    } else {
      raiseError(err::INVALID_ATTRIBUTE_DATA_TYPE);
    }
    if (a->authenticationType == ATTR_AUTHENTICATED) {
      built.authenticated.push_back(std::move(encoded));
    } else if (a->authenticationType == ATTR_UNAUTHENTICATED) {
      built.unauthenticated.push_back(std::move(encoded));
    } else {
      raiseError(err::INVALID_ATTRIBUTE_AUTH_TYPE);
    }
  }
  if (!signingTimePlaced) built.authenticated.insert(built.authenticated.begin(), signingTime);
  return built;
}

std::optional<crypto::DigestAlgorithm> digestFor(int32_t hashAlgorithm) noexcept {
  switch (hashAlgorithm) {
    case HASH_SHA1:
      return crypto::DigestAlgorithm::Sha1;
    case HASH_MD5:
      return crypto::DigestAlgorithm::Md5;
    case HASH_SHA256:
      return crypto::DigestAlgorithm::Sha256;
    case HASH_SHA384:
      return crypto::DigestAlgorithm::Sha384;
    case HASH_SHA512:
      return crypto::DigestAlgorithm::Sha512;
    default:
      return std::nullopt;
  }
}

crypto::DigestAlgorithm requireDigest(int32_t hashAlgorithm) {
  const auto digest = digestFor(hashAlgorithm);
  if (!digest) raiseError(err::INVALID_HASH_ALGORITHM);
  return *digest;
}

}  // namespace marqen
