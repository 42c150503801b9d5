#pragma once
#include <map>
#include <string>
#include <vector>

namespace marqen::test {

struct ProcessResult {
  int exitCode = -1;  // -1 when the process did not exit normally
  std::string out;
  std::string err;
};

// Runs a program with arguments (no shell), optional extra environment, and collects its
// output. Standard input is /dev/null.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& environment = {});

}  // namespace marqen::test
