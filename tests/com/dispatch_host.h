#pragma once
// Calls through IDispatch as a script host makes them: by name, arguments given first-first
// and passed last-first.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/com/automation.h"
#include "platform/com/com_types.h"

namespace marqen::test {

// A VARIANT argument; owns the BSTR it may hold.
struct Arg {
  com::VARIANT v{};
  static Arg text(std::u16string_view value);
  static Arg nullBstr();
  static Arg of(com::VARTYPE vt);  // VT_EMPTY, VT_NULL
  static Arg i4(std::int32_t value);
  static Arg i2(std::int16_t value);
  static Arg r8(double value);
  static Arg date(double value);
  static Arg boolean(bool value);
  static Arg byRef(com::VARTYPE vt, void* target);
};

struct CallResult {
  com::HRESULT hr = com::E_FAIL;
  com::Variant value;
  std::uint32_t argErr = 0xFFFFFFFF;
};

class DispatchHost {
 public:
  explicit DispatchHost(com::IDispatch* dispatch) : dispatch_(dispatch) {}
  // DISPID of a name, or the failure.
  com::HRESULT idOf(const std::u16string& name, com::DISPID& id) const;
  // Looks the name up, then invokes it as a method (or with other flags).
  CallResult call(const std::u16string& name, std::vector<Arg> args,
                  std::uint16_t flags = com::DISPATCH_METHOD) const;
  CallResult invoke(com::DISPID id, std::vector<Arg> args,
                    std::uint16_t flags = com::DISPATCH_METHOD) const;

 private:
  com::IDispatch* dispatch_;
};

}  // namespace marqen::test
