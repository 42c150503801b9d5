#pragma once
// Where a command gets a PFX password: a file, an environment variable, a prompt on the
// terminal, or (for scripts that accept the risk) the command line.

#include <optional>
#include <string>
#include <string_view>

#include "tools/marqen/command_line.h"

namespace marqen::tool {

// A password, wiped from memory when it goes.
class Secret {
 public:
  // Takes the text and wipes what the moved-from string may still hold.
  explicit Secret(std::string&& text);
  Secret(const Secret&) = delete;
  Secret& operator=(const Secret&) = delete;
  Secret(Secret&& other) noexcept : text_(std::move(other.text_)) { other.wipe(); }
  Secret& operator=(Secret&& other) noexcept {
    if (this != &other) {
      wipe();
      text_ = std::move(other.text_);
      other.wipe();
    }
    return *this;
  }
  ~Secret() { wipe(); }
  const std::string& text() const noexcept { return text_; }
  void append(char c) { text_ += c; }

 private:
  void wipe() noexcept;
  std::string text_;
};

// The options that give a password, for the commands that take one.
inline constexpr Option kPasswordFileOption{"password-file", "FILE",
                                            "read the PFX password from the first line of FILE"};
inline constexpr Option kPasswordEnvOption{
    "password-env", "VAR", "read the PFX password from the environment variable VAR"};
inline constexpr Option kPasswordOption{
    "password", "P",
    "the PFX password: visible to other users; prefer --password-file, --password-env",
    "asked on a terminal"};

struct PasswordChoice {
  int exitCode = kExitOk;          // not kExitOk: the reason is printed, the command ends
  std::optional<Secret> password;  // none given and none asked for
};

// The password from at most one of --password, --password-file and --password-env; without
// any, asked for on the terminal (not echoed) when standard input is a terminal that no option
// reads data from. `forWhat` names the file in the prompt.
PasswordChoice choosePassword(const ParsedArguments& line, std::string_view forWhat,
                              bool standardInputIsData);

// Asks on the terminal, not echoed, after "LABEL: "; none when standard input is no terminal.
std::optional<Secret> askOnTerminal(std::string_view label);

}  // namespace marqen::tool
