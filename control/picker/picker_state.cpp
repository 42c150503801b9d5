#include "control/picker/picker_state.h"

namespace marqen::picker {

void PickerState::select(std::optional<std::size_t> row) {
  selected_ = row && *row < rows_.size() ? row : std::nullopt;
}

std::optional<Selection> PickerState::selection() const {
  if (!selected_) return std::nullopt;
  const Row& row = rows_[*selected_];
  return Selection{row.cells[IssuedTo], row.cells[IssuerDetails], row.cells[SerialNo],
                   row.cells[ExpirationDate]};
}

bool logoVisible(std::int32_t logoMode) {
  return logoMode != LOGO_HIDDEN;
}
bool logoIsLink(std::int32_t logoMode) {
  return logoMode == LOGO_LINK;
}

}  // namespace marqen::picker
