// marqen control register | unregister   the control's registration for the current user
// marqen control run FILE|-              script the control: one call a line, results printed
//
// A script line is `name` or `name(ARGUMENTS)`, ARGUMENTS being JSON values separated by
// commas: "text", 12, 1.5, true, null, or {"date": milliseconds since 1970} for a date, which
// reaches the control in local time as a page's script date does. Blank lines and lines
// starting with # are skipped. Every result is printed as one line of JSON.

#include <array>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <ctime>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "control/module/control_ids.h"
#include "platform/com/activation.h"
#include "platform/com/automation.h"
#include "platform/com/guid.h"
#include "platform/os/shared_library.h"
#include "platform/os/text.h"
#include "tools/marqen/commands.h"

namespace marqen::tool {
namespace {

using Json = nlohmann::json;
using namespace marqen::com;

constexpr std::string_view kUsage = "control register | control unregister | control run FILE|-";
constexpr std::string_view kModuleName = "MarqenI.dll";

std::string hex(HRESULT hr) {
  std::array<char, 8> digits{};
  const auto end = std::to_chars(digits.data(), digits.data() + digits.size(),
                                 static_cast<std::uint32_t>(hr), 16);
  std::string text(digits.data(), end.ptr);
  for (char& c : text)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return "0x" + std::string(8 - text.size(), '0') + text;
}

// What a refused call means, in words.
std::string reason(HRESULT hr) {
  switch (hr) {
    case DISP_E_UNKNOWNNAME:
      return "the control has no method of that name";
    case DISP_E_BADPARAMCOUNT:
      return "wrong number of arguments";
    case DISP_E_TYPEMISMATCH:
      return "an argument of the wrong type";
    case DISP_E_OVERFLOW:
      return "a number out of range";
    default:
      return "the call failed";
  }
}

int registration(bool add) {
  const auto module = os::SharedLibrary::load(kModuleName);
  if (!module) {
    std::cerr << "marqen: " << os::sharedObjectName(kModuleName) << " cannot be loaded\n";
    return kExitFailed;
  }
  auto* call =
      module->function<DllRegisterServerFn>(add ? "DllRegisterServer" : "DllUnregisterServer");
  if (!call) {
    std::cerr << "marqen: " << os::sharedObjectName(kModuleName) << " is not the control\n";
    return kExitFailed;
  }
  if (const HRESULT hr = call(); hr != S_OK) {
    std::cerr << "marqen: " << (add ? "registration" : "unregistration") << " failed (" << hex(hr)
              << "); the registry is " << Registry::defaultPath().string() << '\n';
    return kExitFailed;
  }
  std::cout << (add ? "registered " : "unregistered ") << control::kControlProgId << " in "
            << Registry::defaultPath().string() << '\n';
  return std::cout.flush() ? kExitOk : kExitFailed;
}

// A script date: milliseconds since 1970 as the local calendar time, in days since 1899-12-30.
std::optional<double> localDate(double milliseconds) {
  const double seconds = std::floor(milliseconds / 1000.0);
  // Beyond years 100 to 9999 either way; the control refuses such dates anyway.
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
  // Before the epoch the time of day still counts away from day 0.
  return days >= 0 ? days + time : days - time;
}

struct Call {
  std::size_t line;
  std::string name;
  std::vector<Json> args;
};

// `name` or `name(JSON, ...)`; empty with the reason printed when the line is neither.
std::optional<Call> parseCall(std::size_t number, std::string_view text) {
  const auto fail = [number](std::string_view why) {
    std::cerr << "marqen: line " << number << ": " << why << '\n';
    return std::nullopt;
  };
  const std::size_t open = text.find('(');
  Call call{number, std::string(text.substr(0, open)), {}};
  if (call.name.empty() ||
      call.name.find_first_not_of(
          "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") != std::string::npos)
    return fail("expected a method name, then its arguments in parentheses");
  if (open == std::string_view::npos) return call;
  if (!text.ends_with(')')) return fail("the arguments do not end with )");
  const std::string inside(text.substr(open + 1, text.size() - open - 2));
  const Json args = Json::parse("[" + inside + "]", nullptr, false);
  if (args.is_discarded()) return fail("the arguments are not JSON values separated by commas");
  for (const Json& arg : args) {
    const bool date =
        arg.is_object() && arg.size() == 1 && arg.contains("date") && arg["date"].is_number();
    if (!arg.is_primitive() && !date)
      return fail("an argument is neither text, a number, true, false, null nor {\"date\": ms}");
    call.args.push_back(arg);
  }
  return call;
}

// The VARIANT a script engine would pass for the value; false when it has none.
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
  } else if (value.is_number_integer() && value.get<std::int64_t>() >= INT32_MIN &&
             value.get<std::int64_t>() <= INT32_MAX && !value.is_number_unsigned()) {
    v.vt = VT_I4;
    v.lVal = value.get<std::int32_t>();
  } else if (value.is_number_unsigned() && value.get<std::uint64_t>() <= INT32_MAX) {
    v.vt = VT_I4;
    v.lVal = static_cast<std::int32_t>(value.get<std::uint64_t>());
  } else if (value.is_number()) {
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

// One call through IDispatch, as a page's script makes it.
bool perform(IDispatch& dispatch, const Call& call) {
  const auto fail = [&call](HRESULT hr, const std::string& detail = {}) {
    std::cerr << "marqen: line " << call.line << ": " << call.name << ": " << reason(hr) << detail
              << " (" << hex(hr) << ")\n";
    return false;
  };
  const std::u16string name = os::toUtf16(call.name);
  const OLECHAR* names[] = {name.c_str()};
  DISPID id = DISPID_UNKNOWN;
  if (const HRESULT hr = dispatch.GetIDsOfNames(&IID_NULL, names, 1, kLcidEnglishUs, &id);
      hr != S_OK)
    return fail(hr);

  std::vector<Variant> args(call.args.size());
  for (std::size_t i = 0; i < call.args.size(); ++i) {
    // DISPPARAMS holds the arguments last-first.
    if (!toVariant(call.args[i], *args[call.args.size() - 1 - i].get()))
      return fail(DISP_E_OVERFLOW, ", argument " + std::to_string(i + 1));
  }
  std::vector<VARIANT> lastFirst;
  lastFirst.reserve(args.size());
  for (auto& arg : args)
    lastFirst.push_back(*arg);
  DISPPARAMS params{lastFirst.data(), nullptr, static_cast<std::uint32_t>(lastFirst.size()), 0};
  Variant result;
  std::uint32_t argErr = 0;
  const HRESULT hr = dispatch.Invoke(id, &IID_NULL, kLcidEnglishUs, DISPATCH_METHOD, &params,
                                     result.get(), nullptr, &argErr);
  if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW)
    return fail(hr, ", argument " + std::to_string(call.args.size() - argErr));
  if (hr != S_OK) return fail(hr);
  std::cout << fromVariant(*result).dump(-1, ' ', false, Json::error_handler_t::replace) << '\n';
  return static_cast<bool>(std::cout.flush());
}

std::optional<std::vector<Call>> readScript(std::istream& in) {
  std::vector<Call> calls;
  std::string line;
  bool ok = true;
  for (std::size_t number = 1; std::getline(in, line); ++number) {
    if (line.ends_with('\r')) line.pop_back();
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    const std::size_t last = line.find_last_not_of(" \t");
    if (auto call = parseCall(number, std::string_view(line).substr(first, last - first + 1)))
      calls.push_back(std::move(*call));
    else
      ok = false;
  }
  if (!ok) return std::nullopt;
  return calls;
}

int run(const std::string& file) {
  std::ifstream opened;
  if (file != "-") {
    opened.open(file);
    if (!opened) {
      std::cerr << "marqen: " << file << ": cannot be read\n";
      return kExitFailed;
    }
  }
  // The whole script is checked before the control is created.
  const auto calls = readScript(file == "-" ? std::cin : opened);
  if (!calls) return kExitUsage;

  const Registry registry(Registry::defaultPath());
  ActivatedObject control;
  std::string problem;
  if (const HRESULT hr = createInstance(registry, control::kControlProgId, control, problem);
      hr != S_OK) {
    std::cerr << "marqen: the control cannot be created (" << hex(hr) << "): " << problem
              << "\nmarqen: is it registered? (marqen control register)\n";
    return kExitFailed;
  }
  if (!isSafeForScripting(registry, control::CLSID_MarqenCtrl, control.get())) {
    std::cerr << "marqen: the control is not safe for scripting; it is not run\n";
    return kExitFailed;
  }
  const auto dispatch = control.query<IDispatch>(IID_IDispatch);
  if (!dispatch) {
    std::cerr << "marqen: the control has no IDispatch\n";
    return kExitFailed;
  }
  for (const Call& call : *calls)
    if (!perform(*dispatch.get(), call)) return kExitFailed;
  return kExitOk;
}

}  // namespace

int runControl(Arguments args) {
  const auto line = parseArguments(args, std::span<const Option>());
  if (!line) return reportUsage(kUsage);
  const auto& words = line->positional;
  if (words.size() == 1 && words[0] == "register") return registration(true);
  if (words.size() == 1 && words[0] == "unregister") return registration(false);
  if (words.size() == 2 && words[0] == "run") return run(words[1]);
  return reportUsage(kUsage);
}

}  // namespace marqen::tool
