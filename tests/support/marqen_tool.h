#pragma once
// The marqen tool run as a user runs it, on a certificate store of the test's own. Test programs
// that include this define MARQEN_TOOL as the tool's path.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/hex.h"
#include "tests/support/pki_builder.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace marqen::test {

using Args = std::vector<std::string>;
using Environment = std::map<std::string, std::string>;

// The options that name a certificate in the store: its issuer and its serial number.
inline Args storeSigner(const std::string& issuer, const Issued& issued) {
  return {"--issuer", issuer, "--serial", hexOf(serialOf(issued))};
}

inline Args with(Args args, const Args& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

// A store and a folder for files, both gone after the test, and the tool run on that store.
class ToolTest : public ::testing::Test {
 protected:
  TempDir storeRoot;
  TempDir files;

  // What every run gets besides the store.
  virtual Environment environment() const { return {}; }

  // Runs marqen on the store; `extra` comes over the store and environment().
  ProcessResult marqen(const Args& args, const Environment& extra = {}) const {
    Environment all = environment();
    all["MARQEN_CERTSTORE"] = storeRoot.path().string();
    for (const auto& [name, value] : extra)
      all[name] = value;
    return runProcess(MARQEN_TOOL, args, all);
  }
};

}  // namespace marqen::test
