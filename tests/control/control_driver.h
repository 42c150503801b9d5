#pragma once
// Drives the control the way the dispatch layer does: by the DISPID its table gives a name, with
// arguments already converted to the declared kinds. Also the signer the tests sign with and
// the independent checks of what the control produced.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "control/script/marqen_ctrl.h"
#include "platform/com/script_method.h"
#include "tests/support/pki_builder.h"
#include "tests/support/temp_cert_store.h"
#include "tests/support/temp_dir.h"

namespace marqen::test {

using com::ScriptArg;
using com::ScriptResult;

// Argument makers: a string, a null string, a long (booleans too), a date.
ScriptArg str(std::u16string_view text);
ScriptArg str(std::string_view utf8);
ScriptArg nullStr();
ScriptArg num(std::int32_t value);
ScriptArg date(double value);

class ControlDriver {
 public:
  ControlDriver() = default;
  explicit ControlDriver(std::string libraryFileName) : control_(std::move(libraryFileName)) {}

  // Calls the method of that name (any case) through invoke with its table DISPID.
  ScriptResult call(std::u16string_view name, const std::vector<ScriptArg>& args = {});
  bool boolean(std::u16string_view name, const std::vector<ScriptArg>& args = {});
  std::u16string string(std::u16string_view name, const std::vector<ScriptArg>& args = {});
  std::int32_t number(std::u16string_view name, const std::vector<ScriptArg>& args = {});
  // The status text, as UTF-8.
  std::string status();

  control::CMarqenCtrl& control() { return control_; }

 private:
  control::CMarqenCtrl control_;
};

// TZ set for the life of the object, and the previous setting restored after.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone);
  ~ScopedTimeZone();
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> previous_;
};

// UTF-16 result text as UTF-8; binary strings as their bytes (each unit must be U+0000..U+00FF).
std::string utf8(const std::u16string& text);
Bytes bytesOf(const std::u16string& binary);
Bytes base64Decode(const std::string& text);

// A signer in the personal store and the same signer in a PFX file, made once per process.
struct TestSigner {
  TempCertStore store;
  TempDir dir;
  Issued root = makeRootCa("Control Root");
  Issued holder = makeEndEntity("Control Signer", root);
  std::string issuer = "CN=Control Root, O=Marqen Test";
  std::string serial;
  std::string pfxPath;
  std::string password = "pfx-secret";
  std::string rootPem;

  static TestSigner& get();

 private:
  TestSigner();
};

// What openssl cms -verify makes of a DER message (checked against the test root).
struct Verification {
  bool verified = false;
  std::string content;  // the signed content it wrote out
  std::string log;
};
Verification opensslVerify(const Bytes& der,
                           const std::optional<std::string>& detachedContent = std::nullopt);

// The signed attributes of the first signer: OID (dotted) to the attribute's first value DER.
struct SignerAttributes {
  std::vector<std::string> oids;  // in the message's order
  std::optional<std::int64_t> signingTime;
  std::optional<std::string> octetString(const std::string& oid) const;
  std::vector<std::pair<std::string, std::string>> octetStrings;
};
SignerAttributes signedAttributes(const Bytes& der);
int signerCount(const Bytes& der);

}  // namespace marqen::test
