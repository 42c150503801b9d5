#pragma once
// How script values become the control's text, dates and paths, and how results go back.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace marqen::control {

// A script string as the control's 8-bit text (UTF-8): the text ends at its first U+0000, as a
// zero-terminated string would. A null string is empty text.
std::string scriptText(const std::optional<std::u16string>& value);

// 8-bit text handed back to script, up to its first zero byte.
std::u16string scriptString(std::string_view text);

// Bytes handed back to script whole: each byte one UTF-16 unit, U+0000 to U+00FF.
std::u16string binaryString(const unsigned char* bytes, std::size_t count);

// A script date (days since 1899-12-30 with the time of day as the fraction, read as local time
// in the process's time zone) as Unix seconds, rounded to the nearest second. In the hour that
// is repeated when clocks go back, the later instant. Empty for a date that is not finite or
// lies outside the years 100 to 9999 that script dates cover.
std::optional<std::int64_t> unixSecondsFromLocalDate(double date);

// Unix seconds as local time, "05-03-2009 : 02:07:09 PM".
std::string localExpiryText(std::int64_t unixSeconds);

// Overwrites a secret's characters before its memory is given back.
void wipe(std::string& secret) noexcept;
void wipe(std::u16string& secret) noexcept;

}  // namespace marqen::control
