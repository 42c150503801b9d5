#pragma once
// The boundary between the origin approval prompt and its drawing module, which links GTK.

#include <cstdint>

extern "C" {

enum MarqenOriginDialogResult : std::int32_t {
  MARQEN_ORIGIN_DIALOG_ALWAYS = 2,
  MARQEN_ORIGIN_DIALOG_ONCE = 1,
  MARQEN_ORIGIN_DIALOG_DENY = 0,     // also closed, or not answered in time
  MARQEN_ORIGIN_DIALOG_FAILED = -1,  // no display could be opened
};

typedef std::int32_t MarqenOriginDialogFunction(const char* title, const char* message,
                                                std::uint32_t seconds);
}

namespace marqen::ui {

inline constexpr const char* kOriginDialogEntryPoint = "marqen_origin_dialog_v1";

}  // namespace marqen::ui
