#include "tools/marqen/password.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>

#include "platform/os/file_access.h"

namespace marqen::tool {
namespace {

// The terminal's settings while echo is off, for the signal handler to put back.
struct termios savedTerminal {};
volatile std::sig_atomic_t echoIsOff = 0;

extern "C" void restoreEchoAndDie(int signal) {
  if (echoIsOff) (void)::tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTerminal);
  (void)std::signal(signal, SIG_DFL);
  (void)std::raise(signal);
}

// Turns echo off for its lifetime; an interrupt while it is off restores it first.
class EchoOff {
 public:
  EchoOff() {
    if (::tcgetattr(STDIN_FILENO, &savedTerminal) != 0) return;
    struct termios quiet = savedTerminal;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    for (const int signal : kSignals)
      previous_[index(signal)] = std::signal(signal, restoreEchoAndDie);
    active_ = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    echoIsOff = active_ ? 1 : 0;
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;
  ~EchoOff() {
    if (active_) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTerminal);
    echoIsOff = 0;
    for (const int signal : kSignals)
      if (previous_[index(signal)] != SIG_ERR) (void)std::signal(signal, previous_[index(signal)]);
  }
  bool active() const noexcept { return active_; }

 private:
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
  static std::size_t index(int signal) {
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
      if (kSignals[i] == signal) return i;
    return 0;
  }
  bool active_ = false;
  void (*previous_[std::size(kSignals)])(int) = {SIG_ERR, SIG_ERR, SIG_ERR, SIG_ERR};
};

// The prompt goes to the terminal itself, so it shows even when standard error is redirected.
void showPrompt(const std::string& prompt) {
  const os::UniqueFd terminal(::open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC));
  const int fd = terminal ? terminal.get() : STDERR_FILENO;
  [[maybe_unused]] const ssize_t written = ::write(fd, prompt.data(), prompt.size());
}

std::optional<Secret> prompt(const std::string& text) {
  showPrompt(text);
  const EchoOff quiet;
  if (!quiet.active()) return std::nullopt;
  Secret line{std::string()};
  char c = 0;
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') break;
    line.append(c);
  }
  OPENSSL_cleanse(&c, sizeof c);
  return line;
}

// The first line of the file, without its line end.
std::optional<Secret> firstLineOf(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::string line;
  if (!file || (!std::getline(file, line) && !file.eof())) {
    std::cerr << "marqen: cannot read the password file " << path
              << " (--password-file): " << std::strerror(errno) << '\n';
    OPENSSL_cleanse(line.data(), line.size());
    return std::nullopt;
  }
  if (line.ends_with('\r')) line.pop_back();
  return Secret(std::move(line));
}

}  // namespace

// Copied rather than moved: a short string's characters would stay behind in the source.
Secret::Secret(std::string&& text) : text_(text) {
  OPENSSL_cleanse(text.data(), text.capacity());
  text.clear();
}

void Secret::wipe() noexcept {
  OPENSSL_cleanse(text_.data(), text_.capacity());
  text_.clear();
}

PasswordChoice choosePassword(const ParsedArguments& line, std::string_view forWhat,
                              bool standardInputIsData) {
  const std::string* given = line.option("password");
  const std::string* file = line.option("password-file");
  const std::string* variable = line.option("password-env");
  PasswordChoice choice;
  if ((given ? 1 : 0) + (file ? 1 : 0) + (variable ? 1 : 0) > 1) {
    std::cerr << "marqen: give the password one way only: --password-file, --password-env or "
                 "--password\n";
    choice.exitCode = kExitUsage;
    return choice;
  }
  if (given) {
    choice.password.emplace(std::string(*given));
  } else if (file) {
    choice.password = firstLineOf(*file);
    if (!choice.password) choice.exitCode = kExitFailed;
  } else if (variable) {
    const char* value = std::getenv(variable->c_str());
    if (!value) {
      std::cerr << "marqen: the environment variable " << *variable
                << " (--password-env) is not set\n";
      choice.exitCode = kExitUsage;
      return choice;
    }
    choice.password.emplace(std::string(value));
  } else if (!standardInputIsData && ::isatty(STDIN_FILENO)) {
    choice.password = prompt("Password for " + std::string(forWhat) + ": ");
  }
  return choice;
}

std::optional<Secret> askOnTerminal(std::string_view label) {
  if (!::isatty(STDIN_FILENO)) return std::nullopt;
  return prompt(std::string(label) + ": ");
}

}  // namespace marqen::tool
