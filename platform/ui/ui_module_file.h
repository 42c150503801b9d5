#pragma once
// The one module that draws every dialog, installed beside the programs' libraries.

namespace marqen::ui {

inline constexpr const char* kUiModuleFile = "libmarqen_ui.so";

}  // namespace marqen::ui
