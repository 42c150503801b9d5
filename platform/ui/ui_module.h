#pragma once
// The boundary between the programs that show dialogs and the module that draws them. Only the
// module links GTK, and it is loaded on the first dialog, so a process that never shows one
// (or has no display) never loads GTK. The boundary is plain C: records and callbacks.

#include <cstdint>

#include "platform/ui/ui_module_file.h"

extern "C" {

typedef struct _cairo cairo_t;

// The certificate picker as the module draws it. The texts stay valid while the dialog runs.
struct MarqenPickerView {
  const char* title;
  const char* const* columnTitles;  // columnCount texts
  std::int32_t columnCount;
  const char* const* cells;  // rowCount * columnCount texts, row by row
  std::int32_t rowCount;
  const char* notice;
  std::int32_t logoVisible;
  std::int32_t logoIsLink;  // hand cursor over the logo
  void* context;
  // The selection changed (-1: none). Answers whether OK (bit 1) and "View Certificate"
  // (bit 2) may be pressed.
  std::int32_t (*selectionChanged)(void* context, std::int32_t row);
  void (*viewRequested)(void* context, std::int32_t row);  // returns when the viewer closes
  void (*logoClicked)(void* context);
};

inline constexpr std::int32_t kMarqenPickerOkEnabled = 1;
inline constexpr std::int32_t kMarqenPickerViewEnabled = 2;

// Results of the modal runs: 1 OK, 2 Cancel (or the window closed), -1 no dialog was shown.
struct MarqenUiTable {
  std::int32_t (*runPicker)(const MarqenPickerView* view, std::int32_t* chosenRow);
  std::int32_t (*messageBox)(const char* text, const char* caption);
  std::int32_t (*aboutBox)();
  std::int32_t (*propertyPage)();
  void (*drawControl)(cairo_t* cr, double x, double y, double width, double height);
  std::int32_t (*openAddress)(const char* address);  // 0 when the opener was started
};

typedef const MarqenUiTable* MarqenUiEntry();
}

namespace marqen::ui {

// The entry point's name carries the boundary's version.
inline constexpr const char* kUiEntryPoint = "marqen_ui_v1";

}  // namespace marqen::ui
