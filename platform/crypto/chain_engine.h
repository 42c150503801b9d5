#pragma once
// The chain engine: builds and verifies a certificate's chain with OpenSSL, trust anchors from
// "ROOT", further certificates from "CA", "MY" and "ADDRESSBOOK", revocation lists from "CRL"
// only, and reports what it found as Windows trust-status bits.

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/crypto/certificate.h"

namespace marqen::crypto {

inline constexpr std::uint32_t kTrustIsNotTimeValid = 0x00000001;
inline constexpr std::uint32_t kTrustIsNotTimeNested = 0x00000002;
inline constexpr std::uint32_t kTrustIsRevoked = 0x00000004;
inline constexpr std::uint32_t kTrustIsNotSignatureValid = 0x00000008;
inline constexpr std::uint32_t kTrustIsNotValidForUsage = 0x00000010;
inline constexpr std::uint32_t kTrustIsUntrustedRoot = 0x00000020;
inline constexpr std::uint32_t kTrustRevocationStatusUnknown = 0x00000040;
inline constexpr std::uint32_t kTrustIsCyclic = 0x00000080;
inline constexpr std::uint32_t kTrustIsPartialChain = 0x00010000;
inline constexpr std::uint32_t kTrustCtlIsNotTimeValid = 0x00020000;
inline constexpr std::uint32_t kTrustCtlIsNotSignatureValid = 0x00040000;
inline constexpr std::uint32_t kTrustCtlIsNotValidForUsage = 0x00080000;
inline constexpr std::uint32_t kTrustIsOfflineRevocation = 0x01000000;

enum class RevocationScope { None, EndCertificate, WholeChain };

struct ChainOptions {
  RevocationScope revocation = RevocationScope::None;
  bool cacheOnly = false;  // revocation from cached lists only: a missing list is "offline"
};

struct ChainResult {
  std::uint32_t errorStatus = 0;
  std::vector<Certificate> chain;  // from the certificate up to the last one found
};

// Empty when the engine cannot be used (a store cannot be read).
std::optional<ChainResult> buildChain(const Certificate& certificate, const ChainOptions& options);

}  // namespace marqen::crypto
