#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace marqen::fuzz {

std::filesystem::path fuzzFolder() {
  return MARQEN_FUZZ_FOLDER;
}

std::filesystem::path fixtureFolder() {
  return fuzzFolder() / "fixtures";
}

void useFixtureStore(bool trustRoot) {
  const auto store = fixtureFolder() / "store";
  if (!std::filesystem::is_directory(store)) {
    std::fprintf(stderr, "no fixtures in %s: build the fuzz_seeds target first\n",
                 fixtureFolder().c_str());
    std::abort();
  }
  ::setenv("MARQEN_CERTSTORE", store.c_str(), 1);
  if (trustRoot) {
    const std::u16string name(kTrustedRootName);
    const char16_t* names[] = {name.c_str()};
    require(setTrustedCANames(names, 1) == 0, "setTrustedCANames");
  }
}

Bytes readFixture(std::string_view name) {
  std::ifstream in(fixtureFolder() / name, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "fixture %.*s missing: build the fuzz_seeds target first\n",
                 static_cast<int>(name.size()), name.data());
    std::abort();
  }
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void fail(const char* what, long long value) {
  std::fprintf(stderr, "finding: %s (%lld)\n", what, value);
  std::fflush(stderr);
  __builtin_trap();
}

DetailsRecord::~DetailsRecord() {
  std::free(record.issuerName);
  std::free(record.serialNumberHex);
  std::free(record.subjectName);
}

bool DetailsRecord::untouched() const {
  return !record.issuerName && !record.serialNumberHex && !record.subjectName &&
         record.expiryTime == 0;
}

bool DetailsRecord::filled() const {
  return record.issuerName && record.serialNumberHex && record.subjectName;
}

}  // namespace marqen::fuzz
