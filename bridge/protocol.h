#pragma once
// The messages between a page and the bridge: {"id": n, "method": "name", "args": [...]}
// answered by {"id": n, "result": ...} or {"id": n, "error": "..."}.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/script_call.h"

namespace marqen::bridge {

using com::Json;

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

}  // namespace marqen::bridge
