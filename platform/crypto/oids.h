#pragma once
// Object identifiers the library and its tool name in more than one place.

namespace marqen::crypto {

inline constexpr const char* kSigningTimeOid = "1.2.840.113549.1.9.5";

}  // namespace marqen::crypto
