#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>

#include "tests/support/process.h"

namespace {

// The dynamic symbols the shared object defines, as the system's nm reports them: each
// function with its version suffix ("@@NODE" for the default version, empty when unversioned),
// and the version nodes themselves.
struct DynamicSymbols {
  std::map<std::string, std::string> versionOf;
  std::set<std::string> versionNodes;
};

DynamicSymbols definedDynamicSymbols() {
  const auto result =
      marqen::test::runProcess("/usr/bin/nm", {"-D", "--defined-only", MARQEN_LIBRARY_FILE});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  DynamicSymbols symbols;
  std::istringstream lines(result.out);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string address, type, symbol;
    if (!(fields >> address >> type >> symbol)) continue;
    if (type == "A") {
      symbols.versionNodes.insert(symbol);
      continue;
    }
    const auto at = symbol.find('@');
    symbols.versionOf[symbol.substr(0, at)] = at == std::string::npos ? "" : symbol.substr(at);
  }
  return symbols;
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
      "cosign",
      "countersign",
      "rawsign",
      "verifyRawSignature",
      "verifyCounterSignature",
      "checkCertificateValidity",
      "verifySignerCertificate",
      "parseSignedData",
      "listAllCertificatesFromStore",
      "viewCertificate",
  };
  std::set<std::string> names;
  for (const auto& [name, version] : definedDynamicSymbols().versionOf)
    names.insert(name);
  EXPECT_EQ(names, expected);
}

// Programs linked against this library record the node, so an older library without an
// export they need refuses to load them instead of failing at the call.
TEST(ExportedSymbols, EveryExportIsTheDefaultVersionOfTheOneVersionNode) {
  const auto symbols = definedDynamicSymbols();
  EXPECT_EQ(symbols.versionNodes, std::set<std::string>{"MARQEN_2.0"});
  for (const auto& [name, version] : symbols.versionOf)
    EXPECT_EQ(version, "@@MARQEN_2.0") << name;
}

}  // namespace
