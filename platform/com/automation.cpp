#include "platform/com/automation.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace marqen::com {
namespace {

constexpr std::size_t kCountSize = sizeof(std::uint32_t);

}  // namespace

BSTR sysAllocString(std::u16string_view text) noexcept {
  constexpr std::size_t kMaxUnits =
      (std::numeric_limits<std::uint32_t>::max() - kCountSize) / sizeof(char16_t) - 1;
  if (text.size() > kMaxUnits) return nullptr;
  const auto bytes = static_cast<std::uint32_t>(text.size() * sizeof(char16_t));
  auto* block = static_cast<unsigned char*>(std::malloc(kCountSize + bytes + sizeof(char16_t)));
  if (!block) return nullptr;
  std::memcpy(block, &bytes, kCountSize);
  auto* units = reinterpret_cast<char16_t*>(block + kCountSize);
  if (!text.empty()) std::memcpy(units, text.data(), bytes);
  units[text.size()] = u'\0';
  return units;
}

void sysFreeString(BSTR text) noexcept {
  if (text) std::free(reinterpret_cast<unsigned char*>(text) - kCountSize);
}

std::uint32_t sysStringLen(BSTR text) noexcept {
  if (!text) return 0;
  std::uint32_t bytes = 0;
  std::memcpy(&bytes, reinterpret_cast<const unsigned char*>(text) - kCountSize, kCountSize);
  return bytes / 2;  // UTF-16 units
}

std::u16string_view bstrView(BSTR text) noexcept {
  return text ? std::u16string_view(text, sysStringLen(text)) : std::u16string_view();
}

void variantInit(VARIANT& v) noexcept {
  std::memset(&v, 0, sizeof v);
  v.vt = VT_EMPTY;
}

void variantClear(VARIANT& v) noexcept {
  if (v.vt == VT_BSTR) sysFreeString(v.bstrVal);
  variantInit(v);
}

}  // namespace marqen::com
