#include "platform/net/http_client.h"

#include <mutex>
#include <new>

#include "platform/net/download_module.h"
#include "platform/os/shared_library.h"

namespace marqen::net {
namespace {

struct DownloadModule {
  std::optional<os::SharedLibrary> library;
  MarqenDownloadFunction* download = nullptr;
  std::string problem;
};

std::once_flag moduleTried;
DownloadModule& module() {
  static DownloadModule loaded;
  return loaded;
}

// Loaded once, on the first request; a failure stays a failure for the life of the process.
const DownloadModule& loadedModule() {
  std::call_once(moduleTried, [] {
    DownloadModule& m = module();
    m.library = os::SharedLibrary::loadBesideForGood(kDownloadModuleFile, m.problem);
    if (!m.library) return;
    m.download = m.library->function<MarqenDownloadFunction>(kDownloadEntryPoint);
    if (!m.download) m.problem = std::string(kDownloadModuleFile) + " lacks " + kDownloadEntryPoint;
  });
  return module();
}

int takeBody(void* context, const unsigned char* data, std::size_t size) {
  try {
    auto& body = static_cast<HttpResponse*>(context)->body;
    body.insert(body.end(), data, data + size);
    return 1;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

int takeHeader(void* context, const char* name, const char* value) {
  try {
    static_cast<HttpResponse*>(context)->headers.emplace_back(name, value);
    return 1;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

}  // namespace

std::variant<HttpResponse, HttpError> httpGet(const std::string& url, const HttpLimits& limits) {
  const DownloadModule& loaded = loadedModule();
  if (!loaded.download) return HttpError::Unavailable;

  HttpResponse response;
  const MarqenDownloadLimits bounds{limits.connectTimeout.count(), limits.totalTimeout.count(),
                                    limits.maxBodyBytes, limits.maxRedirects};
  const MarqenDownloadSink sink{&response, takeBody, takeHeader};
  MarqenDownloadOutcome outcome{};
  loaded.download(url.c_str(), &bounds, &sink, &outcome);
  if (outcome.error != 0) return static_cast<HttpError>(outcome.error - 1);
  response.status = static_cast<long>(outcome.status);
  if (outcome.hasContentLength) response.contentLength = outcome.contentLength;
  return response;
}

std::string downloadUnavailableReason() {
  // Only read after loadedModule() has run to its end, so the text no longer changes.
  return module().problem;
}

}  // namespace marqen::net
