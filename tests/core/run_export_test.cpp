#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "library/core/library_error.h"

namespace marqen {
namespace {

// Counts live instances, so a test can see that unwinding released everything.
struct Tracked {
  static inline int live = 0;
  Tracked() { ++live; }
  ~Tracked() { --live; }
  Tracked(const Tracked&) = delete;
  Tracked& operator=(const Tracked&) = delete;
};

TEST(RunExport, RaisedCodeBecomesTheResultAfterRelease) {
  const ErrorCode code = runExport([] {
    auto held = std::make_unique<Tracked>();
    Tracked onStack;
    raiseError(err::STORE_OPEN);
  });
  EXPECT_EQ(code, err::STORE_OPEN);
  EXPECT_EQ(Tracked::live, 0);
}

TEST(RunExport, AnyOtherExceptionBecomes2200) {
  EXPECT_EQ(runExport([] { throw std::runtime_error("boom"); }), err::UNKNOWN_EXCEPTION);
  EXPECT_EQ(runExport([] { throw 42; }), err::UNKNOWN_EXCEPTION);
  EXPECT_EQ(runExport([] { (void)std::vector<int>().at(1); }), err::UNKNOWN_EXCEPTION);
  EXPECT_EQ(Tracked::live, 0);
}

TEST(RunExport, SuccessAndChainedCodes) {
  EXPECT_EQ(runExport([] {}), err::NO_ERROR);
  EXPECT_EQ(runExport([] { raiseIfFailed(err::NO_ERROR); }), err::NO_ERROR);
  EXPECT_EQ(runExport([] { raiseIfFailed(err::FOLDER_MISSING); }), err::FOLDER_MISSING);
}

}  // namespace
}  // namespace marqen
