#include "platform/os/program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;  // NOLINT(readability-redundant-declaration): POSIX declares no header

namespace marqen::os {
namespace {

class SpawnFileActions {
 public:
  SpawnFileActions() { ok_ = ::posix_spawn_file_actions_init(&actions_) == 0; }
  ~SpawnFileActions() {
    if (ok_) ::posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnFileActions(const SpawnFileActions&) = delete;
  SpawnFileActions& operator=(const SpawnFileActions&) = delete;
  bool ok() const noexcept { return ok_; }
  posix_spawn_file_actions_t* get() noexcept { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_{};
  bool ok_ = false;
};

}  // namespace

std::optional<ProgramEnd> runProgram(const std::string& program,
                                     const std::vector<std::string>& arguments) {
  if (program.empty()) return std::nullopt;
  SpawnFileActions actions;
  // The program must not read what the caller's standard input holds.
  if (!actions.ok() || ::posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null",
                                                          O_RDONLY, 0) != 0)
    return std::nullopt;
  std::vector<std::string> owned;
  owned.reserve(arguments.size() + 1);
  owned.push_back(program);
  owned.insert(owned.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  argv.reserve(owned.size() + 1);
  for (auto& argument : owned)
    argv.push_back(argument.data());
  argv.push_back(nullptr);

  pid_t child = 0;
  // posix_spawnp reports a program that cannot be executed as its own failure.
  if (::posix_spawnp(&child, program.c_str(), actions.get(), nullptr, argv.data(), environ) != 0)
    return std::nullopt;
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return std::nullopt;
  }
  if (WIFEXITED(status)) return ProgramEnd{true, WEXITSTATUS(status)};
  return ProgramEnd{false, WIFSIGNALED(status) ? WTERMSIG(status) : 0};
}

}  // namespace marqen::os
