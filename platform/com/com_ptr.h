#pragma once
// An owned interface reference: Release on destruction, like any other handle here.

#include <utility>

#include "platform/com/com_types.h"

namespace marqen::com {

template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes over a reference the caller owns.
  explicit ComPtr(Interface* owned) noexcept : p_(owned) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) reset(std::exchange(other.p_, nullptr));
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() { reset(); }

  Interface* get() const noexcept { return p_; }
  Interface* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

  void reset(Interface* owned = nullptr) noexcept {
    if (p_) p_->Release();
    p_ = owned;
  }
  // For an out parameter of type void**: releases what is held first.
  void** put() noexcept {
    reset();
    return reinterpret_cast<void**>(&p_);
  }
  Interface* release() noexcept { return std::exchange(p_, nullptr); }

  // Another interface of the same object, or empty.
  template <typename Other>
  ComPtr<Other> query(const GUID& iid) const noexcept {
    ComPtr<Other> other;
    if (p_) p_->QueryInterface(&iid, other.put());
    return other;
  }

 private:
  Interface* p_ = nullptr;
};

}  // namespace marqen::com
