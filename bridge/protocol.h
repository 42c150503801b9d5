#pragma once
// The messages between a page and the bridge: {"id": n, "method": "name", "args": [...]}
// answered by {"id": n, "result": ...} or {"id": n, "error": "..."}.

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marqen::bridge {

using Json = nlohmann::json;

struct Request {
  Json id;
  std::string method;
  std::vector<Json> args;
};

// A request, or the refusal to send back (its id null when the message had none).
struct ParsedRequest {
  std::optional<Request> request;
  Json id;
  std::string error;
};

ParsedRequest parseRequest(std::string_view text);

std::string resultMessage(const Json& id, const Json& result);
std::string errorMessage(const Json& id, std::string_view error);

// True for {"date": milliseconds}, the form a script's Date travels in.
bool isDateArgument(const Json& value);

// Milliseconds since 1970 as the local calendar time in days since 1899-12-30 (the control's
// dates); nothing beyond the years a date can hold.
std::optional<double> localDate(double milliseconds);

}  // namespace marqen::bridge
