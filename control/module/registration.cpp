#include "control/module/registration.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>
#include <memory>

#include "control/module/control_ids.h"
#include "platform/com/class_registration.h"
#include "platform/com/guid.h"
#include "platform/os/text.h"

namespace marqen::control {
namespace {

using com::HRESULT;

constexpr com::ClassEntry kControlClass{CLSID_MarqenCtrl, kControlProgId, kControlTypeName};
// The page is found by CLSID alone: it has no ProgID key of its own.
constexpr com::ClassEntry kPropPageClass{CLSID_MarqenPropPage, {}, kPropPageTypeName};

struct Category {
  const com::GUID& catid;
  std::u16string_view description;
};
const std::array kCategories = {
    Category{com::CATID_SafeForScripting, u"Controls that are safely scriptable"},
    Category{com::CATID_SafeForInitializing, u"Controls safely initializable from persistent data"},
};

std::string root(std::string_view rest) {
  return std::string(com::kClassesRoot) + std::string(rest);
}

std::string typeLibKey() {
  return root("TypeLib\\") + com::guidToString(LIBID_MARQENILib);
}

std::string interfaceKey(const com::GUID& iid) {
  return root("Interface\\") + com::guidToString(iid);
}

bool update(const com::Registry& registry, const std::function<void(com::RegistryKeys&)>& change) {
  try {
    registry.update(change);
    return true;
  } catch (const com::RegistryError&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void writeTypeLibrary(com::RegistryKeys& keys, const std::string& modulePath) {
  const std::string version = typeLibKey() + "\\" + std::string(kTypeLibVersion);
  keys.setValue(version, "", std::string(kTypeLibName));
  keys.setValue(version + "\\0\\linux64", "", modulePath);
  keys.setValue(version + "\\FLAGS", "", std::string("2"));  // a library of controls
  keys.setValue(version + "\\HELPDIR", "",
                std::filesystem::path(modulePath).parent_path().string());
  // The dispatch interfaces it describes, marshalled by the standard dispatch proxy.
  const std::array interfaces = {std::pair{&DIID__DMarqenI, "_DMarqenI"},
                                 std::pair{&DIID__DMarqenIEvents, "_DMarqenIEvents"}};
  for (const auto& [iid, name] : interfaces) {
    const std::string key = interfaceKey(*iid);
    keys.setValue(key, "", std::string(name));
    keys.setValue(key + "\\ProxyStubClsid32", "", com::guidToString(com::CLSID_PSDispatch));
    keys.setValue(key + "\\TypeLib", "", com::guidToString(LIBID_MARQENILib));
    keys.setValue(key + "\\TypeLib", "Version", std::string(kTypeLibVersion));
  }
}

void deleteTypeLibrary(com::RegistryKeys& keys) {
  keys.deleteTree(typeLibKey() + "\\" + std::string(kTypeLibVersion));
  keys.deleteTree(interfaceKey(DIID__DMarqenI));
  keys.deleteTree(interfaceKey(DIID__DMarqenIEvents));
}

void writeControlClass(com::RegistryKeys& keys, const std::string& modulePath) {
  com::writeClassKeys(keys, kControlClass, modulePath);
  const std::string key = com::classKey(CLSID_MarqenCtrl);
  keys.setValue(key + "\\MiscStatus", "", std::string("0"));
  keys.setValue(key + "\\MiscStatus\\1", "", std::string(kControlMiscStatus));
  keys.setValue(key + "\\ToolboxBitmap32", "", modulePath + ", 1");
  keys.setValue(key + "\\TypeLib", "", com::guidToString(LIBID_MARQENILib));
  keys.setValue(key + "\\Version", "", std::string(kControlVersion));
}

// Creates the category, then (only if that worked) lists it among the control's; each step
// with a manager of its own, as the categories manager is meant to be used.
void registerCategory(const com::Registry& registry, const com::CreateCategoriesManager& create,
                      const Category& category) {
  std::unique_ptr<com::ComponentCategoriesManager> manager;
  HRESULT hr = create(registry, manager);
  if (hr == com::S_OK && manager) {
    com::CATEGORYINFO info{};
    info.catid = category.catid;
    info.lcid = com::kLcidEnglishUs;
    const auto length = std::min(category.description.size(), info.szDescription.size() - 1);
    std::copy_n(category.description.begin(), length, info.szDescription.begin());
    hr = manager->RegisterCategories({&info, 1});
  } else if (hr == com::S_OK) {
    hr = com::E_FAIL;
  }
  manager.reset();
  if (hr != com::S_OK) return;
  if (create(registry, manager) != com::S_OK || !manager) return;
  manager->RegisterClassImplCategories(CLSID_MarqenCtrl, {&category.catid, 1});
}

}  // namespace

HRESULT registerServer(const com::Registry& registry, const std::string& modulePath,
                       const com::CreateCategoriesManager& createManager) {
  if (!update(registry, [&](com::RegistryKeys& keys) { writeTypeLibrary(keys, modulePath); }))
    return com::SELFREG_E_TYPELIB;
  if (!update(registry, [&](com::RegistryKeys& keys) { writeControlClass(keys, modulePath); }))
    return com::SELFREG_E_CLASS;
  // Category failures are silent: the class is registered, and IObjectSafety still answers.
  for (const auto& category : kCategories)
    registerCategory(registry, createManager, category);
  if (!update(registry, [&](com::RegistryKeys& keys) {
        com::writeClassKeys(keys, kPropPageClass, modulePath);
      }))
    return com::SELFREG_E_CLASS;
  return com::S_OK;
}

HRESULT unregisterServer(const com::Registry& registry) {
  if (!update(registry, deleteTypeLibrary)) return com::SELFREG_E_TYPELIB;
  if (!update(registry, [](com::RegistryKeys& keys) {
        com::deleteClassKeys(keys, kControlClass);
        com::deleteClassKeys(keys, kPropPageClass);
      }))
    return com::SELFREG_E_CLASS;
  return com::S_OK;
}

}  // namespace marqen::control
