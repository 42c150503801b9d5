// marqen control: usage, the script checked before the control is created, and the refusal
// when the control is not registered.

#include <gtest/gtest.h>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

using marqen::test::runProcess;
using marqen::test::TempDir;
using marqen::test::writeFile;

TEST(ControlCommand, BadUsageExitsWith2) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"control"},
                                               {"control", "run"},
                                               {"control", "frobnicate"},
                                               {"control", "register", "extra"},
                                               {"control", "run", "a", "b"}}) {
    const auto result = runProcess(MARQEN_TOOL, args);
    EXPECT_EQ(result.exitCode, 2) << args.back();
    EXPECT_NE(result.err.find("usage: marqen control"), std::string::npos);
  }
}

TEST(ControlCommand, EveryMalformedLineIsReportedBeforeTheControlIsCreated) {
  struct Case {
    const char* line;
    const char* reason;
  };
  const Case cases[] = {
      {"sign(", "do not end with )"},
      {"(1)", "expected a method name"},
      {"two words", "expected a method name"},
      {"sign)", "expected a method name"},
      {"updateData(hello)", "not JSON values"},
      {"updateData(\"a\" \"b\")", "not JSON values"},
      {"updateData([1])", "neither text"},
      {"updateData({\"x\": 1})", "neither text"},
      {"setSigningTime({\"date\": \"today\"})", "neither text"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    // Comments, blank lines and good calls around the bad one; the registry is empty, so
    // reaching the control would fail differently.
    writeFile(dir.file("script"), std::string("# a script\n\nsign\n") + c.line + "\r\nsign()\n");
    const auto result = runProcess(MARQEN_TOOL, {"control", "run", dir.file("script")},
                                   {{"MARQEN_REGISTRY", dir.file("registry.json")}});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("line 4: "), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
  }
}

TEST(ControlCommand, AnUnregisteredControlIsNotScripted) {
  TempDir dir;
  writeFile(dir.file("script"), "sign\n");
  const auto result = runProcess(MARQEN_TOOL, {"control", "run", dir.file("script")},
                                 {{"MARQEN_REGISTRY", dir.file("registry.json")}});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("marqen control register"), std::string::npos) << result.err;
  const auto missing = runProcess(MARQEN_TOOL, {"control", "run", dir.file("none")});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("cannot be read"), std::string::npos);
}

}  // namespace
