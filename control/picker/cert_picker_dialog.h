#pragma once
// "Select a Certificate": lists the personal store's signing certificates, lets the user view
// one, and hands back the chosen row's texts. Runs modally on the caller's thread.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "control/picker/picker_library.h"
#include "control/picker/picker_state.h"
#include "platform/ui/ui_module.h"

namespace marqen::picker {

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// What the dialog does when a user acts, apart from the drawing; the dialog and its tests share
// it. Opening an address is handed in so the logo's link can be followed without a desktop.
class PickerController {
 public:
  PickerController(const PickerLibrary& library, std::int32_t logoMode,
                   std::function<void(const std::string&)> openAddress);

  PickerState& state() { return state_; }
  // Bits of what may be pressed after the selection became `row` (-1: none).
  std::int32_t selectionChanged(std::int32_t row);
  void viewRequested(std::int32_t row);
  void logoClicked();

 private:
  const PickerLibrary& library_;
  std::int32_t logoMode_;
  std::function<void(const std::string&)> openAddress_;
  PickerState state_;
};

class CertPickerDialog {
 public:
  explicit CertPickerDialog(std::string libraryFile = kLibraryFile)
      : library_(std::move(libraryFile)) {}

  std::int32_t logoMode = LOGO_LINK;

  // IDOK when the user chose a row and pressed OK; IDCANCEL for Cancel, a closed window, or no
  // dialog at all (no display).
  int doModal();

  const std::string& issuedTo() const { return result_.issuedTo; }
  const std::string& issuerDetails() const { return result_.issuerDetails; }
  const std::string& serialNumber() const { return result_.serialNumber; }
  const std::string& expirationDate() const { return result_.expirationDate; }

 private:
  PickerLibrary library_;
  Selection result_;
};

}  // namespace marqen::picker
