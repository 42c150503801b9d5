#pragma once
// A certificate store root in a temporary folder, in force through MARQEN_CERTSTORE for the
// lifetime of the object.

#include <cstdlib>
#include <optional>
#include <string>

#include "tests/support/pki_builder.h"
#include "tests/support/temp_dir.h"

namespace marqen::test {

class TempCertStore {
 public:
  TempCertStore() {
    if (const char* previous = std::getenv("MARQEN_CERTSTORE")) previous_ = previous;
    ::setenv("MARQEN_CERTSTORE", dir_.path().c_str(), 1);
  }
  ~TempCertStore() {
    if (previous_)
      ::setenv("MARQEN_CERTSTORE", previous_->c_str(), 1);
    else
      ::unsetenv("MARQEN_CERTSTORE");
  }
  TempCertStore(const TempCertStore&) = delete;
  TempCertStore& operator=(const TempCertStore&) = delete;

  const std::filesystem::path& root() const { return dir_.path(); }
  std::filesystem::path add(const std::string& store, const std::string& fileName,
                            const Issued& issued, bool withKey = false) const {
    return addToStore(dir_.path(), store, fileName, issued, withKey);
  }

 private:
  TempDir dir_;
  std::optional<std::string> previous_;
};

}  // namespace marqen::test
