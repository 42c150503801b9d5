#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "library/cert/dn_match.h"
#include "platform/os/text.h"

namespace marqen {
namespace {

using Values = std::vector<std::u16string>;

std::string show(std::u16string_view text) {
  return os::toUtf8(text);
}

bool matches(std::u16string_view first, std::u16string_view second) {
  return compareDistinguishedNames(first, second) == 0;
}

bool parses(std::u16string_view name) {
  return parseDistinguishedName(name).has_value();
}

TEST(DnMatch, SameAttributesInAnyOrderWithKeyCaseAndBlanksIgnored) {
  EXPECT_TRUE(matches(u"CN=A, O=B, C=IN", u"c=IN;o= B;cn=A"));
  EXPECT_TRUE(matches(u"c=IN;o= B;cn=A", u"CN=A, O=B, C=IN"));
  EXPECT_TRUE(matches(u"CN=A \t\r\n\v\f", u"CN=A"));
  EXPECT_TRUE(matches(u"CN=A, O=B", u"CN=A ,O=B"));
  EXPECT_TRUE(matches(u"givenname =Ann", u"G=Ann"));
  EXPECT_TRUE(matches(u"OU=X, OU=Y", u"OU=Y, OU=X"));
}

TEST(DnMatch, ValuesAreCaseSensitiveAndKeepInnerAndLeadingNonBlankSpace) {
  EXPECT_FALSE(matches(u"CN=A, O=B", u"CN=a, O=B"));
  EXPECT_FALSE(matches(u"CN=A B", u"CN=A  B"));
  EXPECT_FALSE(matches(u"CN=\tA", u"CN=A"));
  EXPECT_FALSE(matches(u"CN=A", u"O=A"));
}

TEST(DnMatch, EachClassNeedsEqualCountsAndAPartnerForEveryValueOfTheFirst) {
  EXPECT_FALSE(matches(u"CN=A, OU=X, OU=Y", u"CN=A, OU=Y, OU=Z"));
  EXPECT_FALSE(matches(u"CN=A, OU=X", u"CN=A, OU=X, OU=X"));
  EXPECT_FALSE(matches(u"CN=A, OU=X, OU=X", u"CN=A, OU=X"));
  EXPECT_FALSE(matches(u"CN=A", u"CN=A, O=B"));
  // Partners are looked up, not paired off, so the comparison is one-sided.
  EXPECT_TRUE(matches(u"OU=X, OU=X", u"OU=X, OU=Y"));
  EXPECT_FALSE(matches(u"OU=X, OU=Y", u"OU=X, OU=X"));
}

TEST(DnMatch, UnparseableNamesMatchOnlyIdenticalText) {
  const std::u16string postal = u"CN=A, PostalCode=123";
  EXPECT_FALSE(parses(postal));
  EXPECT_TRUE(matches(postal, postal));
  EXPECT_FALSE(matches(postal, u"PostalCode=123, CN=A"));
  EXPECT_FALSE(matches(u"cn=A, PostalCode=123", postal));
  for (const std::u16string_view bad :
       {u"=A", u"=", u"CN", u"  ", u"CN=A=B", u"CN==A", u"O=B, CN==A", u"CN\t=A", u"x;CN=A, O=B"}) {
    EXPECT_FALSE(parses(bad)) << show(bad);
    EXPECT_TRUE(matches(bad, bad)) << show(bad);
  }
  EXPECT_FALSE(matches(u"CN", u"cn"));
}

TEST(DnMatch, EmptyNameHasNoAttributes) {
  const auto empty = parseDistinguishedName(u"");
  ASSERT_TRUE(empty);
  for (const auto& list : empty->values)
    EXPECT_TRUE(list.empty());
  EXPECT_TRUE(matches(u"", u""));
  EXPECT_FALSE(matches(u"", u"CN=A"));
  EXPECT_FALSE(matches(u"CN=A", u""));
  EXPECT_FALSE(matches(u"", u" "));
}

TEST(DnParse, EveryKeyNameSelectsItsClassWhateverItsCaseAndSurroundingBlanks) {
  const std::vector<std::pair<std::u16string, DnClass>> keys = {
      {u"cn", DnClass::CommonName},
      {u"c", DnClass::Country},
      {u"g", DnClass::GivenName},
      {u"givenname", DnClass::GivenName},
      {u"l", DnClass::Locality},
      {u"o", DnClass::Organisation},
      {u"ou", DnClass::OrganisationalUnit},
      {u"e", DnClass::Email},
      {u"email", DnClass::Email},
      {u"s", DnClass::State},
      {u"st", DnClass::State},
      {u"street", DnClass::Street},
      {u"t", DnClass::Title},
      {u"title", DnClass::Title},
      {u"sn", DnClass::Surname},
      {u"dc", DnClass::DomainComponent},
      {u"i", DnClass::Initials},
      {u"initials", DnClass::Initials},
  };
  for (const auto& [key, dnClass] : keys) {
    std::u16string upper = key;
    for (char16_t& c : upper)
      c = static_cast<char16_t>(c - u'a' + u'A');
    for (const std::u16string& written : {key, upper, u"  " + upper + u" "}) {
      const auto set = parseDistinguishedName(written + u"=v");
      ASSERT_TRUE(set) << show(written);
      for (std::size_t i = 0; i < kDnClassCount; ++i)
        EXPECT_EQ(set->values[i].size(), i == static_cast<std::size_t>(dnClass) ? 1U : 0U)
            << show(written) << " class " << i;
    }
  }
  EXPECT_FALSE(parses(u"c n=v"));
  EXPECT_FALSE(parses(u"cnx=v"));
}

TEST(DnParse, TokenEndsAtTheLastSeparatorBeforeTheNextKey) {
  auto set = parseDistinguishedName(u"CN=Smith, John, O=Acme");
  ASSERT_TRUE(set);
  EXPECT_EQ(set->of(DnClass::CommonName), Values{u"Smith, John"});
  EXPECT_EQ(set->of(DnClass::Organisation), Values{u"Acme"});

  set = parseDistinguishedName(u"CN=\"Doe, J\", OU=X;Y; OU=Z");
  ASSERT_TRUE(set);
  EXPECT_EQ(set->of(DnClass::CommonName), Values{u"\"Doe, J\""});
  EXPECT_EQ(set->of(DnClass::OrganisationalUnit), (Values{u"X;Y", u"Z"}));

  // A semicolon wins over a later comma.
  set = parseDistinguishedName(u"CN=A,B;O=C");
  ASSERT_TRUE(set);
  EXPECT_EQ(set->of(DnClass::CommonName), Values{u"A,B"});
  EXPECT_EQ(set->of(DnClass::Organisation), Values{u"C"});
  EXPECT_FALSE(parses(u"CN=A;B, O=C"));

  // With no key after it, a separator is part of the last value.
  set = parseDistinguishedName(u"CN=A,,O=B, ");
  ASSERT_TRUE(set);
  EXPECT_EQ(set->of(DnClass::CommonName), Values{u"A,"});
  EXPECT_EQ(set->of(DnClass::Organisation), Values{u"B,"});
}

TEST(DnParse, BlanksAfterEqualsAndTrailingWhiteSpaceAreRemoved) {
  const auto set = parseDistinguishedName(u"CN=   A  B \t, O=  \t x, L=   , C=\r\n");
  ASSERT_TRUE(set);
  EXPECT_EQ(set->of(DnClass::CommonName), Values{u"A  B"});
  EXPECT_EQ(set->of(DnClass::Organisation), Values{u"\t x"});
  EXPECT_EQ(set->of(DnClass::Locality), Values{u""});
  EXPECT_EQ(set->of(DnClass::Country), Values{u""});
}

TEST(DnParse, TokenOfAtMost254UnitsBeforeNormalising) {
  const std::u16string x251(251, u'x');
  EXPECT_TRUE(parses(u"CN=" + x251));
  EXPECT_FALSE(parses(u"CN=" + x251 + u"x"));
  EXPECT_FALSE(parses(u"CN=" + x251 + u" "));
  EXPECT_TRUE(parses(u"CN=" + x251 + u", O=B"));
  EXPECT_FALSE(parses(u"CN=" + x251 + u"x, O=B"));
  // The blank after the separator belongs to the following token.
  EXPECT_TRUE(parses(u"O=B, CN=" + x251.substr(1)));
  EXPECT_FALSE(parses(u"O=B, CN=" + x251));
  // UTF-16 units, not characters: each emoji counts two.
  std::u16string emoji;
  for (int i = 0; i < 125; ++i)
    emoji += u"\U0001F600";
  EXPECT_TRUE(parses(u"CN=" + emoji + u"x"));
  EXPECT_FALSE(parses(u"CN=" + emoji + u"xx"));
  // Identical text still matches.
  const std::u16string tooLong = u"CN=" + x251 + u"x";
  EXPECT_TRUE(matches(tooLong, tooLong));
  EXPECT_FALSE(matches(tooLong, u"cn=" + x251 + u"x"));
}

}  // namespace
}  // namespace marqen
