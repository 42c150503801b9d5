#include "tests/support/softhsm_token.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "tests/support/process.h"

namespace marqen::test {
namespace fs = std::filesystem;

namespace {

void mustRun(const std::string& program, const std::vector<std::string>& args,
             const std::map<std::string, std::string>& environment) {
  const ProcessResult result = runProcess(program, args, environment);
  if (result.exitCode != 0)
    throw std::runtime_error(program + " failed: " + result.err + result.out);
}

std::string percentEncoded(const std::string& text) {
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.') {
      out += static_cast<char>(c);
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      out += escaped;
    }
  }
  return out;
}

}  // namespace

bool SoftHsmToken::available() {
  return fs::exists(kSoftHsmModule) && fs::exists("/usr/bin/softhsm2-util") &&
         fs::exists("/usr/bin/pkcs11-tool");
}

SoftHsmToken::SoftHsmToken(const std::string& label, const std::string& pin)
    : label_(label), pin_(pin) {
  fs::create_directory(dir_.path() / "tokens");
  writeFile(dir_.file("softhsm2.conf"),
            "directories.tokendir = " + (dir_.path() / "tokens").string() +
                "\nobjectstore.backend = file\nlog.level = ERROR\n");
  if (const char* before = std::getenv("SOFTHSM2_CONF")) previous_ = before;
  ::setenv("SOFTHSM2_CONF", dir_.file("softhsm2.conf").c_str(), 1);
  mustRun("/usr/bin/softhsm2-util",
          {"--init-token", "--free", "--label", label_, "--pin", pin_, "--so-pin", "7531"},
          environment());
}

SoftHsmToken::~SoftHsmToken() {
  if (previous_)
    ::setenv("SOFTHSM2_CONF", previous_->c_str(), 1);
  else
    ::unsetenv("SOFTHSM2_CONF");
}

void SoftHsmToken::put(const Issued& issued, const std::string& id, bool withKey) const {
  const std::string certificate = dir_.file("put-" + id + ".der");
  writeBytes(certificate, issued.der());
  if (withKey) {
    const std::string key = dir_.file("put-" + id + ".key");
    writeFile(key, issued.keyPem());
    mustRun("/usr/bin/softhsm2-util",
            {"--import", key, "--token", label_, "--label", "key-" + id, "--id", id, "--pin", pin_},
            environment());
    fs::remove(key);
  }
  mustRun("/usr/bin/pkcs11-tool",
          {"--module", kSoftHsmModule, "--token-label", label_, "--login", "--pin", pin_,
           "--write-object", certificate, "--type", "cert", "--id", id, "--label", "cert-" + id},
          environment());
}

void SoftHsmToken::remove() const {
  fs::remove_all(dir_.path() / "tokens");
}

std::string SoftHsmToken::uri(const std::string& query) const {
  std::string text = "pkcs11:token=" + percentEncoded(label_) + "?module-path=" + kSoftHsmModule;
  if (!query.empty()) text += "&" + query;
  return text;
}

std::string SoftHsmToken::keyUri(const std::string& id, const std::string& query) const {
  std::string encodedId;
  for (std::size_t i = 0; i + 1 < id.size(); i += 2) {
    encodedId += '%';
    encodedId.append(id, i, 2);
  }
  std::string text = "pkcs11:token=" + percentEncoded(label_) + ";id=" + encodedId +
                     ";type=private?module-path=" + kSoftHsmModule;
  if (!query.empty()) text += "&" + query;
  return text;
}

std::map<std::string, std::string> SoftHsmToken::environment() const {
  return {{"SOFTHSM2_CONF", dir_.file("softhsm2.conf")}};
}

std::string writePinFile(const TempDir& dir, const std::string& name, const std::string& pin) {
  const std::string path = dir.file(name);
  writeFile(path, pin + "\n");
  return path;
}

}  // namespace marqen::test
