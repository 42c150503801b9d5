#include "tests/com/dispatch_host.h"

#include <algorithm>

namespace marqen::test {

using namespace marqen::com;

Arg Arg::text(std::u16string_view value) {
  Arg a;
  a.v.vt = VT_BSTR;
  a.v.bstrVal = sysAllocString(value);
  return a;
}
Arg Arg::nullBstr() {
  Arg a;
  a.v.vt = VT_BSTR;
  return a;
}
Arg Arg::of(VARTYPE vt) {
  Arg a;
  a.v.vt = vt;
  return a;
}
Arg Arg::i4(std::int32_t value) {
  Arg a;
  a.v.vt = VT_I4;
  a.v.lVal = value;
  return a;
}
Arg Arg::i2(std::int16_t value) {
  Arg a;
  a.v.vt = VT_I2;
  a.v.iVal = value;
  return a;
}
Arg Arg::r8(double value) {
  Arg a;
  a.v.vt = VT_R8;
  a.v.dblVal = value;
  return a;
}
Arg Arg::date(double value) {
  Arg a;
  a.v.vt = VT_DATE;
  a.v.date = value;
  return a;
}
Arg Arg::boolean(bool value) {
  Arg a;
  a.v.vt = VT_BOOL;
  a.v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return a;
}
Arg Arg::byRef(VARTYPE vt, void* target) {
  Arg a;
  a.v.vt = static_cast<VARTYPE>(VT_BYREF | vt);
  a.v.byref = target;
  return a;
}

HRESULT DispatchHost::idOf(const std::u16string& name, DISPID& id) const {
  const OLECHAR* names[] = {name.c_str()};
  return dispatch_->GetIDsOfNames(&IID_NULL, names, 1, kLcidEnglishUs, &id);
}

CallResult DispatchHost::call(const std::u16string& name, std::vector<Arg> args,
                              std::uint16_t flags) const {
  DISPID id = 0;
  if (const HRESULT hr = idOf(name, id); hr != S_OK) {
    CallResult failed;
    failed.hr = hr;
    for (auto& arg : args)
      variantClear(arg.v);
    return failed;
  }
  return invoke(id, std::move(args), flags);
}

CallResult DispatchHost::invoke(DISPID id, std::vector<Arg> args, std::uint16_t flags) const {
  std::vector<VARIANT> lastFirst;
  for (auto it = args.rbegin(); it != args.rend(); ++it)
    lastFirst.push_back(it->v);
  DISPPARAMS params{lastFirst.data(), nullptr, static_cast<std::uint32_t>(lastFirst.size()), 0};
  CallResult result;
  result.hr = dispatch_->Invoke(id, &IID_NULL, kLcidEnglishUs, flags, &params, result.value.get(),
                                nullptr, &result.argErr);
  for (auto& variant : lastFirst)
    variantClear(variant);
  return result;
}

}  // namespace marqen::test
