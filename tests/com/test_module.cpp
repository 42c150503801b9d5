// An in-process server around the test object, registered and activated like the control.

#include <array>

#include "platform/com/class_registration.h"
#include "platform/com/dispatch_object.h"
#include "platform/com/registry.h"
#include "platform/com/server.h"
#include "tests/com/test_object.h"

namespace {

using marqen::com::GUID;
using marqen::com::HRESULT;

marqen::com::ModuleLifetime& lifetime() {
  static marqen::com::ModuleLifetime objectsAndLocks;
  return objectsAndLocks;
}

HRESULT create(const GUID* iid, void** object) {
  return marqen::com::createDispatchObject(marqen::test::createTestObject(),
                                           marqen::test::DIID_TestObject, &lifetime(), iid, object);
}

const marqen::com::ClassEntry kEntry{marqen::test::CLSID_TestObject, marqen::test::kTestProgId,
                                     "Marqen COM test object"};

}  // namespace

#define TEST_EXPORT extern "C" __attribute__((visibility("default")))

TEST_EXPORT HRESULT DllRegisterServer() {
  try {
    const std::string path = marqen::com::modulePathOf(reinterpret_cast<const void*>(&create));
    marqen::com::Registry(marqen::com::Registry::defaultPath())
        .update([&path](marqen::com::RegistryKeys& keys) {
          marqen::com::writeClassKeys(keys, kEntry, path);
        });
    return marqen::com::S_OK;
  } catch (...) {
    return marqen::com::SELFREG_E_CLASS;
  }
}

TEST_EXPORT HRESULT DllUnregisterServer() {
  try {
    marqen::com::Registry(marqen::com::Registry::defaultPath())
        .update(
            [](marqen::com::RegistryKeys& keys) { marqen::com::deleteClassKeys(keys, kEntry); });
    return marqen::com::S_OK;
  } catch (...) {
    return marqen::com::SELFREG_E_CLASS;
  }
}

TEST_EXPORT HRESULT DllGetClassObject(const GUID* clsid, const GUID* iid, void** object) {
  static marqen::com::ClassFactory factory(marqen::test::CLSID_TestObject, lifetime(), create);
  static const std::array<marqen::com::ClassFactory*, 1> factories = {&factory};
  return marqen::com::getClassObject(factories, clsid, iid, object);
}

TEST_EXPORT HRESULT DllCanUnloadNow() {
  return lifetime().canUnloadNow();
}
