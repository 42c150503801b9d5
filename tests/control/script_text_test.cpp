// Script dates to Unix seconds in the process's time zone, and expiry texts.

#include "control/script/script_text.h"

#include <gtest/gtest.h>

#include <ostream>

#include <limits>
#include <optional>

#include "tests/control/control_driver.h"

namespace marqen::control {
namespace {

using TimeZone = test::ScopedTimeZone;

struct DateCase {
  const char* zone;
  double date;
  std::optional<std::int64_t> seconds;
};

// Names the case in test listings.
void PrintTo(const DateCase& c, std::ostream* out) {
  *out << c.zone << " " << c.date;
}

constexpr const char* kNewYork = "EST5EDT,M3.2.0,M11.1.0";

class ScriptDates : public ::testing::TestWithParam<DateCase> {};

TEST_P(ScriptDates, BecomeUnixSecondsOfTheLocalTime) {
  const DateCase& c = GetParam();
  const TimeZone zone(c.zone);
  EXPECT_EQ(unixSecondsFromLocalDate(c.date), c.seconds);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ScriptDates,
    ::testing::Values(DateCase{"UTC0", 25569.0, 0},                       // 1970-01-01 00:00
                      DateCase{"UTC0", 25569.5, 43200},                   // noon
                      DateCase{"CET-1", 25569.0, -3600},                  // an hour earlier in UTC
                      DateCase{"UTC0", 1.0 / 86400 * 0.49, -2209161600},  // rounds down to 0 s
                      DateCase{"UTC0", 25569.0 + 0.6 / 86400, 1},         // rounds up to 1 s
                      // Before day 0 the fraction counts forward: -1.25 is 1899-12-29 06:00.
                      DateCase{"UTC0", -1.25, -2209161600 - 86400 + 6 * 3600},
                      // 23:59:59.9 rounds into the next day.
                      DateCase{"UTC0", 25569.0 - 0.1 / 86400, 0},
                      DateCase{kNewYork, 45672.5, 1736960400},  // 2025-01-15 12:00 EST
                      DateCase{kNewYork, 45839.5, 1751385600},  // 2025-07-01 12:00 EDT
                      // 2025-11-02 01:30 happens twice: the later (EST) instant.
                      DateCase{kNewYork, 45963.0 + 1.5 / 24, 1762065000},
                      DateCase{"UTC0", 2958465.5, 253402257600},  // 9999-12-31 12:00
                      DateCase{"UTC0", 2958466.0, std::nullopt},  // past 9999
                      DateCase{"UTC0", -657435.0, std::nullopt},  // before the year 100
                      DateCase{"UTC0", std::numeric_limits<double>::quiet_NaN(), std::nullopt}));

TEST(ExpiryText, DayFirstTwelveHourClockInLocalTime) {
  {
    const TimeZone zone("CET-1");
    EXPECT_EQ(localExpiryText(1230768000), "01-01-2009 : 01:00:00 AM");
  }
  {
    const TimeZone zone("UTC0");
    EXPECT_EQ(localExpiryText(1236262029), "05-03-2009 : 02:07:09 PM");
  }
}

}  // namespace
}  // namespace marqen::control
