#pragma once
// Object identifiers the library and its tool name in more than one place.

namespace marqen::crypto {

inline constexpr const char* kSigningTimeOid = "1.2.840.113549.1.9.5";
inline constexpr const char* kCounterSignatureOid = "1.2.840.113549.1.9.6";
// Names of the document and comments a signer may attach.
inline constexpr const char* kDocumentNameOid = "1.3.6.1.4.1.311.88.2.1";
inline constexpr const char* kCommentsOid = "1.3.6.1.4.1.311.88.2.2";

}  // namespace marqen::crypto
