#pragma once
// Shared pieces of the marqen command: the command table, library error reporting, and owning
// wrappers for what the library hands back.

#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "library/include/Marqen_InterfaceV2.h"

namespace marqen::tool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

using Arguments = std::span<const std::string>;

struct Command {
  std::string_view name;
  std::string_view usage;    // e.g. "base64 encode FILE"
  std::string_view summary;  // one line for --help
  int (*run)(Arguments args);
};

// Prints "error N: message" with the library's own message; returns the failure exit code.
int reportLibraryError(ErrorCode code);
// Prints "usage: marqen USAGE"; returns the usage exit code.
int reportUsage(std::string_view usage);

inline constexpr int kExitAlreadyPresent = 3;

// Positional arguments, "--name value" options and "--name" flags, for those a command
// declares. An option's value is taken verbatim, even when it starts with "--".
struct ParsedArguments {
  std::vector<std::string> positional;
  std::map<std::string, std::string, std::less<>> options;
  std::set<std::string, std::less<>> flags;

  bool has(std::string_view flag) const { return flags.contains(flag); }

  const std::string* option(std::string_view name) const {
    const auto it = options.find(name);
    return it == options.end() ? nullptr : &it->second;
  }
};
// Empty when an option is unknown or lacks its value (the reason is printed).
std::optional<ParsedArguments> parseArguments(
    Arguments args, std::initializer_list<std::string_view> valueOptions,
    std::initializer_list<std::string_view> flagOptions = {});

// Library results are calloc'd buffers released with free().
struct FreeDeleter {
  void operator()(void* p) const noexcept { std::free(p); }
};
template <typename T>
using LibraryBuffer = std::unique_ptr<T, FreeDeleter>;

// A DataBuffer naming a file, with the UTF-16 path it points to kept alive alongside.
class FileInput {
 public:
  explicit FileInput(const std::string& path);
  const DataBuffer* get() const noexcept { return &buffer_; }

 private:
  std::u16string path_;
  DataBuffer buffer_{};
};

// Writes bytes to a file through a temporary beside it, so an interrupted run never leaves a
// half-written file under the final name. Returns false (and prints why) on failure.
bool writeFileAtomically(const std::string& path, std::span<const unsigned char> bytes);

}  // namespace marqen::tool
