#include "library/cert/dn_match.h"

#include <algorithm>
#include <cstddef>

namespace marqen {
namespace {

// A longer token (key, "=", value, with its blanks) makes the whole name unparseable.
constexpr std::size_t kMaxTokenLength = 254;

struct KeyName {
  std::u16string_view name;
  DnClass dnClass;
};

constexpr std::array<KeyName, 18> kKeyNames{{
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
}};

bool isWhiteSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f';
}

char16_t asciiLower(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

std::u16string_view trimBlanks(std::u16string_view text) {
  const std::size_t first = text.find_first_not_of(u' ');
  if (first == std::u16string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(u' ') - first + 1);
}

std::optional<DnClass> classOfKey(std::u16string_view key) {
  std::u16string lowered(trimBlanks(key));
  std::transform(lowered.begin(), lowered.end(), lowered.begin(), asciiLower);
  for (const KeyName& k : kKeyNames)
    if (k.name == lowered) return k.dnClass;
  return std::nullopt;
}

// Cuts the next token off the front of `rest`; empty when the text cannot be split.
std::optional<std::u16string_view> nextToken(std::u16string_view& rest) {
  const std::size_t equals = rest.find(u'=');
  if (equals == std::u16string_view::npos || equals == 0) return std::nullopt;
  const std::size_t further = rest.find(u'=', equals + 1);
  if (further == std::u16string_view::npos || further == equals + 1) {
    const std::u16string_view token = rest;
    rest = {};
    return token;
  }
  // The last separator before the next key, so that separators inside a value stay in it.
  const std::u16string_view head = rest.substr(0, further);
  std::size_t separator = head.rfind(u';');
  if (separator == std::u16string_view::npos) separator = head.rfind(u',');
  if (separator == std::u16string_view::npos) return std::nullopt;
  const std::u16string_view token = rest.substr(0, separator);
  rest.remove_prefix(separator + 1);
  return token;
}

}  // namespace

std::optional<DnAttributeSet> parseDistinguishedName(std::u16string_view name) {
  DnAttributeSet set;
  std::u16string_view rest = name;
  while (!rest.empty()) {
    const std::optional<std::u16string_view> token = nextToken(rest);
    if (!token || token->size() > kMaxTokenLength) return std::nullopt;
    const std::size_t equals = token->find(u'=');
    if (equals == std::u16string_view::npos ||
        token->find(u'=', equals + 1) != std::u16string_view::npos)
      return std::nullopt;

    const std::optional<DnClass> dnClass = classOfKey(token->substr(0, equals));
    if (!dnClass) return std::nullopt;
    std::u16string_view value = token->substr(equals + 1);
    value.remove_prefix(std::min(value.find_first_not_of(u' '), value.size()));
    while (!value.empty() && isWhiteSpace(value.back()))
      value.remove_suffix(1);
    set.values[static_cast<std::size_t>(*dnClass)].emplace_back(value);
  }
  return set;
}

int compareDistinguishedNames(std::u16string_view first, std::u16string_view second) {
  if (first == second) return 0;
  const std::optional<DnAttributeSet> a = parseDistinguishedName(first);
  const std::optional<DnAttributeSet> b = parseDistinguishedName(second);
  if (!a || !b) return 1;
  for (std::size_t i = 0; i < kDnClassCount; ++i) {
    const std::vector<std::u16string>& ours = a->values[i];
    const std::vector<std::u16string>& theirs = b->values[i];
    if (ours.size() != theirs.size()) return 1;
    // Each value needs a partner, but one partner may serve several: OU=X,OU=X equals OU=X,OU=Y.
    for (const std::u16string& v : ours)
      if (std::find(theirs.begin(), theirs.end(), v) == theirs.end()) return 1;
  }
  return 0;
}

}  // namespace marqen
