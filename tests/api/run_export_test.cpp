#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "library/api/library_error.h"

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
    raiseError(err::kStoreOpen);
  });
  EXPECT_EQ(code, err::kStoreOpen);
  EXPECT_EQ(Tracked::live, 0);
}

TEST(RunExport, AnyOtherExceptionBecomes2200) {
  EXPECT_EQ(runExport([] { throw std::runtime_error("boom"); }), err::kUnknownException);
  EXPECT_EQ(runExport([] { throw 42; }), err::kUnknownException);
  EXPECT_EQ(runExport([] { (void)std::vector<int>().at(1); }), err::kUnknownException);
  EXPECT_EQ(Tracked::live, 0);
}

TEST(RunExport, SuccessAndChainedCodes) {
  EXPECT_EQ(runExport([] {}), err::kNoError);
  EXPECT_EQ(runExport([] { raiseIfFailed(err::kNoError); }), err::kNoError);
  EXPECT_EQ(runExport([] { raiseIfFailed(err::kFolderMissing); }), err::kFolderMissing);
}

}  // namespace
}  // namespace marqen
