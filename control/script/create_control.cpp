#include "control/script/create_control.h"

#include "control/script/marqen_ctrl.h"

std::unique_ptr<marqen::com::ScriptObject> createMarqenControl() {
  return std::make_unique<marqen::control::CMarqenCtrl>();
}
