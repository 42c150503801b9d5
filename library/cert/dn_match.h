#pragma once
// Matching a distinguished name written by a caller against a certificate's name text: equal
// text, or the same attributes in any order, with key case and blanks after "=" ignored.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marqen {

// The attribute classes a name may hold; any other key makes a name unparseable.
enum class DnClass {
  CommonName,
  Country,
  GivenName,
  Locality,
  Organisation,
  OrganisationalUnit,
  Email,
  State,
  Street,
  Title,
  Surname,
  DomainComponent,
  Initials,
};
inline constexpr std::size_t kDnClassCount = 13;

// The values of each class, in the order they occur in the name.
struct DnAttributeSet {
  std::array<std::vector<std::u16string>, kDnClassCount> values;
  const std::vector<std::u16string>& of(DnClass c) const {
    return values[static_cast<std::size_t>(c)];
  }
};

// Empty when the name cannot be parsed.
std::optional<DnAttributeSet> parseDistinguishedName(std::u16string_view name);

// 0 when the names match, 1 when they do not.
int compareDistinguishedNames(std::u16string_view first, std::u16string_view second);

}  // namespace marqen
