#pragma once
// The boundary between the library and its download module. Only the module links libcurl (and
// its thirty-odd dependencies), and the library loads it on the first download, so a process
// that never downloads never pays for loading them. The boundary is plain C: the two sides share
// no C++ object, only these records and callbacks.

#include <cstddef>
#include <cstdint>

extern "C" {

struct MarqenDownloadLimits {
  std::int64_t connectTimeoutMs;
  std::int64_t totalTimeoutMs;
  std::uint64_t maxBodyBytes;
  std::int32_t maxRedirects;
};

// Receives the response as it arrives; the module never holds the body itself. A callback
// returns 0 when it cannot take what it was given, which fails the transfer.
struct MarqenDownloadSink {
  void* context;
  int (*body)(void* context, const unsigned char* data, std::size_t size);
  int (*header)(void* context, const char* name, const char* value);
};

struct MarqenDownloadOutcome {
  std::int32_t error;  // 0, or 1 + the net::HttpError value
  std::int32_t hasContentLength;
  std::int64_t status;
  std::uint64_t contentLength;
};

typedef void MarqenDownloadFunction(const char* url, const MarqenDownloadLimits* limits,
                                    const MarqenDownloadSink* sink, MarqenDownloadOutcome* outcome);
}

namespace marqen::net {

// Installed in the library's own folder; the entry point's name carries the boundary's version.
inline constexpr const char* kDownloadModuleFile = "libmarqen_net.so";
inline constexpr const char* kDownloadEntryPoint = "marqen_download_v1";

}  // namespace marqen::net
