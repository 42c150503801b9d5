#include "tests/ui/xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace marqen::test {
namespace {
bool started = false;
}

bool XvfbEnvironment::running() {
  return started;
}

void XvfbEnvironment::SetUp() {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  const std::string fd = std::to_string(fds[1]);
  std::vector<std::string> args = {"Xvfb",        "-displayfd", fd,    "-screen", "0",
                                   "1024x768x24", "-nolisten",  "tcp", "-noreset"};
  std::vector<char*> argv;
  for (auto& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    // The server goes with the test program, however that ends.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    ::execvp("Xvfb", argv.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  if (pid < 0) {
    ::close(fds[0]);
    return;
  }
  pid_ = pid;
  // Xvfb writes its display number once it accepts connections.
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  char c = 0;
  while (::poll(&p, 1, 10000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n')
    number += c;
  ::close(fds[0]);
  if (number.empty()) {
    TearDown();
    return;  // not installed (or it failed to start): the window tests skip
  }
  ::setenv("DISPLAY", (":" + number).c_str(), 1);
  ::unsetenv("WAYLAND_DISPLAY");
  started = true;
}

void XvfbEnvironment::TearDown() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  started = false;
}

}  // namespace marqen::test
