#include "library/sign/signing_steps.h"

#include <openssl/asn1.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "library/api/library_error.h"
#include "library/validation/cert_checks.h"
#include "library/validation/chain_trust.h"

namespace marqen {
namespace {

constexpr std::int64_t kEpochTicks = 116444736000000000LL;
constexpr std::int64_t kTicksPerSecond = 10000000LL;

bool isSigningTimeEntry(const SignedAttribute& a) {
  return a.dataType == ATTR_TIME && a.oid && std::strcmp(a.oid, kSigningTimeOid) == 0;
}

// The attribute's value as text, never read past its stated length.
std::string valueText(const SignedAttribute& a) {
  const auto length = a.valueLength > 0 ? static_cast<std::size_t>(a.valueLength) : 0U;
  const auto* chars = reinterpret_cast<const char*>(a.value);
  return std::string(chars, ::strnlen(chars, length));
}

std::int64_t unixSecondsOf(FileTime time) {
  const auto ticks = static_cast<std::int64_t>((static_cast<uint64_t>(time.high) << 32) | time.low);
  return (ticks - kEpochTicks) / kTicksPerSecond;
}

crypto::MessageAttribute octetString(const SignedAttribute& a, const std::string& copy) {
  return {a.oid, V_ASN1_OCTET_STRING, crypto::Bytes(copy.begin(), copy.end())};
}

crypto::MessageAttribute integer(const SignedAttribute& a, const std::string& copy) {
  // atoi's reading (leading digits, 0 for none) is the documented rule; below 1 is refused.
  const int value = std::atoi(copy.c_str());  // NOLINT(cert-err34-c)
  if (value < 1) raiseError(err::kInvalidAttribute);
  crypto::OpenSslPtr<ASN1_INTEGER, ASN1_INTEGER_free> number(ASN1_INTEGER_new());
  if (!number || ASN1_INTEGER_set_int64(number.get(), value) != 1)
    raiseError(err::kInvalidAttribute);
  const unsigned char* bytes = ASN1_STRING_get0_data(number.get());
  return {a.oid, V_ASN1_INTEGER, crypto::Bytes(bytes, bytes + ASN1_STRING_length(number.get()))};
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
  (void)signer;
}

FileTime resolveSigningTime(const SignedAttribute* const* attributes, int32_t count) {
  for (int32_t i = 0; attributes && i < count; ++i) {
    const SignedAttribute* a = attributes[i];
    if (!a || !isSigningTimeEntry(*a) || !a->value) continue;
    if (a->authenticationType != ATTR_AUTHENTICATED) raiseError(err::kSigningTimeMustBeSigned);
    const std::string text = valueText(*a);
    char* end = nullptr;
    errno = 0;
    const double number = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(number) || number <= -1.0)
      raiseError(err::kInvalidAttribute);
    // Seconds since 1970 in UTC, the instant itself: no local-time reinterpretation.
    const double seconds = std::trunc(number);
    if (seconds > static_cast<double>(INT32_MAX)) raiseError(err::kInvalidAttribute);
    return unixTimeToFileTime(static_cast<int32_t>(seconds));
  }
  const auto now = static_cast<std::int64_t>(std::time(nullptr));
  const auto ticks = static_cast<uint64_t>(now * kTicksPerSecond + kEpochTicks);
  return {static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};
}

void preSigningChecks(const crypto::Certificate& certificate, const FileTime* signingTime,
                      const ChainCheckRequest& request) {
  raiseIfFailed(checkDigitalSignatureUsage(&certificate));
  raiseIfFailed(checkTimeValidityNow(certificate));
  if (const ErrorCode trusted = checkTrustedCA(&certificate); trusted != err::kNoTrustedCAList)
    raiseIfFailed(trusted);
  if (!request.validate) return;
  if (signingTime) raiseIfFailed(checkTimeValidityAt(certificate, *signingTime));
  raiseIfFailed(checkChainExpiry(&certificate));
  const ErrorCode trust =
      evaluateChainTrust(certificate, request.revocationMode, request.revocationLevel);
  if (trust != err::kRevocationNotChecked) raiseIfFailed(trust);
}

crypto::MessageAttribute encodeSigningTime(FileTime signingTime) {
  auto attribute = crypto::signingTimeAttribute(unixSecondsOf(signingTime));
  if (!attribute) raiseError(err::kSigningTimeEncode);
  return std::move(*attribute);
}

SignatureAttributes buildSignedAttributes(const SignedAttribute* const* attributes, int32_t count,
                                          const crypto::MessageAttribute& signingTime) {
  SignatureAttributes built;
  bool signingTimePlaced = false;
  for (int32_t i = 0; i < count; ++i) {
    const SignedAttribute* a = attributes ? attributes[i] : nullptr;
    if (!a) raiseError(err::kInvalidAttributeCount);
    if (a->valueLength < 1) raiseError(err::kInvalidAttributeValueLength);
    if (!a->value) raiseError(err::kNullAttributeValue);
    if (!a->oid) raiseError(err::kInvalidAttribute);
    const std::string copy(reinterpret_cast<const char*>(a->value),
                           static_cast<std::size_t>(a->valueLength));

    if (a->dataType == ATTR_TIME) {
      if (std::strcmp(a->oid, kSigningTimeOid) != 0) raiseError(err::kInvalidAttributeDataType);
      // A second signing time would contradict the first: a message carries exactly one.
      if (signingTimePlaced) raiseError(err::kInvalidAttribute);
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
      raiseError(err::kInvalidAttributeDataType);
    }
    if (a->authenticationType == ATTR_AUTHENTICATED) {
      built.authenticated.push_back(std::move(encoded));
    } else if (a->authenticationType == ATTR_UNAUTHENTICATED) {
      built.unauthenticated.push_back(std::move(encoded));
    } else {
      raiseError(err::kInvalidAttributeAuthType);
    }
  }
  if (!signingTimePlaced) built.authenticated.insert(built.authenticated.begin(), signingTime);
  return built;
}

}  // namespace marqen
