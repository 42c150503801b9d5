#pragma once
// A SoftHSM2 token in a folder of its own, in force for this process and its children through
// SOFTHSM2_CONF while the object lives. Keys and certificates go on it with SoftHSM's and
// OpenSC's own tools, as a user would put them there.

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "tests/support/pki_builder.h"
#include "tests/support/temp_dir.h"

namespace marqen::test {

inline constexpr const char* kSoftHsmModule = "/usr/lib/softhsm/libsofthsm2.so";

class SoftHsmToken {
 public:
  // An initialised token with the given label and user PIN.
  SoftHsmToken(const std::string& label, const std::string& pin);
  ~SoftHsmToken();
  SoftHsmToken(const SoftHsmToken&) = delete;
  SoftHsmToken& operator=(const SoftHsmToken&) = delete;

  // False when SoftHSM2 or its tools are not installed (the test is then skipped).
  static bool available();

  // The certificate and, with `withKey`, its private key, both under the given id.
  void put(const Issued& issued, const std::string& id, bool withKey = true) const;
  // The token's folder goes, as when a token is pulled out.
  void remove() const;

  // pkcs11:token=LABEL?module-path=SOFTHSM plus the given query parts ("&" joined).
  std::string uri(const std::string& query = {}) const;
  // The private key put under `id` (hex, e.g. "0a"): pkcs11:token=LABEL;id=%0a;type=private
  // ?module-path=SOFTHSM plus the given query parts.
  std::string keyUri(const std::string& id, const std::string& query = {}) const;
  // SOFTHSM2_CONF for a child process.
  std::map<std::string, std::string> environment() const;
  const std::filesystem::path& folder() const { return dir_.path(); }

 private:
  TempDir dir_;
  std::string label_;
  std::string pin_;
  std::optional<std::string> previous_;
};

// "file.txt" → a file in `dir` holding the text and a line end.
std::string writePinFile(const TempDir& dir, const std::string& name, const std::string& pin);

}  // namespace marqen::test
