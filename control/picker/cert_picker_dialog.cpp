#include "control/picker/cert_picker_dialog.h"

#include <vector>

#include "platform/ui/dialogs.h"

namespace marqen::picker {

PickerController::PickerController(const PickerLibrary& library, std::int32_t logoMode,
                                   std::function<void(const std::string&)> openAddress)
    : library_(library),
      logoMode_(logoMode),
      openAddress_(std::move(openAddress)),
      state_(library.listSigningCertificates()) {}

std::int32_t PickerController::selectionChanged(std::int32_t row) {
  state_.select(row < 0 ? std::nullopt : std::optional<std::size_t>(row));
  return (state_.okEnabled() ? kMarqenPickerOkEnabled : 0) |
         (state_.viewEnabled() ? kMarqenPickerViewEnabled : 0);
}

void PickerController::viewRequested(std::int32_t row) {
  if (row < 0 || static_cast<std::size_t>(row) >= state_.rows().size()) return;
  const Row& shown = state_.rows()[static_cast<std::size_t>(row)];
  // The outcome is not the user's concern here: the dialog stays as it was.
  static_cast<void>(library_.viewCertificate(shown.cells[IssuerDetails], shown.cells[SerialNo]));
}

void PickerController::logoClicked() {
  if (logoIsLink(logoMode_)) openAddress_(kAuthorityAddress);
}

namespace {

std::int32_t onSelection(void* context, std::int32_t row) {
  return static_cast<PickerController*>(context)->selectionChanged(row);
}
void onView(void* context, std::int32_t row) {
  static_cast<PickerController*>(context)->viewRequested(row);
}
void onLogo(void* context) {
  static_cast<PickerController*>(context)->logoClicked();
}

}  // namespace

int CertPickerDialog::doModal() {
  result_ = {};
  if (!ui::dialogsAvailable()) return IDCANCEL;
  PickerController controller(library_, logoMode,
                              [](const std::string& address) { ui::openAddress(address); });
  const auto& rows = controller.state().rows();
  std::vector<const char*> cells;
  cells.reserve(rows.size() * kColumnCount);
  for (const Row& row : rows)
    for (const auto& cell : row.cells)
      cells.push_back(cell.c_str());

  const MarqenPickerView view{kTitle,
                              kColumnTitles,
                              static_cast<std::int32_t>(kColumnCount),
                              cells.data(),
                              static_cast<std::int32_t>(rows.size()),
                              kNotice,
                              logoVisible(logoMode) ? 1 : 0,
                              logoIsLink(logoMode) ? 1 : 0,
                              &controller,
                              onSelection,
                              onView,
                              onLogo};
  std::int32_t chosen = -1;
  if (ui::runPicker(view, chosen) != ui::DialogResult::Ok) return IDCANCEL;
  // OK is pressed only with a row selected; the row the dialog reports is the one it showed.
  controller.selectionChanged(chosen);
  const auto selection = controller.state().selection();
  if (!selection) return IDCANCEL;
  result_ = *selection;
  return IDOK;
}

}  // namespace marqen::picker
