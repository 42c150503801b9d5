// The control module's registration: the keys a host and a design tool read, the categories
// with their failures kept silent, and unregistration that leaves the categories.

#include <gtest/gtest.h>

#include "control/module/control_ids.h"
#include "control/module/registration.h"
#include "platform/com/guid.h"
#include "tests/support/temp_dir.h"

namespace marqen::test {
namespace {

using namespace marqen::com;
using control::CLSID_MarqenCtrl;
using control::CLSID_MarqenPropPage;

constexpr const char* kPath = "/opt/marqen/lib/libMarqenI.so";

// A categories manager that records its calls and fails where told.
struct ManagerLog {
  int creations = 0;
  int categoryCalls = 0;
  int classCalls = 0;
};

class RecordingManager final : public ComponentCategoriesManager {
 public:
  RecordingManager(std::unique_ptr<ComponentCategoriesManager> real, ManagerLog& log,
                   bool failCategories)
      : real_(std::move(real)), log_(log), failCategories_(failCategories) {}
  HRESULT RegisterCategories(std::span<const CATEGORYINFO> c) override {
    ++log_.categoryCalls;
    return failCategories_ ? E_FAIL : real_->RegisterCategories(c);
  }
  HRESULT RegisterClassImplCategories(const GUID& clsid, std::span<const GUID> c) override {
    ++log_.classCalls;
    return real_->RegisterClassImplCategories(clsid, c);
  }
  HRESULT UnRegisterClassImplCategories(const GUID& clsid, std::span<const GUID> c) override {
    return real_->UnRegisterClassImplCategories(clsid, c);
  }

 private:
  std::unique_ptr<ComponentCategoriesManager> real_;
  ManagerLog& log_;
  bool failCategories_;
};

CreateCategoriesManager recording(ManagerLog& log, bool failCreation, bool failCategories) {
  return [&log, failCreation, failCategories](
             const Registry& registry, std::unique_ptr<ComponentCategoriesManager>& manager) {
    ++log.creations;
    if (failCreation) return REGDB_E_CLASSNOTREG;
    std::unique_ptr<ComponentCategoriesManager> real;
    createStdComponentCategoriesMgr(registry, real);
    manager = std::make_unique<RecordingManager>(std::move(real), log, failCategories);
    return S_OK;
  };
}

std::string key(std::string_view rest) {
  return std::string(kClassesRoot) + std::string(rest);
}

class ControlRegistrationTest : public ::testing::Test {
 protected:
  TempDir dir_;
  Registry registry_{dir_.path() / "registry.json"};
  const std::string ctrl_ = classKey(CLSID_MarqenCtrl);
  const std::string implemented_ = ctrl_ + "\\Implemented Categories\\";
  const std::string scripting_ = guidToString(CATID_SafeForScripting);
  const std::string initializing_ = guidToString(CATID_SafeForInitializing);
};

TEST_F(ControlRegistrationTest, RegistersWhatAHostAndADesignToolRead) {
  ManagerLog log;
  ASSERT_EQ(control::registerServer(registry_, kPath, recording(log, false, false)), S_OK);
  const RegistryKeys keys = registry_.read();
  const std::string libid = guidToString(control::LIBID_MARQENILib);
  const std::string page = classKey(CLSID_MarqenPropPage);
  struct Row {
    std::string key;
    std::string name;
    std::string value;
  };
  const std::vector<Row> rows = {
      {key("MARQENI.MarqenICtrl.1"), "", "MarqenI Control"},
      {key("MARQENI.MarqenICtrl.1\\CLSID"), "", guidToString(CLSID_MarqenCtrl)},
      {ctrl_, "", "MarqenI Control"},
      {ctrl_ + "\\InprocServer32", "", kPath},
      {ctrl_ + "\\InprocServer32", "ThreadingModel", "Apartment"},
      {ctrl_ + "\\ProgID", "", "MARQENI.MarqenICtrl.1"},
      {ctrl_ + "\\MiscStatus", "", "0"},
      {ctrl_ + "\\MiscStatus\\1", "", "198033"},
      {ctrl_ + "\\ToolboxBitmap32", "", std::string(kPath) + ", 1"},
      {ctrl_ + "\\TypeLib", "", libid},
      {ctrl_ + "\\Version", "", "6.1"},
      {key("TypeLib\\") + libid + "\\6.1", "", "MARQENILib"},
      {key("TypeLib\\") + libid + "\\6.1\\0\\linux64", "", kPath},
      {key("Interface\\") + guidToString(control::DIID__DMarqenI) + "\\TypeLib", "", libid},
      {key("Component Categories\\") + scripting_, "409", "Controls that are safely scriptable"},
      {key("Component Categories\\") + initializing_, "409",
       "Controls safely initializable from persistent data"},
      {page, "", "MarqenI Property Page"},
      {page + "\\InprocServer32", "", kPath},
  };
  for (const auto& row : rows)
    EXPECT_EQ(keys.text(row.key, row.name), row.value) << row.key << " " << row.name;
  EXPECT_TRUE(keys.hasKey(implemented_ + scripting_));
  EXPECT_TRUE(keys.hasKey(implemented_ + initializing_));
  EXPECT_FALSE(keys.hasKey(key("MARQEN.MarqenPropPage.1")));  // the page is found by CLSID
  EXPECT_FALSE(keys.hasKey(page + "\\ProgID"));
  // Each category: a manager to create it, another to list it for the class.
  EXPECT_EQ(log.creations, 4);
  EXPECT_EQ(log.categoryCalls, 2);
  EXPECT_EQ(log.classCalls, 2);
}

TEST_F(ControlRegistrationTest, CategoryFailuresCostOnlyTheCategories) {
  struct Case {
    const char* what;
    bool failCreation;
    bool failCategories;
    int classCalls;
  };
  for (const Case c : {Case{"manager cannot be created", true, false, 0},
                       Case{"categories cannot be created", false, true, 0}}) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const Registry registry(dir.path() / "registry.json");
    ManagerLog log;
    EXPECT_EQ(
        control::registerServer(registry, kPath, recording(log, c.failCreation, c.failCategories)),
        S_OK);
    const RegistryKeys keys = registry.read();
    EXPECT_EQ(keys.text(ctrl_ + "\\InprocServer32"), kPath);
    EXPECT_FALSE(keys.hasKey(implemented_ + scripting_));
    EXPECT_FALSE(keys.hasKey(implemented_ + initializing_));
    EXPECT_EQ(log.classCalls, c.classCalls);
  }
}

TEST_F(ControlRegistrationTest, UnregisteringLeavesTheCategoryEntries) {
  ASSERT_EQ(control::registerServer(registry_, kPath, createStdComponentCategoriesMgr), S_OK);
  ASSERT_EQ(control::unregisterServer(registry_), S_OK);
  const RegistryKeys keys = registry_.read();
  EXPECT_FALSE(keys.hasKey(key("MARQENI.MarqenICtrl.1")));
  EXPECT_FALSE(keys.hasKey(ctrl_ + "\\InprocServer32"));
  EXPECT_FALSE(keys.text(ctrl_));
  EXPECT_FALSE(keys.hasKey(classKey(CLSID_MarqenPropPage)));
  EXPECT_FALSE(keys.hasKey(key("TypeLib\\") + guidToString(control::LIBID_MARQENILib)));
  EXPECT_FALSE(keys.hasKey(key("Interface\\") + guidToString(control::DIID__DMarqenI)));
  EXPECT_TRUE(keys.hasKey(implemented_ + scripting_));
  EXPECT_TRUE(keys.hasKey(implemented_ + initializing_));
  EXPECT_TRUE(keys.text(key("Component Categories\\") + scripting_, "409"));
  // Registering again after unregistering works, and unregistering twice is harmless.
  EXPECT_EQ(control::registerServer(registry_, kPath, createStdComponentCategoriesMgr), S_OK);
  EXPECT_EQ(control::unregisterServer(registry_), S_OK);
  EXPECT_EQ(control::unregisterServer(registry_), S_OK);
}

TEST_F(ControlRegistrationTest, ACorruptRegistryFailsRegistrationAndStaysAsItIs) {
  writeFile(registry_.file().string(), "{\"broken\":");
  EXPECT_EQ(control::registerServer(registry_, kPath, createStdComponentCategoriesMgr),
            SELFREG_E_TYPELIB);
  EXPECT_EQ(control::unregisterServer(registry_), SELFREG_E_TYPELIB);
  EXPECT_EQ(readFile(registry_.file().string()), "{\"broken\":");
}

}  // namespace
}  // namespace marqen::test
