#include "control/script/script_text.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>

#include "platform/os/text.h"

namespace marqen::control {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
// 1899-12-30, the script dates' day 0, counted in days from 1970-01-01.
constexpr std::int64_t kDateEpochDay = -25569;
// The script dates' range: 0100-01-01 to 9999-12-31 (the whole last day).
constexpr double kFirstDate = -657434.0;
constexpr double kEndDate = 2958466.0;

struct CivilDate {
  std::int64_t year;
  int month;  // 1 to 12
  int day;    // 1 to 31
};

// Days since 1970-01-01 to a proleptic Gregorian date (Howard Hinnant's civil_from_days).
CivilDate civilFromDays(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  const auto day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  const auto month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

std::tm wallClock(const CivilDate& date, std::int64_t secondOfDay, int isDst) {
  std::tm fields{};
  fields.tm_year = static_cast<int>(date.year - 1900);
  fields.tm_mon = date.month - 1;
  fields.tm_mday = date.day;
  fields.tm_hour = static_cast<int>(secondOfDay / 3600);
  fields.tm_min = static_cast<int>(secondOfDay / 60 % 60);
  fields.tm_sec = static_cast<int>(secondOfDay % 60);
  fields.tm_isdst = isDst;
  return fields;
}

bool sameWallClock(const std::tm& a, const std::tm& b) {
  return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday &&
         a.tm_hour == b.tm_hour && a.tm_min == b.tm_min && a.tm_sec == b.tm_sec;
}

// The instant at which the local clock shows `wanted` under the given daylight-saving flag, if
// the clock ever shows it so.
std::optional<std::time_t> instantShowing(const std::tm& wanted, int isDst) {
  std::tm fields = wanted;
  fields.tm_isdst = isDst;
  const std::time_t instant = std::mktime(&fields);
  std::tm shown{};
  if (!::localtime_r(&instant, &shown) || !sameWallClock(shown, wanted)) return std::nullopt;
  return instant;
}

}  // namespace

std::string scriptText(const std::optional<std::u16string>& value) {
  if (!value) return {};
  const std::u16string_view text(*value);
  return os::toUtf8(text.substr(0, text.find(u'\0')));
}

std::u16string scriptString(std::string_view text) {
  return os::toUtf16(text.substr(0, text.find('\0')));
}

std::u16string binaryString(const unsigned char* bytes, std::size_t count) {
  std::u16string out;
  out.reserve(count);
  for (std::size_t i = 0; i < count; ++i)
    out.push_back(static_cast<char16_t>(bytes[i]));
  return out;
}

std::optional<std::int64_t> unixSecondsFromLocalDate(double date) {
  if (!std::isfinite(date) || date < kFirstDate || date >= kEndDate) return std::nullopt;
  // Before day 0 the whole part counts back and the fraction still counts forward from the
  // start of that day: -1.25 is 1899-12-29 06:00.
  const double wholeDays = std::trunc(date);
  auto days = static_cast<std::int64_t>(wholeDays);
  std::int64_t secondOfDay =
      std::llround(std::fabs(date - wholeDays) * static_cast<double>(kSecondsPerDay));
  if (secondOfDay >= kSecondsPerDay) {
    secondOfDay -= kSecondsPerDay;
    ++days;
  }
  const std::tm wanted = wallClock(civilFromDays(days + kDateEpochDay), secondOfDay, -1);
  const auto standard = instantShowing(wanted, 0);
  const auto daylight = instantShowing(wanted, 1);
  if (standard && daylight) return std::max(*standard, *daylight);
  if (standard) return *standard;
  if (daylight) return *daylight;
  // A time the clock skips when it goes forward: mktime moves it past the gap.
  std::tm fields = wanted;
  return std::mktime(&fields);
}

std::string localExpiryText(std::int64_t unixSeconds) {
  const auto instant = static_cast<std::time_t>(unixSeconds);
  ::tzset();  // localtime_r need not look at TZ again
  std::tm local{};
  if (!::localtime_r(&instant, &local)) return {};
  char text[64] = {};
  const std::size_t length = std::strftime(text, sizeof text, "%d-%m-%Y : %I:%M:%S %p", &local);
  return std::string(text, length);
}

void wipe(std::string& secret) noexcept {
  ::explicit_bzero(secret.data(), secret.size());
}

void wipe(std::u16string& secret) noexcept {
  ::explicit_bzero(secret.data(), secret.size() * sizeof(char16_t));
}

}  // namespace marqen::control
