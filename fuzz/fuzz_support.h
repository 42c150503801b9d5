#pragma once
// What the fuzz targets share: the fixtures the seed generator made (a certificate store and a
// few certificates), and the checks that turn a broken promise of an export into a finding.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "Marqen_InterfaceV2.h"

namespace marqen::fuzz {

using Bytes = std::vector<unsigned char>;

// Common name of the root CA in the fixture store, set as the one trusted CA name.
inline constexpr std::u16string_view kTrustedRootName = u"Fuzz Root";
// Content of the detached seed messages; the signed-message target verifies against it.
inline constexpr std::string_view kDetachedContent = "Fuzzed content, signed apart.\n";
// Password of the seed PFX files and of every import the PFX target tries.
inline constexpr std::u16string_view kPfxPassword = u"fuzz pass";

// The folder the seed generator fills (fixtures/ and corpus/<target>/ below it).
std::filesystem::path fuzzFolder();
std::filesystem::path fixtureFolder();

// Points the library at the fixture store, never at the user's own, and sets the trusted CA
// name when asked. Stops the run with a hint when the seed generator has not run.
void useFixtureStore(bool trustRoot);
Bytes readFixture(std::string_view name);

// A finding: prints what broke and traps, so libFuzzer keeps the input.
[[noreturn]] void fail(const char* what, long long value);
inline void require(bool condition, const char* what) {
  if (!condition) fail(what, 0);
}
// The export answered with a code outside the set its documentation gives.
inline void requireCode(ErrorCode code, std::initializer_list<ErrorCode> allowed,
                        const char* what) {
  for (const ErrorCode a : allowed)
    if (a == code) return;
  fail(what, code);
}

// A caller's details record, released the way a caller releases it.
struct DetailsRecord {
  CertificateDetails record{};
  CertificateDetails* pointer = &record;
  DetailsRecord() = default;
  DetailsRecord(const DetailsRecord&) = delete;
  DetailsRecord& operator=(const DetailsRecord&) = delete;
  ~DetailsRecord();
  bool untouched() const;
  bool filled() const;
};

}  // namespace marqen::fuzz
