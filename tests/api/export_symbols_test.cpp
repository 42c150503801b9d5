#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "tests/support/process.h"

namespace {

// The dynamic symbols the shared object defines, as the system's nm reports them.
std::set<std::string> definedDynamicSymbols() {
  const auto result =
      marqen::test::runProcess("/usr/bin/nm", {"-D", "--defined-only", MARQEN_LIBRARY_FILE});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  std::set<std::string> names;
  std::istringstream lines(result.out);
  std::string line;
  while (std::getline(lines, line)) {
    const auto space = line.find_last_of(' ');
    if (space != std::string::npos) names.insert(line.substr(space + 1));
  }
  return names;
}

TEST(ExportedSymbols, ExactlyTheBuiltExportsAndNothingElseOfOurs) {
  const std::set<std::string> expected = {
      "getErrorMessage",
      "setTrustedCANames",
      "DERtoBase64",
      "Base64toDER",
      "getCertificateDetailsFromStore",
      "getCertificateDetailsFromFile",
      "getCertificateDetailsFromCertString",
      "sign",
      "getSignedContent",
      "verifySignedData",
  };
  const auto symbols = definedDynamicSymbols();
  EXPECT_EQ(symbols, expected);
}

}  // namespace
