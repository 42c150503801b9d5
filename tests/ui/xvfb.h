#pragma once
// A private X server for the tests that open windows: started once per test program, in force
// through DISPLAY, stopped at the end. Tests skip when Xvfb is not installed.

#include <gtest/gtest.h>

#include <string>

namespace marqen::test {

class XvfbEnvironment : public ::testing::Environment {
 public:
  void SetUp() override;
  void TearDown() override;
  static bool running();

 private:
  int pid_ = -1;
};

}  // namespace marqen::test
