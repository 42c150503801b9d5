#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "bridge/protocol.h"

namespace marqen::bridge {
namespace {

using com::isDateArgument;
using com::localDate;

TEST(Protocol, RequestsAndTheirRefusals) {
  const struct {
    const char* text;
    const char* error;  // empty: accepted
    Json id;
  } cases[] = {
      {R"({"id": 1, "method": "sign", "args": ["x", 1, 2.5, true, null, {"date": 0}]})", "", 1},
      {R"({"id": 2, "method": "getErrorMessage"})", "", 2},
      {R"({"id": 3, "method": "sign", "args": [[1]]})", "argument 1 has the wrong type", 3},
      {R"({"id": 4, "method": "sign", "args": ["a", {"date": "x"}]})",
       "argument 2 has the wrong type", 4},
      {R"({"id": 5, "method": "sign", "args": [{"date": 1, "more": 2}]})",
       "argument 1 has the wrong type", 5},
      {R"({"id": 6, "method": "sign", "args": "x"})", "args is not an array", 6},
      {R"({"id": 7, "method": ""})", "the message names no method", 7},
      {R"({"id": 8})", "the message names no method", 8},
      {R"({"id": "9", "method": "sign"})", "the message has no numeric id", nullptr},
      {R"({"method": "sign"})", "the message has no numeric id", nullptr},
      {R"([1, 2])", "the message is not a JSON object", nullptr},
      {R"({"id": 1, "method": )", "the message is not a JSON object", nullptr},
      {"", "the message is not a JSON object", nullptr},
  };
  for (const auto& c : cases) {
    const ParsedRequest parsed = parseRequest(c.text);
    EXPECT_EQ(parsed.error, c.error) << c.text;
    EXPECT_EQ(parsed.request.has_value(), *c.error == '\0') << c.text;
    EXPECT_EQ(parsed.request ? parsed.request->id : parsed.id, c.id) << c.text;
  }
  const auto request = parseRequest(R"({"id": 1, "method": "sign", "args": ["x", {"date": 5}]})");
  ASSERT_TRUE(request.request);
  EXPECT_EQ(request.request->method, "sign");
  ASSERT_EQ(request.request->args.size(), 2U);
  EXPECT_TRUE(isDateArgument(request.request->args[1]));
}

TEST(Protocol, AnswersCarryTheIdAndStayValidJson) {
  EXPECT_EQ(Json::parse(resultMessage(7, "MIIB")), (Json{{"id", 7}, {"result", "MIIB"}}));
  EXPECT_EQ(Json::parse(resultMessage(8, nullptr)), (Json{{"id", 8}, {"result", nullptr}}));
  EXPECT_EQ(Json::parse(errorMessage(nullptr, "bad")), (Json{{"id", nullptr}, {"error", "bad"}}));
  // Text that is not UTF-8 never makes an answer the page cannot parse.
  EXPECT_FALSE(
      Json::parse(resultMessage(1, std::string("\xff\xfe", 2)), nullptr, false).is_discarded());
}

class LocalDate : public testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    saved_ = tz ? tz : "";
    hadTz_ = tz != nullptr;
  }
  void TearDown() override {
    if (hadTz_)
      ::setenv("TZ", saved_.c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }
  static void zone(const char* tz) {
    ::setenv("TZ", tz, 1);
    ::tzset();
  }

 private:
  std::string saved_;
  bool hadTz_ = false;
};

TEST_F(LocalDate, MillisecondsBecomeLocalDays) {
  zone("UTC");
  EXPECT_DOUBLE_EQ(*localDate(0), 25569.0);
  EXPECT_DOUBLE_EQ(*localDate(86'400'000.0 + 43'200'000.0), 25570.5);
  // Before 1899-12-30 the time of day counts away from day 0.
  EXPECT_DOUBLE_EQ(*localDate(-2'209'161'600'000.0 - 86'400'000.0 + 21'600'000.0), -1.25);
  zone("Europe/Berlin");
  // 2024-07-01 00:00 UTC is 02:00 in summer time.
  EXPECT_DOUBLE_EQ(*localDate(1'719'792'000'000.0), 45474.0 + 2.0 / 24.0);
  // Both instants of the hour repeated on 2024-10-27 keep their own local time.
  EXPECT_DOUBLE_EQ(*localDate(1'729'989'000'000.0), 45592.0 + 2.5 / 24.0);
  EXPECT_DOUBLE_EQ(*localDate(1'729'992'600'000.0), 45592.0 + 2.5 / 24.0);
  for (const double out : {1e300, -1e300, std::nan("")})
    EXPECT_FALSE(localDate(out)) << out;
}

}  // namespace
}  // namespace marqen::bridge
