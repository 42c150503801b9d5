#include "library/cert/cert_viewer.h"

#include <stdlib.h>  // mkstemps
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "library/core/library_error.h"
#include "library/core/log_file.h"
#include "platform/os/file_access.h"
#include "platform/os/program.h"

namespace marqen {
namespace {

constexpr const char* kDefaultViewer = "gcr-viewer";
// The shell's statuses for a program it found but could not run, and one it could not find;
// the dynamic loader also ends with 127 when a library the program needs is missing.
constexpr int kCannotExecute = 126;
constexpr int kNotFound = 127;

[[noreturn]] void viewerUnavailable() {
  writeLog("viewCertificate: Error loading library");
  raiseError(err::VIEWER_LIBRARY);
}

bool hasGraphicalSession() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

std::string viewerProgram() {
  const char* chosen = std::getenv("MARQEN_CERT_VIEWER");
  return chosen && *chosen ? chosen : kDefaultViewer;
}

// A private temporary file (mode 0600) that is removed when this goes out of scope.
class TemporaryCertificateFile {
 public:
  explicit TemporaryCertificateFile(const crypto::Bytes& der) {
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
    if (ec) return;
    std::string name = (folder / "marqen-certificate-XXXXXX.crt").string();
    os::UniqueFd fd(::mkstemps(name.data(), 4));
    if (!fd) return;
    path_ = name;
    written_ = os::writeFully(fd.get(), der.data(), der.size()) == der.size() && fd.close();
  }
  ~TemporaryCertificateFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TemporaryCertificateFile(const TemporaryCertificateFile&) = delete;
  TemporaryCertificateFile& operator=(const TemporaryCertificateFile&) = delete;

  bool written() const noexcept { return written_; }
  const std::string& path() const noexcept { return path_; }

 private:
  std::string path_;
  bool written_ = false;
};

}  // namespace

void showCertificate(const crypto::Certificate& certificate) {
  if (!hasGraphicalSession()) viewerUnavailable();
  const TemporaryCertificateFile file(certificate.der());
  if (!file.written()) viewerUnavailable();
  const auto end = os::runProgram(viewerProgram(), {file.path()});
  if (!end || (end->exited && (end->status == kCannotExecute || end->status == kNotFound)))
    viewerUnavailable();
}

}  // namespace marqen
