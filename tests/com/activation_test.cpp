// Hosts activating a registered in-process server through the registry file, checking it safe
// for scripting and unloading it only when it allows; and a host written in C that knows only
// the binary layout.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>

#include "platform/com/activation.h"
#include "platform/com/categories.h"
#include "platform/com/guid.h"
#include "tests/com/dispatch_host.h"
#include "tests/com/test_object.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace marqen::test {
namespace {

using namespace marqen::com;

const std::string kModule = std::filesystem::canonical(TEST_MODULE).string();

bool moduleIsLoaded() {
  void* handle = ::dlopen(kModule.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle) ::dlclose(handle);
  return handle != nullptr;
}

class ActivationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("MARQEN_REGISTRY", registry_.file().c_str(), 1);
    std::string problem;
    auto module = InprocModule::load(kModule, problem);
    ASSERT_TRUE(module) << problem;
    ASSERT_EQ(module->registerServer(), S_OK);
  }
  void TearDown() override { ::unsetenv("MARQEN_REGISTRY"); }

  ActivatedObject activate(std::string_view name) {
    ActivatedObject object;
    std::string problem;
    EXPECT_EQ(createInstance(registry_, name, object, problem), S_OK) << problem;
    return object;
  }

  TempDir dir_;
  Registry registry_{dir_.path() / "registry.json"};
};

TEST_F(ActivationTest, AServerRegistersItsAbsolutePathAndIsActivatedByProgIdOrClsid) {
  const RegistryKeys keys = registry_.read();
  const std::string clsid = guidToString(CLSID_TestObject);
  EXPECT_EQ(keys.text("HKEY_CLASSES_ROOT\\Marqen.ComTest.1\\CLSID"), clsid);
  EXPECT_EQ(keys.text(classKey(CLSID_TestObject) + "\\InprocServer32"), kModule);
  EXPECT_EQ(keys.text(classKey(CLSID_TestObject) + "\\InprocServer32", "ThreadingModel"),
            "Apartment");
  EXPECT_EQ(keys.text(classKey(CLSID_TestObject) + "\\ProgID"), "Marqen.ComTest.1");

  for (const std::string name : {"Marqen.ComTest.1", "MARQEN.comtest.1", clsid.c_str()}) {
    SCOPED_TRACE(name);
    const ActivatedObject object = activate(name);
    const auto dispatch = object.query<IDispatch>(IID_IDispatch);
    ASSERT_TRUE(dispatch);
    const CallResult r = DispatchHost(dispatch.get()).call(u"echo", {Arg::text(u"hello")});
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(bstrView(r.value->bstrVal), u"hello");
  }
}

TEST_F(ActivationTest, FailuresAreReportedWithTheRuntimesCodes) {
  const GUID other = {0x11111111, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  struct Case {
    const char* what;
    std::function<void(RegistryKeys&)> change;
    std::string name;
    HRESULT hr;
  };
  const std::vector<Case> cases = {
      {"unknown ProgID", {}, "No.Such.1", CO_E_CLASSSTRING},
      {"empty name", {}, "", CO_E_CLASSSTRING},
      {"ProgID naming no CLSID",
       [](RegistryKeys& k) {
         k.setValue("HKEY_CLASSES_ROOT\\Half.1\\CLSID", "", std::string("x"));
       },
       "Half.1", CO_E_CLASSSTRING},
      {"class without a module",
       [&other](RegistryKeys& k) { k.setValue(classKey(other), "", std::string("t")); },
       guidToString(other), REGDB_E_CLASSNOTREG},
      {"module file missing",
       [&other](RegistryKeys& k) {
         k.setValue(classKey(other) + "\\InprocServer32", "", std::string("/nonexistent/m.so"));
       },
       guidToString(other), CO_E_DLLNOTFOUND},
      {"module that does not serve the class",
       [&other](RegistryKeys& k) { k.setValue(classKey(other) + "\\InprocServer32", "", kModule); },
       guidToString(other), CLASS_E_CLASSNOTAVAILABLE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.change) registry_.update(c.change);
    ActivatedObject object;
    std::string problem;
    EXPECT_EQ(createInstance(registry_, c.name, object, problem), c.hr);
    EXPECT_FALSE(object.get());
    EXPECT_FALSE(problem.empty());
  }
  writeFile(registry_.file().string(), "{ corrupt");
  ActivatedObject object;
  std::string problem;
  EXPECT_EQ(createInstance(registry_, "Marqen.ComTest.1", object, problem), REGDB_E_READREGDB);
}

TEST_F(ActivationTest, TheModuleStaysWhileAnObjectAFactoryOrALockIsOutstanding) {
  EXPECT_FALSE(moduleIsLoaded());  // registration unloaded it again
  ActivatedObject object = activate("Marqen.ComTest.1");
  const std::shared_ptr<InprocModule> module = object.module();
  EXPECT_EQ(module->canUnloadNow(), S_FALSE);

  ComPtr<IClassFactory> factory;
  ASSERT_EQ(module->getClassObject(CLSID_TestObject, IID_IClassFactory, factory.put()), S_OK);
  EXPECT_EQ(factory->LockServer(1), S_OK);
  object = ActivatedObject();
  EXPECT_EQ(module->canUnloadNow(), S_FALSE);  // the factory and the lock
  factory.reset();
  EXPECT_EQ(module->canUnloadNow(), S_FALSE);  // the lock
  ASSERT_EQ(module->getClassObject(CLSID_TestObject, IID_IClassFactory, factory.put()), S_OK);
  EXPECT_EQ(factory->LockServer(0), S_OK);
  EXPECT_EQ(factory->LockServer(0), S_OK);  // one unlock too many changes nothing
  void* instance = nullptr;
  EXPECT_EQ(
      factory->CreateInstance(reinterpret_cast<IUnknown*>(factory.get()), &IID_IUnknown, &instance),
      CLASS_E_NOAGGREGATION);
  EXPECT_EQ(instance, nullptr);
  factory.reset();
  EXPECT_EQ(module->canUnloadNow(), S_OK);
}

TEST_F(ActivationTest, TheModuleIsUnloadedWithItsLastObject) {
  {
    const ActivatedObject object = activate("Marqen.ComTest.1");
    EXPECT_TRUE(moduleIsLoaded());
  }
  EXPECT_FALSE(moduleIsLoaded());
}

// An object without IObjectSafety: only its categories can make it safe.
class PlainObject final : public IUnknown {
 public:
  HRESULT QueryInterface(const GUID* iid, void** object) override {
    if (*iid != IID_IUnknown) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = this;
    return S_OK;
  }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
};

TEST_F(ActivationTest, SafetyComesFromIObjectSafetyOrFromBothCategories) {
  const ActivatedObject object = activate("Marqen.ComTest.1");
  EXPECT_TRUE(isSafeForScripting(registry_, CLSID_TestObject, object.get()));

  PlainObject plain;
  const std::string implemented = classKey(CLSID_TestObject) + "\\Implemented Categories\\";
  EXPECT_FALSE(isSafeForScripting(registry_, CLSID_TestObject, &plain));
  registry_.update(
      [&](RegistryKeys& k) { k.createKey(implemented + guidToString(CATID_SafeForScripting)); });
  EXPECT_FALSE(isSafeForScripting(registry_, CLSID_TestObject, &plain));
  registry_.update(
      [&](RegistryKeys& k) { k.createKey(implemented + guidToString(CATID_SafeForInitializing)); });
  EXPECT_TRUE(isSafeForScripting(registry_, CLSID_TestObject, &plain));
  EXPECT_FALSE(isSafeForScripting(registry_, CLSID_TestObject, nullptr));
}

TEST(CHostTest, ACProgramCallsThroughTheRawTables) {
  struct Case {
    std::vector<std::string> call;
    std::string out;
  };
  const std::vector<Case> cases = {
      {{"Echo", "s:hello"}, "bstr:hello\n"}, {{"ECHO", "n:"}, "bstr:<null>\n"},
      {{"Add", "i:2", "i:40"}, "i4:42\n"},   {{"Binary"}, "bstr:a\\u0000b\\u00FF\n"},
      {{"IsPositive", "i:3"}, "bool:-1\n"},  {{"Nothing"}, "empty\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call.front());
    std::vector<std::string> args = {kModule, guidToString(CLSID_TestObject)};
    args.insert(args.end(), c.call.begin(), c.call.end());
    const ProcessResult r = runProcess(VTABLE_HOST, args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, c.out);
  }
}

}  // namespace
}  // namespace marqen::test
