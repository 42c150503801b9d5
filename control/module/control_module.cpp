// libMarqenI.so: the control's in-process server. It exports exactly DllRegisterServer,
// DllUnregisterServer, DllGetClassObject and DllCanUnloadNow.

#include <array>
#include <new>

#include "control/module/control_ids.h"
#include "control/module/property_page.h"
#include "control/module/registration.h"
#include "control/script/create_control.h"
#include "platform/com/class_registration.h"
#include "platform/com/dispatch_object.h"
#include "platform/com/server.h"

namespace marqen::control {
namespace {

using com::GUID;
using com::HRESULT;

com::ModuleLifetime& lifetime() {
  static com::ModuleLifetime objectsAndLocks;
  return objectsAndLocks;
}

HRESULT createControl(const GUID* iid, void** object) {
  return com::createDispatchObject(createMarqenControl(), DIID__DMarqenI, &lifetime(), iid, object);
}

HRESULT createPage(const GUID* iid, void** object) {
  return com::createDispatchObject(createPropertyPage(), DIID__DMarqenPropPage, &lifetime(), iid,
                                   object);
}

std::array<com::ClassFactory*, 2>& factories() {
  static com::ClassFactory control(CLSID_MarqenCtrl, lifetime(), createControl);
  static com::ClassFactory page(CLSID_MarqenPropPage, lifetime(), createPage);
  static std::array<com::ClassFactory*, 2> all = {&control, &page};
  return all;
}

std::string ownPath() {
  return com::modulePathOf(reinterpret_cast<const void*>(&ownPath));
}

}  // namespace
}  // namespace marqen::control

using marqen::com::GUID;
using marqen::com::HRESULT;

#define MARQEN_CONTROL_EXPORT extern "C" __attribute__((visibility("default")))

MARQEN_CONTROL_EXPORT HRESULT DllRegisterServer() {
  try {
    const marqen::com::Registry registry(marqen::com::Registry::defaultPath());
    const std::string path = marqen::control::ownPath();
    if (path.empty()) return marqen::com::SELFREG_E_TYPELIB;
    return marqen::control::registerServer(registry, path,
                                           marqen::com::createStdComponentCategoriesMgr);
  } catch (...) {
    return marqen::com::SELFREG_E_TYPELIB;
  }
}

MARQEN_CONTROL_EXPORT HRESULT DllUnregisterServer() {
  try {
    const marqen::com::Registry registry(marqen::com::Registry::defaultPath());
    return marqen::control::unregisterServer(registry);
  } catch (...) {
    return marqen::com::SELFREG_E_TYPELIB;
  }
}

MARQEN_CONTROL_EXPORT HRESULT DllGetClassObject(const GUID* clsid, const GUID* iid, void** object) {
  return marqen::com::getClassObject(marqen::control::factories(), clsid, iid, object);
}

MARQEN_CONTROL_EXPORT HRESULT DllCanUnloadNow() {
  return marqen::control::lifetime().canUnloadNow();
}
