#include <gtest/gtest.h>

#include "platform/os/text.h"

namespace marqen::os {
namespace {

TEST(TextConversion, RoundTripsAsciiAccentsAndAstralCharacters) {
  const std::u16string wide = u"Zürich \u20AC \U0001F600 CN=Test";
  const std::string narrow = toUtf8(wide);
  EXPECT_EQ(narrow, "Z\xC3\xBCrich \xE2\x82\xAC \xF0\x9F\x98\x80 CN=Test");
  EXPECT_EQ(toUtf16(narrow), wide);
}

TEST(TextConversion, MalformedInputBecomesReplacementCharacter) {
  // A lone high surrogate and a lone low surrogate.
  const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00, 0};
  EXPECT_EQ(toUtf8(lone),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
  // A truncated sequence, an overlong encoding, and an encoded surrogate.
  EXPECT_EQ(toUtf16("x\xE2\x82"), u"x\uFFFD");
  EXPECT_EQ(toUtf16("\xC0\xAF"), u"\uFFFD");
  EXPECT_EQ(toUtf16("\xED\xA0\x80"), u"\uFFFD");
  // A lead byte followed by a fresh ASCII character keeps that character.
  EXPECT_EQ(toUtf16("\xC3Z"), u"\uFFFDZ");
}

TEST(TextConversion, WideLengthAndViewTolerateNull) {
  EXPECT_EQ(wideLength(nullptr), 0U);
  EXPECT_EQ(wideLength(u"abc"), 3U);
  EXPECT_TRUE(wideView(nullptr).empty());
  EXPECT_EQ(wideView(u"ab\0cd"), u"ab");
}

}  // namespace
}  // namespace marqen::os
