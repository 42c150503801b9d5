#include "bridge/control_session.h"

#include <cstdint>

#include "control/module/control_ids.h"
#include "platform/com/automation.h"
#include "platform/os/text.h"

namespace marqen::bridge {
namespace {

using namespace marqen::com;

std::string argumentText(std::size_t index) {
  return "argument " + std::to_string(index + 1);
}

// The VARIANT a script engine passes for the value; false for a date beyond the calendar.
bool toVariant(const Json& value, VARIANT& v) {
  variantInit(v);
  if (value.is_null()) {
    v.vt = VT_NULL;
  } else if (value.is_boolean()) {
    v.vt = VT_BOOL;
    v.boolVal = value.get<bool>() ? VARIANT_TRUE : VARIANT_FALSE;
  } else if (value.is_string()) {
    v.vt = VT_BSTR;
    v.bstrVal = sysAllocString(os::toUtf16(value.get<std::string>()));
    if (!v.bstrVal) return false;
  } else if (value.is_number_integer() && !value.is_number_unsigned() &&
             value.get<std::int64_t>() >= INT32_MIN && value.get<std::int64_t>() <= INT32_MAX) {
    v.vt = VT_I4;
    v.lVal = value.get<std::int32_t>();
  } else if (value.is_number_unsigned() && value.get<std::uint64_t>() <= INT32_MAX) {
    v.vt = VT_I4;
    v.lVal = static_cast<std::int32_t>(value.get<std::uint64_t>());
  } else if (value.is_number()) {
    // Script numbers are doubles; the control rounds them or refuses them out of range.
    v.vt = VT_R8;
    v.dblVal = value.get<double>();
  } else {
    const auto date = localDate(value["date"].get<double>());
    if (!date) return false;
    v.vt = VT_DATE;
    v.date = *date;
  }
  return true;
}

Json fromVariant(const VARIANT& v) {
  switch (v.vt) {
    case VT_BOOL:
      return v.boolVal != VARIANT_FALSE;
    case VT_I4:
      return v.lVal;
    case VT_BSTR:
      return os::toUtf8(bstrView(v.bstrVal));
    default:
      return nullptr;
  }
}

CallOutcome refusal(std::string error) {
  return {true, nullptr, std::move(error)};
}

}  // namespace

std::unique_ptr<ControlSession> ControlSession::create(std::string& problem) {
  const Registry registry(Registry::defaultPath());
  ActivatedObject object;
  if (createInstance(registry, control::kControlProgId, object, problem) != S_OK) {
    problem = "the control cannot be created: " + problem;
    return nullptr;
  }
  if (!isSafeForScripting(registry, control::CLSID_MarqenCtrl, object.get())) {
    problem = "the control is not safe for scripting";
    return nullptr;
  }
  auto dispatch = object.query<IDispatch>(IID_IDispatch);
  if (!dispatch) {
    problem = "the control has no IDispatch";
    return nullptr;
  }
  return std::unique_ptr<ControlSession>(
      new ControlSession(std::move(object), std::move(dispatch)));
}

CallOutcome ControlSession::call(const std::string& method, const std::vector<Json>& args) {
  const std::u16string name = os::toUtf16(method);
  const OLECHAR* names[] = {name.c_str()};
  DISPID id = DISPID_UNKNOWN;
  if (dispatch_->GetIDsOfNames(&IID_NULL, names, 1, kLcidEnglishUs, &id) != S_OK)
    return refusal("the control has no method " + method);

  std::vector<Variant> values(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) {
    // DISPPARAMS holds the arguments last-first.
    if (!toVariant(args[i], *values[args.size() - 1 - i].get()))
      return refusal(argumentText(i) + " is out of range");
  }
  std::vector<VARIANT> lastFirst;
  lastFirst.reserve(values.size());
  for (auto& value : values)
    lastFirst.push_back(*value);
  DISPPARAMS params{lastFirst.data(), nullptr, static_cast<std::uint32_t>(lastFirst.size()), 0};
  Variant result;
  std::uint32_t argErr = 0;
  const HRESULT hr = dispatch_->Invoke(id, &IID_NULL, kLcidEnglishUs, DISPATCH_METHOD, &params,
                                       result.get(), nullptr, &argErr);
  const std::size_t index = args.size() - 1 - argErr;
  switch (hr) {
    case S_OK:
      return {false, fromVariant(*result), {}};
    case DISP_E_BADPARAMCOUNT:
      return refusal("wrong number of arguments for " + method);
    case DISP_E_TYPEMISMATCH:
      return refusal(argumentText(index) + " of " + method + " has the wrong type");
    case DISP_E_OVERFLOW:
      return refusal(argumentText(index) + " of " + method + " is a number outside 32 bits");
    default:
      return refusal("the call to " + method + " failed");
  }
}

}  // namespace marqen::bridge
