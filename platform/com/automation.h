#pragma once
// BSTR and VARIANT as OLE Automation lays them out. A BSTR's block starts 4 bytes before the
// text, at its byte count, and comes from malloc, so any host can make and free one without
// linking this code: SysFreeString(b) is free((char*)b - 4).

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/com/com_types.h"

namespace marqen::com {

// Null when the text is too long to count in 32 bits or memory runs out. Embedded zeros kept.
BSTR sysAllocString(std::u16string_view text) noexcept;
void sysFreeString(BSTR text) noexcept;
// Length in UTF-16 units; 0 for null.
std::uint32_t sysStringLen(BSTR text) noexcept;
// The text as a view (the empty view for null).
std::u16string_view bstrView(BSTR text) noexcept;

// An owned BSTR.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::u16string_view text) : text_(sysAllocString(text)) {}
  Bstr(Bstr&& other) noexcept : text_(other.release()) {}
  Bstr& operator=(Bstr&& other) noexcept {
    if (this != &other) {
      sysFreeString(text_);
      text_ = other.release();
    }
    return *this;
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { sysFreeString(text_); }

  BSTR get() const noexcept { return text_; }
  BSTR release() noexcept {
    BSTR text = text_;
    text_ = nullptr;
    return text;
  }

 private:
  BSTR text_ = nullptr;
};

void variantInit(VARIANT& v) noexcept;
// Frees what the variant owns (a BSTR) and leaves it VT_EMPTY. By-reference values are not
// owned.
void variantClear(VARIANT& v) noexcept;

// An owned VARIANT, cleared on destruction.
class Variant {
 public:
  Variant() noexcept { variantInit(v_); }
  Variant(Variant&& other) noexcept : v_(other.v_) { variantInit(other.v_); }
  Variant& operator=(Variant&& other) noexcept {
    if (this != &other) {
      variantClear(v_);
      v_ = other.v_;
      variantInit(other.v_);
    }
    return *this;
  }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { variantClear(v_); }

  VARIANT* get() noexcept { return &v_; }
  const VARIANT& operator*() const noexcept { return v_; }
  const VARIANT* operator->() const noexcept { return &v_; }

 private:
  VARIANT v_;
};

}  // namespace marqen::com
