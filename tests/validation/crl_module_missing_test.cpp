#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "library/core/error_codes.h"
#include "library/core/file_time.h"
#include "library/validation/crl_check.h"
#include "platform/os/host_program.h"
#include "tests/support/pki_builder.h"
#include "tests/support/raised_code.h"

// Built into a folder without the download module beside it.
namespace marqen {
namespace {

std::string hostLog() {
  std::ifstream in(os::hostProgramFolder() + "/Logs/logFile.txt", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(CrlWithoutDownloadModule, ADownloadIsAConnectionFailureAndTheLogSaysWhy) {
  const std::string url = "http://127.0.0.1:9/ca.crl";
  test::CertificateOptions options;
  options.subject = test::makeName({"O=Marqen Test", "CN=No Module"});
  options.crlDistributionPoints = {"URI:" + url};
  const crypto::Certificate certificate =
      test::certificateOf(test::issueCertificate(std::move(options)));

  const std::size_t before = hostLog().size();
  EXPECT_EQ(test::raisedCode([&] { downloadCrl(url); }), err::CRL_CONNECT);
  EXPECT_EQ(
      test::raisedCode([&] { checkCertificateRevocationByCrl(certificate, currentFileTime()); }),
      err::CRL_CONNECT);

  const std::string log = hostLog().substr(before);
  const std::string line =
      "CRL download from " + url + " impossible: the download module could not be loaded: ";
  const std::size_t at = log.find(line);
  ASSERT_NE(at, std::string::npos) << log;
  EXPECT_NE(log.find("libmarqen_net.so", at + line.size()), std::string::npos) << log;
}

}  // namespace
}  // namespace marqen
