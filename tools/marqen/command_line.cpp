#include "tools/marqen/command_line.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <system_error>

#include "platform/os/file_access.h"
#include "platform/os/text.h"

namespace marqen::tool {

int reportLibraryError(ErrorCode code) {
  std::cerr << "error " << code << ": " << getErrorMessage(code) << '\n';
  return kExitFailed;
}

int reportUsage(std::string_view usage) {
  std::cerr << "usage: marqen " << usage << '\n';
  return kExitUsage;
}

std::optional<ParsedArguments> parseArguments(Arguments args,
                                              std::initializer_list<std::string_view> valueOptions,
                                              std::initializer_list<std::string_view> flagOptions) {
  auto declared = [](std::initializer_list<std::string_view> names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  };
  ParsedArguments parsed;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!arg.starts_with("--")) {
      parsed.positional.push_back(arg);
      continue;
    }
    const std::string name = arg.substr(2);
    if (declared(flagOptions, name)) {
      parsed.flags.insert(name);
      continue;
    }
    if (!declared(valueOptions, name)) {
      std::cerr << "marqen: unknown option " << arg << '\n';
      return std::nullopt;
    }
    if (i + 1 >= args.size()) {
      std::cerr << "marqen: option " << arg << " needs a value\n";
      return std::nullopt;
    }
    parsed.options[name] = args[++i];
  }
  return parsed;
}

FileInput::FileInput(const std::string& path) : path_(os::toUtf16(path)) {
  buffer_.filePath = path_.data();
  buffer_.kind = DATA_IN_FILE;
}

bool writeFileAtomically(const std::string& path, std::span<const unsigned char> bytes) {
  if (os::writeFileAtomically(path, bytes, 0666)) return true;
  std::cerr << "cannot write " << path << ": " << std::strerror(errno) << '\n';
  return false;
}

}  // namespace marqen::tool
