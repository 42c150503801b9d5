#pragma once
// The picker's behaviour apart from its drawing: which row is chosen, which buttons a user may
// press, and the four texts that OK hands back.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "control/picker/picker_rows.h"

namespace marqen::picker {

// What the logo does: a link to the authority's page, a plain picture, or nothing at all.
enum LogoMode : std::int32_t { LOGO_LINK = 901, LOGO_PLAIN = 902, LOGO_HIDDEN = 903 };

inline constexpr const char* kTitle = "Select a Certificate";
inline constexpr const char* kNotice = "Only certificates that may sign today are listed.";
inline constexpr const char* kAuthorityAddress = "https://www.marqen.example/";

struct Selection {
  std::string issuedTo;
  std::string issuerDetails;
  std::string serialNumber;
  std::string expirationDate;
};

class PickerState {
 public:
  explicit PickerState(std::vector<Row> rows) : rows_(std::move(rows)) {}

  const std::vector<Row>& rows() const { return rows_; }

  // A row index out of range counts as no selection: the dialog opens with none, and losing it
  // takes OK away again, so OK never hands back four empty texts.
  void select(std::optional<std::size_t> row);
  std::optional<std::size_t> selected() const { return selected_; }

  bool okEnabled() const { return selected_.has_value(); }
  bool viewEnabled() const { return selected_.has_value(); }

  // The chosen row's texts, or nothing while no row is selected.
  std::optional<Selection> selection() const;

 private:
  std::vector<Row> rows_;
  std::optional<std::size_t> selected_;
};

bool logoVisible(std::int32_t logoMode);
bool logoIsLink(std::int32_t logoMode);

}  // namespace marqen::picker
