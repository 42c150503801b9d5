#include "bridge/protocol.h"

#include <chrono>
#include <cmath>
#include <ctime>

namespace marqen::bridge {

bool isDateArgument(const Json& value) {
  return value.is_object() && value.size() == 1 && value.contains("date") &&
         value["date"].is_number();
}

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
      if (!arg.is_primitive() && !isDateArgument(arg)) {
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

std::optional<double> localDate(double milliseconds) {
  const double seconds = std::floor(milliseconds / 1000.0);
  // Well beyond years 100 to 9999 either way: the control refuses those anyway.
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

}  // namespace marqen::bridge
