// PFX files opened with getCertificateDetailsFromFile and the seeds' password. Only the codes
// the export documents for a readable, non-empty file come back; the record is filled on
// success and left alone otherwise.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/os/text.h"

namespace {

std::string pfxPath;
std::u16string pfxPathWide;

void removePfx() {
  std::remove(pfxPath.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  marqen::fuzz::useFixtureStore(true);
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/marqen-fuzz-XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  marqen::fuzz::require(fd >= 0, "cannot make the PFX file");
  ::close(fd);
  pfxPath = pattern;
  pfxPathWide = marqen::os::toUtf16(pfxPath);
  std::atexit(removePfx);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 1U << 20) return 0;
  std::FILE* file = std::fopen(pfxPath.c_str(), "wb");
  marqen::fuzz::require(file && std::fwrite(data, 1, size, file) == size && std::fclose(file) == 0,
                        "cannot write the PFX file");

  const std::u16string password(marqen::fuzz::kPfxPassword);
  marqen::fuzz::DetailsRecord details;
  const ErrorCode code = getCertificateDetailsFromFile(pfxPathWide.c_str(), password.c_str(),
                                                       SIGNING_CERTIFICATE, &details.pointer);
  marqen::fuzz::requireCode(code, {0, 301, 302, 304, 306, 307, 308, 1431, 1442},
                            "getCertificateDetailsFromFile code");
  marqen::fuzz::require(code == 0 ? details.filled() : details.untouched(),
                        "details record after the import");
  return 0;
}
