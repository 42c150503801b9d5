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
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "control/module/control_ids.h"
#include "platform/com/activation.h"
#include "platform/com/guid.h"
#include "platform/com/script_call.h"
#include "platform/os/shared_library.h"
#include "tools/marqen/commands.h"

namespace marqen::tool {
namespace {

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
    if (!isScriptValue(arg))
      return fail("an argument is neither text, a number, true, false, null nor {\"date\": ms}");
    call.args.push_back(arg);
  }
  return call;
}

// One call through IDispatch, as a page's script makes it.
bool perform(IDispatch& dispatch, const Call& call) {
  const ScriptCallResult outcome = callByName(dispatch, call.name, call.args);
  if (outcome.hr != S_OK) {
    std::cerr << "marqen: line " << call.line << ": " << call.name << ": " << reason(outcome.hr);
    if (outcome.hr == DISP_E_TYPEMISMATCH || outcome.hr == DISP_E_OVERFLOW)
      std::cerr << ", argument " << outcome.argument + 1;
    std::cerr << " (" << hex(outcome.hr) << ")\n";
    return false;
  }
  std::cout << outcome.result.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n';
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
