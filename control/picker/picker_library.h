#pragma once
// The picker's own hold on the signature library: loaded by file name for one list fill or one
// viewing and released at its end, so nothing of the library stays loaded while a user looks at
// the list. A library that does not load, or lacks an export, fills nothing and shows nothing.

#include <optional>
#include <string>
#include <vector>

#include "control/picker/picker_rows.h"
#include "platform/os/shared_library.h"

namespace marqen::picker {

inline constexpr const char* kLibraryFile = "Marqen_InterfaceV2.dll";

class PickerLibrary {
 public:
  explicit PickerLibrary(std::string fileName = kLibraryFile) : fileName_(std::move(fileName)) {}

  // The personal store's signing certificates as rows; the library's code is not examined, its
  // count alone decides.
  std::vector<Row> listSigningCertificates() const;

  // Shows the personal store's certificate of that issuer and serial in the system viewer and
  // returns when it is closed. False when it was not shown for any reason.
  bool viewCertificate(const std::string& issuerDetails, const std::string& serialNumber) const;

 private:
  std::string fileName_;
};

}  // namespace marqen::picker
