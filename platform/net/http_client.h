#pragma once
// HTTP(S) download for revocation lists: http and https only (redirects included), bounded in
// time and in memory. One request gives the status, the headers and the body. The transfer
// itself runs in the download module, loaded on the first request.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace marqen::net {

struct HttpLimits {
  std::chrono::milliseconds connectTimeout{10'000};
  std::chrono::milliseconds totalTimeout{30'000};
  std::size_t maxBodyBytes = 64U * 1024U * 1024U;
  int maxRedirects = 5;
};

struct HttpResponse {
  long status = 0;                             // of the final response after redirects
  std::optional<std::uint64_t> contentLength;  // empty when the response had no Content-Length
  std::vector<unsigned char> body;
  std::vector<std::pair<std::string, std::string>> headers;  // of the final response, in order
};

enum class HttpError {
  UnsupportedUrl,  // not an http or https URL, or malformed (also a redirect to another scheme)
  ConnectFailed,   // name resolution, connection or TLS failure
  TimedOut,        // the connect or the total time-out passed
  TooLarge,        // the announced or received body is over the limit
  Incomplete,      // the connection ended before the announced body was complete
  Failed,          // anything else the transfer reported
  Unavailable,     // the download module could not be loaded (see downloadUnavailableReason)
};

std::variant<HttpResponse, HttpError> httpGet(const std::string& url,
                                              const HttpLimits& limits = {});

// Why the download module could not be loaded: the loader's message. Empty while it loads, or
// before the first request.
std::string downloadUnavailableReason();

}  // namespace marqen::net
