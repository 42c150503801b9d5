// The download module: HTTP(S) GET over libcurl behind the plain C entry point of
// download_module.h. Built as a module of its own that only the library loads, on first use.

#include <curl/curl.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/net/download_module.h"
#include "platform/net/http_client.h"

namespace marqen::net {
namespace {

struct EasyDeleter {
  void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct UrlDeleter {
  void operator()(CURLU* url) const noexcept { curl_url_cleanup(url); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;

struct CurlStringDeleter {
  void operator()(char* text) const noexcept { curl_free(text); }
};
using CurlString = std::unique_ptr<char, CurlStringDeleter>;

bool curlReady() {
  // Thread-safe once; never cleaned up, as other threads may still be downloading at exit.
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return ready;
}

// Refuses what libcurl would otherwise accept by guessing: a URL without a scheme.
bool isHttpUrl(const std::string& url) {
  const UrlHandle parsed(curl_url());
  if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
    return false;
  }
  char* raw = nullptr;
  if (curl_url_get(parsed.get(), CURLUPART_SCHEME, &raw, 0) != CURLUE_OK) return false;
  const CurlString scheme(raw);
  const std::string_view name(scheme.get());
  return name == "http" || name == "https";
}

struct Sink {
  const MarqenDownloadSink* receiver;
  std::uint64_t cap;
  std::uint64_t received = 0;
  bool overCap = false;
};

// Passes on only what actually arrived, and stops the transfer before it passes the cap.
std::size_t writeBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  const std::size_t bytes = size * count;
  if (bytes > sink->cap - sink->received) {
    sink->overCap = true;
    return 0;  // anything other than `bytes` aborts with CURLE_WRITE_ERROR
  }
  const auto* first = reinterpret_cast<const unsigned char*>(data);
  if (sink->receiver->body(sink->receiver->context, first, bytes) == 0) return 0;
  sink->received += bytes;
  return bytes;
}

HttpError mapError(CURLcode code, bool overCap) {
  if (overCap) return HttpError::TooLarge;
  switch (code) {
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
      return HttpError::UnsupportedUrl;
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CLIENTCERT:
    case CURLE_USE_SSL_FAILED:
      return HttpError::ConnectFailed;
    case CURLE_OPERATION_TIMEDOUT:
      return HttpError::TimedOut;
    case CURLE_FILESIZE_EXCEEDED:
      return HttpError::TooLarge;
    case CURLE_PARTIAL_FILE:
      return HttpError::Incomplete;
    default:
      return HttpError::Failed;
  }
}

// A zero time-out means "none" to libcurl; the caller always gets a bound.
long timeoutMs(std::int64_t value) {
  return static_cast<long>(std::clamp<std::int64_t>(value, 1, std::numeric_limits<long>::max()));
}

bool passFinalHeaders(CURL* handle, const MarqenDownloadSink& receiver) {
  struct curl_header* header = nullptr;
  // Request -1 is the last one, that is the response after all redirects.
  while ((header = curl_easy_nextheader(handle, CURLH_HEADER, -1, header)) != nullptr) {
    if (receiver.header(receiver.context, header->name, header->value) == 0) return false;
  }
  return true;
}

// Empty on success.
std::optional<HttpError> download(const std::string& url, const MarqenDownloadLimits& limits,
                                  const MarqenDownloadSink& receiver,
                                  MarqenDownloadOutcome& outcome) {
  if (!curlReady()) return HttpError::Failed;
  if (!isHttpUrl(url)) return HttpError::UnsupportedUrl;
  const EasyHandle handle(curl_easy_init());
  if (!handle) return HttpError::Failed;
  CURL* const curl = handle.get();

  Sink sink{&receiver, limits.maxBodyBytes};
  // A cap of zero would mean "no limit" to libcurl; the write callback still holds it then.
  const auto announcedCap = static_cast<curl_off_t>(std::min<std::uint64_t>(
      limits.maxBodyBytes, static_cast<std::uint64_t>(std::numeric_limits<curl_off_t>::max())));

  bool set = curl_easy_setopt(curl, CURLOPT_URL, url.c_str()) == CURLE_OK;
  set = set && curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
  set = set && curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK;
  // One redirect more than allowed fails the call (Failed) rather than returning the 3xx.
  set = set && curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK;
  set = set && curl_easy_setopt(curl, CURLOPT_MAXREDIRS,
                                static_cast<long>(std::max(limits.maxRedirects, 0))) == CURLE_OK;
  set = set && curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
  set = set && curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                                timeoutMs(limits.connectTimeoutMs)) == CURLE_OK;
  set = set &&
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMs(limits.totalTimeoutMs)) == CURLE_OK;
  if (announcedCap > 0) {
    set = set && curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, announcedCap) == CURLE_OK;
  }
  set = set && curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeBody) == CURLE_OK;
  set = set && curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink) == CURLE_OK;
  if (!set) return HttpError::Failed;

  const CURLcode result = curl_easy_perform(curl);
  if (result != CURLE_OK) return mapError(result, sink.overCap);

  long status = 0;
  curl_off_t length = -1;
  if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK ||
      curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK) {
    return HttpError::Failed;
  }
  outcome.status = status;
  outcome.hasContentLength = length >= 0 ? 1 : 0;
  outcome.contentLength = length >= 0 ? static_cast<std::uint64_t>(length) : 0;
  if (!passFinalHeaders(curl, receiver)) return HttpError::Failed;
  return std::nullopt;
}

}  // namespace
}  // namespace marqen::net

extern "C" __attribute__((visibility("default"))) void marqen_download_v1(
    const char* url, const MarqenDownloadLimits* limits, const MarqenDownloadSink* sink,
    MarqenDownloadOutcome* outcome) {
  using marqen::net::HttpError;
  *outcome = MarqenDownloadOutcome{};
  // Nothing may unwind into the caller, which is not C++ as far as this boundary knows.
  try {
    const auto error = marqen::net::download(url, *limits, *sink, *outcome);
    outcome->error = error ? 1 + static_cast<std::int32_t>(*error) : 0;
  } catch (...) {
    outcome->error = 1 + static_cast<std::int32_t>(HttpError::Failed);
  }
}
