#include "tools/marqen/command_line.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <system_error>
#include <utility>

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

std::optional<ParsedArguments> parseArguments(Arguments args, std::span<const Option> options) {
  auto declared = [&](std::string_view name) -> const Option* {
    for (const Option& option : options)
      if (option.name == name) return &option;
    return nullptr;
  };
  ParsedArguments parsed;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || !arg.starts_with("--")) {
      parsed.positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(2, equals == std::string::npos ? equals : equals - 2);
    if (name == "help") throw HelpRequested{{options.begin(), options.end()}};
    const Option* option = declared(name);
    if (!option) {
      std::cerr << "marqen: unknown option --" << name << '\n';
      return std::nullopt;
    }
    if (parsed.has(name) || parsed.option(name)) {
      std::cerr << "marqen: option --" << name << " given twice\n";
      return std::nullopt;
    }
    if (option->value.empty()) {
      if (equals != std::string::npos) {
        std::cerr << "marqen: option --" << name << " takes no value\n";
        return std::nullopt;
      }
      parsed.flags.insert(name);
      continue;
    }
    if (equals != std::string::npos) {
      parsed.options[name] = arg.substr(equals + 1);
      continue;
    }
    if (i + 1 >= args.size()) {
      std::cerr << "marqen: option --" << name << " needs a value\n";
      return std::nullopt;
    }
    parsed.options[name] = args[++i];
  }
  return parsed;
}

std::optional<ParsedArguments> parseArguments(Arguments args,
                                              std::initializer_list<std::string_view> valueOptions,
                                              std::initializer_list<std::string_view> flagOptions) {
  std::vector<Option> options;
  for (const std::string_view name : valueOptions)
    options.push_back({name, "VALUE"});
  for (const std::string_view name : flagOptions)
    options.push_back({name});
  return parseArguments(args, options);
}

void printCommandHelp(std::ostream& out, std::span<const Command> usages,
                      std::span<const Option> options) {
  const char* lead = "usage: ";
  for (const Command& command : usages) {
    out << lead << "marqen " << command.usage << "\n       "
        << "  " << command.summary << '\n';
    lead = "       ";
  }
  if (options.empty()) return;
  out << "\noptions:\n";
  std::size_t width = 0;
  auto shown = [](const Option& option) {
    std::string text("--");
    text += option.name;
    if (!option.value.empty()) {
      text += ' ';
      text += option.value;
    }
    return text;
  };
  for (const Option& option : options)
    width = std::max(width, shown(option).size());
  for (const Option& option : options) {
    const std::string text = shown(option);
    out << "  " << text << std::string(width - text.size() + 2, ' ') << option.help;
    if (!option.byDefault.empty()) out << " (default: " << option.byDefault << ')';
    out << '\n';
  }
}

std::optional<std::string> readStandardInput() {
  std::string bytes;
  char block[65536];
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, block, sizeof block);
    if (n > 0) {
      bytes.append(block, static_cast<std::size_t>(n));
    } else if (n == 0) {
      return bytes;
    } else if (errno != EINTR) {
      std::cerr << "marqen: cannot read standard input: " << std::strerror(errno) << '\n';
      return std::nullopt;
    }
  }
}

bool looksBinary(std::string_view bytes) {
  return std::any_of(bytes.begin(), bytes.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && c != '\n' && c != '\r' && c != '\t' && c != '\f') || byte == 0x7F;
  });
}

int writeStandardOutput(std::string_view bytes, bool binary, std::string_view instead) {
  if (binary && ::isatty(STDOUT_FILENO)) {
    std::cerr << "marqen: the output is binary and standard output is a terminal: redirect it "
                 "to a file or a pipe, or give "
              << instead << '\n';
    return kExitUsage;
  }
  std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return std::cout.flush() ? kExitOk : kExitFailed;
}

std::optional<std::string> normaliseSerial(std::string_view typed) {
  std::string hex;
  for (const char c : typed) {
    if (c == ':' || c == ' ') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    hex += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  if (hex.empty()) return std::nullopt;
  if (hex.size() % 2 != 0) hex = std::string(1, '0').append(hex);
  // The number, without the leading zero bytes a person may copy from a dump...
  std::size_t first = 0;
  while (first + 2 < hex.size() && hex.compare(first, 2, "00") == 0)
    first += 2;
  const std::string number = hex.substr(first);
  // ...then as a positive integer is encoded: a 00 before a first byte with its top bit set.
  return number[0] >= '8' ? std::string("00").append(number) : number;
}

FileInput::FileInput(const std::string& path) : path_(os::toUtf16(path)) {
  buffer_.filePath = path_.data();
  buffer_.kind = DATA_IN_FILE;
}

FileInput::FileInput(InMemory, std::string bytes) : bytes_(std::move(bytes)) {
  buffer_.data = reinterpret_cast<unsigned char*>(bytes_.data());
  buffer_.length = static_cast<int32_t>(bytes_.size());  // openInput keeps it below 2 GiB
  buffer_.kind = DATA_IN_MEMORY;
}

std::unique_ptr<FileInput> openInput(const std::string& path, std::string_view option) {
  if (path != "-") return std::make_unique<FileInput>(path);
  auto bytes = readStandardInput();
  if (!bytes) return nullptr;
  if (bytes->size() > static_cast<std::size_t>(INT32_MAX)) {
    std::cerr << "marqen: standard input (--" << option
              << " -) holds 2 GiB or more: give it as a file\n";
    return nullptr;
  }
  return std::make_unique<FileInput>(FileInput::InMemory{}, std::move(*bytes));
}

bool writeFileAtomically(const std::string& path, std::span<const unsigned char> bytes) {
  if (os::writeFileAtomically(path, bytes, 0666)) return true;
  std::cerr << "cannot write " << path << ": " << std::strerror(errno) << '\n';
  return false;
}

}  // namespace marqen::tool
