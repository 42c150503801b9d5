#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "library/core/library_error.h"
#include "platform/crypto/certificate.h"
#include "platform/os/host_program.h"

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

// The log beside this test program, where the exports write.
std::string hostLog() {
  std::ifstream in(os::hostProgramFolder() + "/Logs/logFile.txt", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(RunExport, UnexpectedExceptionsAreLoggedWithTheirText) {
  EXPECT_EQ(runExport([] {}), err::NO_ERROR);
  EXPECT_EQ(runExport([] { throw std::runtime_error("stream ended at byte 4711"); }),
            err::UNKNOWN_EXCEPTION);
  EXPECT_NE(hostLog().find(": Unexpected exception: stream ended at byte 4711"), std::string::npos);
  EXPECT_EQ(runExport([] { throw 42; }), err::UNKNOWN_EXCEPTION);
  EXPECT_NE(hostLog().find(": Unexpected exception: of unknown type"), std::string::npos);
}

TEST(RunExport, OpenSslReasonIsLoggedOnlyWhenItEndsTheExport) {
  const std::vector<unsigned char> notDer = {0x30, 0x82, 0x7f, 0x00, 0x01};
  const auto parse = [&] { return crypto::Certificate::fromDer(notDer).has_value(); };
  const std::size_t before = hostLog().size();
  // A failure the export recovers from leaves no trace, not even in the next export.
  EXPECT_EQ(runExport([&] { (void)parse(); }), err::NO_ERROR);
  EXPECT_EQ(runExport([] { raiseError(err::CERT_CONTEXT); }), err::CERT_CONTEXT);
  EXPECT_EQ(hostLog().find("OpenSSL: ", before), std::string::npos);
  EXPECT_EQ(runExport([&] {
              if (!parse()) raiseError(err::CERT_CONTEXT);
            }),
            err::CERT_CONTEXT);
  const std::string log = hostLog().substr(before);
  const std::size_t at = log.find(": OpenSSL: error:");
  ASSERT_NE(at, std::string::npos) << log;
  EXPECT_EQ(log.find("OpenSSL: ", at + 3), std::string::npos) << "one line per failed export";
}

}  // namespace
}  // namespace marqen
