#include "platform/com/script_call.h"

#include <chrono>
#include <climits>
#include <cmath>
#include <ctime>

#include "platform/com/automation.h"
#include "platform/os/text.h"

namespace marqen::com {
namespace {

// The VARIANT a script engine passes for the value; false for a date beyond the calendar or
// no memory for the text.
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
    // Script numbers are doubles; the object rounds them or refuses them out of range.
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

}  // namespace

bool isDateArgument(const Json& value) {
  return value.is_object() && value.size() == 1 && value.contains("date") &&
         value["date"].is_number();
}

bool isScriptValue(const Json& value) {
  return value.is_primitive() || isDateArgument(value);
}

std::optional<double> localDate(double milliseconds) {
  const double seconds = std::floor(milliseconds / 1000.0);
  // Well beyond years 100 to 9999 either way: the object refuses those anyway.
  if (!std::isfinite(seconds) || std::fabs(seconds) > 4.0e11) return std::nullopt;
  const auto whole = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (!::localtime_r(&whole, &local)) return std::nullopt;
  namespace chrono = std::chrono;
  const chrono::sys_days day{chrono::year{local.tm_year + 1900} /
                             chrono::month{static_cast<unsigned>(local.tm_mon + 1)} /
                             chrono::day{static_cast<unsigned>(local.tm_mday)}};
  constexpr double kDaysFrom1899To1970 = 25569.0;
  const double days = static_cast<double>(day.time_since_epoch().count()) + kDaysFrom1899To1970;
  const double time = (local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec +
                       (milliseconds / 1000.0 - seconds)) /
                      86400.0;
  // Before day 0 the time of day still counts away from it.
  return days >= 0 ? days + time : days - time;
}

ScriptCallResult callByName(IDispatch& dispatch, const std::string& name,
                            const std::vector<Json>& args) {
  ScriptCallResult outcome;
  const std::u16string wide = os::toUtf16(name);
  const OLECHAR* names[] = {wide.c_str()};
  DISPID id = DISPID_UNKNOWN;
  outcome.hr = dispatch.GetIDsOfNames(&IID_NULL, names, 1, kLcidEnglishUs, &id);
  if (outcome.hr != S_OK) return outcome;

  std::vector<Variant> values(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) {
    // DISPPARAMS holds the arguments last-first.
    if (!toVariant(args[i], *values[args.size() - 1 - i].get())) {
      outcome.hr = DISP_E_OVERFLOW;
      outcome.argument = i;
      return outcome;
    }
  }
  std::vector<VARIANT> lastFirst;
  lastFirst.reserve(values.size());
  for (auto& value : values)
    lastFirst.push_back(*value);
  DISPPARAMS params{lastFirst.data(), nullptr, static_cast<std::uint32_t>(lastFirst.size()), 0};
  Variant result;
  std::uint32_t argErr = 0;
  outcome.hr = dispatch.Invoke(id, &IID_NULL, kLcidEnglishUs, DISPATCH_METHOD, &params,
                               result.get(), nullptr, &argErr);
  if (outcome.hr == S_OK) outcome.result = fromVariant(*result);
  if ((outcome.hr == DISP_E_TYPEMISMATCH || outcome.hr == DISP_E_OVERFLOW) && argErr < args.size())
    outcome.argument = args.size() - 1 - argErr;
  return outcome;
}

}  // namespace marqen::com
