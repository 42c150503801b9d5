#pragma once
// Starting another program and waiting for it, as a modal dialog is waited for.

#include <optional>
#include <string>
#include <vector>

namespace marqen::os {

struct ProgramEnd {
  bool exited = false;  // false: ended by a signal
  int status = 0;       // the exit status, or the signal's number
};

// Runs `program` (a path, or a name looked up in PATH) with the arguments, standard input from
// /dev/null and the caller's standard output and error, and waits for it to end. Empty when it
// cannot be started.
std::optional<ProgramEnd> runProgram(const std::string& program,
                                     const std::vector<std::string>& arguments);

}  // namespace marqen::os
