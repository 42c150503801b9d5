#include <gtest/gtest.h>

#include <cstdint>

#include "library/core/file_time.h"

namespace marqen {
namespace {

constexpr uint64_t kUnixEpoch = 116444736000000000ULL;

uint64_t ticks(FileTime t) {
  return t.ticks();
}

TEST(FileTime, EpochsMeet) {
  EXPECT_EQ(fileTimeToUnixTime(static_cast<uint32_t>(kUnixEpoch),
                               static_cast<uint32_t>(kUnixEpoch >> 32)),
            0);
  EXPECT_EQ(ticks(unixTimeToFileTime(0)), kUnixEpoch);
}

TEST(FileTime, RoundTripsAcrossTheWholeSignedRange) {
  for (const int32_t s : {1, -1, 86400, 1700000000, INT32_MAX, INT32_MIN}) {
    const FileTime t = unixTimeToFileTime(s);
    EXPECT_EQ(fileTimeToUnixTime(t.low(), t.high()), s) << s;
  }
  EXPECT_EQ(ticks(unixTimeToFileTime(1)), kUnixEpoch + 10000000ULL);
}

TEST(FileTime, SubSecondPartsAreTruncatedTowardZero) {
  const uint64_t justAfter = kUnixEpoch + 9999999ULL;  // 0.9999999 s after 1970
  EXPECT_EQ(
      fileTimeToUnixTime(static_cast<uint32_t>(justAfter), static_cast<uint32_t>(justAfter >> 32)),
      0);
  const uint64_t justBefore = kUnixEpoch - 9999999ULL;  // toward zero, not toward -1
  EXPECT_EQ(fileTimeToUnixTime(static_cast<uint32_t>(justBefore),
                               static_cast<uint32_t>(justBefore >> 32)),
            0);
}

TEST(FileTime, FarFutureKeepsLow32BitsAndExtremesDoNotOverflow) {
  // Year 2106-02-07 06:28:16 UTC is 2^32 seconds: the low 32 bits are 0.
  const uint64_t t = kUnixEpoch + (1ULL << 32) * 10000000ULL;
  EXPECT_EQ(fileTimeToUnixTime(static_cast<uint32_t>(t), static_cast<uint32_t>(t >> 32)), 0);
  // The largest and smallest FILETIME values must not trip signed overflow.
  (void)fileTimeToUnixTime(0xFFFFFFFFU, 0xFFFFFFFFU);
  (void)fileTimeToUnixTime(0, 0x80000000U);
  EXPECT_EQ(fileTimeToUnixTime(0, 0),
            static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(-11644473600LL))));
}

}  // namespace
}  // namespace marqen
