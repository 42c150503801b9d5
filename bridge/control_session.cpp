#include "bridge/control_session.h"

#include <cstdint>

#include "control/module/control_ids.h"
#include "platform/com/script_call.h"

namespace marqen::bridge {
namespace {

using namespace marqen::com;

std::string argumentText(std::size_t index) {
  return "argument " + std::to_string(index + 1);
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
  const ScriptCallResult outcome = callByName(*dispatch_.get(), method, args);
  const std::string argument = argumentText(outcome.argument);
  switch (outcome.hr) {
    case S_OK:
      return {false, outcome.result, {}};
    case DISP_E_UNKNOWNNAME:
      return refusal("the control has no method " + method);
    case DISP_E_BADPARAMCOUNT:
      return refusal("wrong number of arguments for " + method);
    case DISP_E_TYPEMISMATCH:
      return refusal(argument + " of " + method + " has the wrong type");
    case DISP_E_OVERFLOW:
      return refusal(argument + " of " + method + " is out of range");
    default:
      return refusal("the call to " + method + " failed");
  }
}

}  // namespace marqen::bridge
