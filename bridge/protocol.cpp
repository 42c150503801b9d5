#include "bridge/protocol.h"

namespace marqen::bridge {

ParsedRequest parseRequest(std::string_view text) {
  ParsedRequest parsed;
  const Json message = Json::parse(text, nullptr, false);
  if (message.is_discarded() || !message.is_object()) {
    parsed.error = "the message is not a JSON object";
    return parsed;
  }
  const auto id = message.find("id");
  if (id == message.end() || !id->is_number()) {
    parsed.error = "the message has no numeric id";
    return parsed;
  }
  parsed.id = *id;
  const auto method = message.find("method");
  if (method == message.end() || !method->is_string() || method->get<std::string>().empty()) {
    parsed.error = "the message names no method";
    return parsed;
  }
  Request request{*id, method->get<std::string>(), {}};
  if (const auto args = message.find("args"); args != message.end()) {
    if (!args->is_array()) {
      parsed.error = "args is not an array";
      return parsed;
    }
    for (std::size_t i = 0; i < args->size(); ++i) {
      const Json& arg = (*args)[i];
      if (!com::isScriptValue(arg)) {
        parsed.error = "argument " + std::to_string(i + 1) + " has the wrong type";
        return parsed;
      }
      request.args.push_back(arg);
    }
  }
  parsed.request = std::move(request);
  return parsed;
}

std::string resultMessage(const Json& id, const Json& result) {
  return Json{{"id", id}, {"result", result}}.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string errorMessage(const Json& id, std::string_view error) {
  return Json{{"id", id}, {"error", error}}.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace marqen::bridge
