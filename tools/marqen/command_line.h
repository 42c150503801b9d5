#pragma once
// Shared pieces of the marqen command: the command table, the argument parser, library error
// reporting, standard input and output as files, and owning wrappers for what the library
// hands back.

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
inline constexpr int kExitAlreadyPresent = 3;

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

// One option a command takes, as its --help shows it.
struct Option {
  std::string_view name;            // without the leading "--"
  std::string_view value = {};      // what the value is, e.g. "FILE"; empty for a flag
  std::string_view help = {};       // one line
  std::string_view byDefault = {};  // what holds when the option is not given
};

// Thrown by the parser when a command's arguments ask for --help; the dispatcher prints the
// command's usage with these options and exits with success.
struct HelpRequested {
  std::vector<Option> options;
};

// Positional arguments, "--name value" or "--name=value" options and "--name" flags, for those a
// command declares. An option's value is taken verbatim, even when it starts with "--"; "-" is
// an ordinary value (standard input or output to the commands that take files); after "--"
// every argument is positional. An option given twice is an error, not "the last one wins".
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

// Empty when an option is unknown, lacks its value, gives a flag a value or comes twice (the
// reason is printed). "--help" throws HelpRequested.
std::optional<ParsedArguments> parseArguments(Arguments args, std::span<const Option> options);
// The same for options declared by name alone.
std::optional<ParsedArguments> parseArguments(
    Arguments args, std::initializer_list<std::string_view> valueOptions,
    std::initializer_list<std::string_view> flagOptions = {});

// The help of one command: its usage lines, then its options with their defaults.
void printCommandHelp(std::ostream& out, std::span<const Command> usages,
                      std::span<const Option> options);

// "-" given to --in, --content or --out: standard input or output.
inline bool isStandardStream(const std::string* path) {
  return path && *path == "-";
}

// All of standard input; empty and printed reason on a read failure.
std::optional<std::string> readStandardInput();

// Writes bytes to standard output; refuses (with the usage code) when it is a terminal and the
// bytes are binary, naming the option that would send them elsewhere. Returns the exit code.
int writeStandardOutput(std::string_view bytes, bool binary, std::string_view instead);

// True when the bytes would not read as text on a terminal.
bool looksBinary(std::string_view bytes);

// A serial number as typed (colons, lower case, an optional leading 00 accepted) in the form
// the stores print: upper-case hex of the integer's encoded bytes. Empty when it is not hex.
std::optional<std::string> normaliseSerial(std::string_view typed);

// Library results are calloc'd buffers released with free().
struct FreeDeleter {
  void operator()(void* p) const noexcept { std::free(p); }
};
template <typename T>
using LibraryBuffer = std::unique_ptr<T, FreeDeleter>;

// A DataBuffer naming a file, or holding what was read from standard input for "-", with the
// path or the bytes it points to kept alive alongside.
class FileInput {
 public:
  struct InMemory {};
  explicit FileInput(const std::string& path);
  FileInput(InMemory, std::string bytes);
  FileInput(const FileInput&) = delete;
  FileInput& operator=(const FileInput&) = delete;
  const DataBuffer* get() const noexcept { return &buffer_; }

 private:
  std::u16string path_;
  std::string bytes_;
  DataBuffer buffer_{};
};

// The input an option names: a file, or for "-" what standard input holds. Empty (the reason
// printed) when standard input cannot be read or holds more than the library takes in memory.
std::unique_ptr<FileInput> openInput(const std::string& path, std::string_view option);

// Writes bytes to a file through a temporary beside it, so an interrupted run never leaves a
// half-written file under the final name. Returns false (and prints why) on failure.
bool writeFileAtomically(const std::string& path, std::span<const unsigned char> bytes);

}  // namespace marqen::tool
