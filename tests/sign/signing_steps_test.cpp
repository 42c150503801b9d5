#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "library/core/library_error.h"
#include "library/sign/signing_steps.h"
#include "tests/support/raised_code.h"

namespace marqen {
namespace {

// An attribute whose strings the test keeps alive.
struct Attribute {
  std::string value;
  std::string oid;
  SignedAttribute record{};
  Attribute(std::string v, std::string o, int32_t auth, int32_t type)
      : value(std::move(v)), oid(std::move(o)) {
    record = {reinterpret_cast<unsigned char*>(value.data()), static_cast<int32_t>(value.size()),
              oid.data(), auth, type};
  }
};

Attribute signingTime(const std::string& value, int32_t auth = ATTR_AUTHENTICATED) {
  return Attribute(value, crypto::kSigningTimeOid, auth, ATTR_TIME);
}

std::int64_t secondsOf(FileTime t) {
  return t.unixSeconds();
}

// A fixed "now", so that a test can tell it apart from any time an attribute gives.
const FileTime kNow = FileTime::fromUnixSeconds(1234567890);

TEST(ResolveSigningTime, UnixSecondsAreTheInstantWhateverTheZone) {
  ::setenv("TZ", "IST-5:30", 1);  // a local-time reinterpretation would shift by 5.5 hours
  ::tzset();
  auto a = signingTime("1700000000");
  const SignedAttribute* list[] = {&a.record};
  EXPECT_EQ(secondsOf(resolveSigningTime(list, 1, kNow)), 1700000000);
  ::unsetenv("TZ");
  ::tzset();
}

TEST(ResolveSigningTime, FirstMatchingEntryDecidesAndBadValuesAreRefused) {
  auto other = Attribute("5", "1.2.3.4", ATTR_AUTHENTICATED, ATTR_TIME);
  auto first = signingTime("86400");
  auto second = signingTime("garbage");
  const SignedAttribute* list[] = {&other.record, nullptr, &first.record, &second.record};
  EXPECT_EQ(secondsOf(resolveSigningTime(list, 4, kNow)), 86400);

  for (const char* bad : {"12abc", "-5", "-1", "1e12", "nan", "abc"}) {
    auto a = signingTime(bad);
    const SignedAttribute* one[] = {&a.record};
    EXPECT_EQ(test::raisedCode([&] { resolveSigningTime(one, 1, kNow); }), err::INVALID_ATTRIBUTE)
        << bad;
  }
  auto fraction = signingTime("-0.5");
  const SignedAttribute* one[] = {&fraction.record};
  EXPECT_EQ(secondsOf(resolveSigningTime(one, 1, kNow)), 0);
  auto unsignedTime = signingTime("100", ATTR_UNAUTHENTICATED);
  const SignedAttribute* unsignedList[] = {&unsignedTime.record};
  EXPECT_EQ(test::raisedCode([&] { resolveSigningTime(unsignedList, 1, kNow); }),
            err::SIGNING_TIME_MUST_BE_SIGNED);
}

TEST(ResolveSigningTime, ValueIsReadWithinItsLength) {
  // No terminator after the digits: the rest of the buffer must not be read as the number.
  std::string buffer = "17000000009999";
  std::string oid = crypto::kSigningTimeOid;
  SignedAttribute a{reinterpret_cast<unsigned char*>(buffer.data()), 10, oid.data(),
                    ATTR_AUTHENTICATED, ATTR_TIME};
  const SignedAttribute* list[] = {&a};
  EXPECT_EQ(secondsOf(resolveSigningTime(list, 1, kNow)), 1700000000);
}

TEST(ResolveSigningTime, WithoutAttributeItIsTheTimePassedIn) {
  EXPECT_EQ(resolveSigningTime(nullptr, 0, kNow), kNow);
  auto other = Attribute("5", "1.2.3.4", ATTR_AUTHENTICATED, ATTR_TIME);
  const SignedAttribute* list[] = {&other.record};
  EXPECT_EQ(resolveSigningTime(list, 1, kNow), kNow);
}

TEST(BuildSignedAttributes, SigningTimeFirstUnlessPlacedAndOrderKept) {
  const auto time = encodeSigningTime(unixTimeToFileTime(1700000000));
  EXPECT_EQ(time.type, V_ASN1_UTCTIME);
  EXPECT_EQ(std::string(time.data.begin(), time.data.end()), "231114221320Z");

  auto name =
      Attribute("report.pdf", "1.3.6.1.4.1.311.88.2.1", ATTR_AUTHENTICATED, ATTR_OCTET_STRING);
  auto note = Attribute("draft", "1.3.6.1.4.1.311.88.2.2", ATTR_UNAUTHENTICATED, ATTR_OCTET_STRING);
  auto seven = Attribute("7", "1.2.3.4.5", ATTR_AUTHENTICATED, ATTR_INTEGER);
  const SignedAttribute* list[] = {&name.record, &note.record, &seven.record};
  const auto built = buildSignedAttributes(list, 3, time);
  ASSERT_EQ(built.authenticated.size(), 3U);
  EXPECT_EQ(built.authenticated[0].oid, crypto::kSigningTimeOid);
  EXPECT_EQ(built.authenticated[1].oid, "1.3.6.1.4.1.311.88.2.1");
  EXPECT_EQ(built.authenticated[2].type, V_ASN1_INTEGER);
  EXPECT_EQ(built.authenticated[2].data, crypto::Bytes{7});
  ASSERT_EQ(built.unauthenticated.size(), 1U);
  EXPECT_EQ(std::string(built.unauthenticated[0].data.begin(), built.unauthenticated[0].data.end()),
            "draft");

  auto placed = signingTime("1700000000");
  const SignedAttribute* withTime[] = {&name.record, &placed.record};
  const auto ordered = buildSignedAttributes(withTime, 2, time);
  ASSERT_EQ(ordered.authenticated.size(), 2U);
  EXPECT_EQ(ordered.authenticated[1].oid, crypto::kSigningTimeOid);
}

TEST(BuildSignedAttributes, RefusalsInOrder) {
  const auto time = encodeSigningTime(unixTimeToFileTime(0));
  auto good = Attribute("x", "1.2.3", ATTR_AUTHENTICATED, ATTR_OCTET_STRING);
  auto code = [&](std::vector<const SignedAttribute*> list) {
    return test::raisedCode(
        [&] { buildSignedAttributes(list.data(), static_cast<int32_t>(list.size()), time); });
  };
  EXPECT_EQ(code({&good.record, nullptr}), err::INVALID_ATTRIBUTE_COUNT);
  auto empty = Attribute("", "1.2.3", ATTR_AUTHENTICATED, ATTR_OCTET_STRING);
  EXPECT_EQ(code({&empty.record}), err::INVALID_ATTRIBUTE_VALUE_LENGTH);
  auto nullValue = Attribute("x", "1.2.3", ATTR_AUTHENTICATED, ATTR_OCTET_STRING);
  nullValue.record.value = nullptr;
  EXPECT_EQ(code({&nullValue.record}), err::NULL_ATTRIBUTE_VALUE);
  auto zero = Attribute("0", "1.2.3", ATTR_AUTHENTICATED, ATTR_INTEGER);
  EXPECT_EQ(code({&zero.record}), err::INVALID_ATTRIBUTE);
  auto badType = Attribute("x", "1.2.3", ATTR_AUTHENTICATED, 9);
  EXPECT_EQ(code({&badType.record}), err::INVALID_ATTRIBUTE_DATA_TYPE);
  auto timeElsewhere = Attribute("5", "1.2.3", ATTR_AUTHENTICATED, ATTR_TIME);
  EXPECT_EQ(code({&timeElsewhere.record}), err::INVALID_ATTRIBUTE_DATA_TYPE);
  auto badAuth = Attribute("x", "1.2.3", 2, ATTR_OCTET_STRING);
  EXPECT_EQ(code({&badAuth.record}), err::INVALID_ATTRIBUTE_AUTH_TYPE);
  auto t1 = signingTime("1");
  auto t2 = signingTime("2");
  EXPECT_EQ(code({&t1.record, &t2.record}), err::INVALID_ATTRIBUTE) << "one signing time only";
}

}  // namespace
}  // namespace marqen
