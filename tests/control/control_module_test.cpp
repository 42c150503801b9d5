// libMarqenI.so as a host meets it: four exports, its own registration, activation by ProgID,
// safety for scripting, the object and lock count behind DllCanUnloadNow.

#include <cairo.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "control/module/control_ids.h"
#include "platform/com/categories.h"
#include "platform/com/guid.h"
#include "tests/com/dispatch_host.h"
#include "tests/control/control_host.h"
#include "tests/support/process.h"
#include "tests/support/surface_pixel.h"

namespace marqen::test {
namespace {

using namespace marqen::com;
using control::CLSID_MarqenCtrl;
using control::CLSID_MarqenPropPage;

bool controlIsLoaded() {
  void* handle = ::dlopen(kControlFile.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle) ::dlclose(handle);
  return handle != nullptr;
}

class ControlModuleTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(host_.registerControl(), S_OK); }

  ActivatedObject activate() {
    ActivatedObject object;
    std::string problem;
    EXPECT_EQ(createInstance(host_.registry(), control::kControlProgId, object, problem), S_OK)
        << problem;
    return object;
  }

  ControlHost host_;
};

TEST(ControlModuleFile, ExportsExactlyTheFourEntryPointsAndDoesNotLinkTheLibrary) {
  const auto symbols = runProcess("/usr/bin/nm", {"-D", "--defined-only", kControlFile});
  ASSERT_EQ(symbols.exitCode, 0) << symbols.err;
  std::set<std::string> functions;
  std::istringstream lines(symbols.out);
  std::string address, type, name;
  while (lines >> address >> type >> name)
    if (type == "T" || type == "W" || type == "i") functions.insert(name);
  EXPECT_EQ(functions, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject",
                                              "DllRegisterServer", "DllUnregisterServer"}));
  const auto needed = runProcess("/usr/bin/readelf", {"-dW", kControlFile});
  EXPECT_EQ(needed.out.find("Marqen_InterfaceV2"), std::string::npos);
}

TEST_F(ControlModuleTest, RegistersItsOwnPathAndIsActivatedByProgIdAsSafe) {
  const RegistryKeys keys = host_.registry().read();
  EXPECT_EQ(keys.text(classKey(CLSID_MarqenCtrl) + "\\InprocServer32"), kControlFile);
  EXPECT_TRUE(keys.hasKey(classKey(CLSID_MarqenCtrl) + "\\Implemented Categories\\" +
                          guidToString(CATID_SafeForScripting)));

  const ActivatedObject control = activate();
  EXPECT_TRUE(isSafeForScripting(host_.registry(), CLSID_MarqenCtrl, control.get()));
  EXPECT_TRUE(control.query<IDispatch>(control::DIID__DMarqenI));
  // Without its categories the control is still safe: IObjectSafety says so.
  host_.registry().update([](RegistryKeys& k) {
    k.deleteTree(classKey(CLSID_MarqenCtrl) + "\\Implemented Categories");
  });
  EXPECT_TRUE(isSafeForScripting(host_.registry(), CLSID_MarqenCtrl, control.get()));
}

TEST_F(ControlModuleTest, SafetyOptionsAreAnsweredAsDocumented) {
  const ActivatedObject control = activate();
  const auto safety = control.query<IObjectSafety>(IID_IObjectSafety);
  ASSERT_TRUE(safety);
  const GUID lacking = IID_IClassFactory;
  struct Case {
    const GUID* iid;
    std::uint32_t mask, enabled;
    HRESULT hr;
  };
  for (const Case& c : {Case{&IID_IDispatch, 3, 3, S_OK}, Case{&IID_IDispatch, 1, 1, S_OK},
                        Case{&IID_IDispatch, 3, 1, E_FAIL}, Case{&IID_IDispatch, 4, 4, E_FAIL},
                        Case{&lacking, 3, 3, E_NOINTERFACE}}) {
    SCOPED_TRACE(::testing::Message() << c.mask << "/" << c.enabled);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(c.iid, c.mask, c.enabled), c.hr);
  }
  std::uint32_t supported = 0;
  std::uint32_t enabled = 0;
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(&IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(supported, 3U);
  EXPECT_EQ(enabled, 3U);
}

TEST_F(ControlModuleTest, CanUnloadOnlyWithoutObjectsAndLocks) {
  EXPECT_FALSE(controlIsLoaded());  // registration loaded and unloaded it
  {
    ActivatedObject control = activate();
    ActivatedObject second = activate();
    const auto module = control.module();
    EXPECT_EQ(module->canUnloadNow(), S_FALSE);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(module->getClassObject(CLSID_MarqenCtrl, IID_IClassFactory, factory.put()), S_OK);
    factory->LockServer(1);
    control = ActivatedObject();
    second = ActivatedObject();
    factory.reset();
    EXPECT_EQ(module->canUnloadNow(), S_FALSE);  // the lock
    ASSERT_EQ(module->getClassObject(CLSID_MarqenCtrl, IID_IClassFactory, factory.put()), S_OK);
    factory->LockServer(0);
    factory.reset();
    EXPECT_EQ(module->canUnloadNow(), S_OK);
  }
  EXPECT_FALSE(controlIsLoaded());
}

TEST_F(ControlModuleTest, ThePropertyPageComesFromItsFactoryWithItsPageInformation) {
  EXPECT_EQ(host_.registry().read().text(classKey(CLSID_MarqenPropPage)), "MarqenI Property Page");
  ActivatedObject page;
  std::string problem;
  ASSERT_EQ(createInstance(host_.registry(), guidToString(CLSID_MarqenPropPage), page, problem),
            S_OK)
      << problem;
  const auto dispatch = page.query<IDispatch>(control::DIID__DMarqenPropPage);
  ASSERT_TRUE(dispatch);
  EXPECT_FALSE(page.query<IViewCairo>(IID_IViewCairo));  // only the control draws itself
  const DispatchHost host(dispatch.get());
  for (const auto& [name, text] : {std::pair<std::u16string, std::u16string>{u"Title", u"General"},
                                   {u"DocString", u"Names to appear in the control"},
                                   {u"HelpFile", u"MARQEN.HLP"}}) {
    const CallResult r = host.call(name, {}, DISPATCH_PROPERTYGET);
    ASSERT_EQ(r.hr, S_OK);
    ASSERT_EQ(r.value->vt, VT_BSTR);
    EXPECT_EQ(bstrView(r.value->bstrVal), text);
  }
  EXPECT_EQ(host.call(u"HelpContext", {}).value->lVal, 0);
  // Without a graphical session the page says it cannot be shown rather than failing the call.
  const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");
  const CallResult shown = host.call(u"Show", {});
  if (!display.empty()) ::setenv("DISPLAY", display.c_str(), 1);
  ASSERT_EQ(shown.hr, S_OK);
  EXPECT_EQ(shown.value->vt, VT_I4);
  EXPECT_EQ(shown.value->lVal, 3);
  EXPECT_EQ(host.call(u"Show", {Arg::i4(1)}).hr, DISP_E_BADPARAMCOUNT);
}

TEST_F(ControlModuleTest, AHostHasTheControlDrawItselfOnACairoSurface) {
  const ActivatedObject control = activate();
  const auto view = control.query<IViewCairo>(IID_IViewCairo);
  ASSERT_TRUE(view);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 60, 40);
  cairo_t* cr = cairo_create(surface);
  const RECTL bounds{10, 5, 50, 35};
  const RECTL reversed{50, 5, 10, 35};
  EXPECT_EQ(view->Draw(nullptr, &bounds), E_POINTER);
  EXPECT_EQ(view->Draw(cr, nullptr), E_POINTER);
  EXPECT_EQ(view->Draw(cr, &reversed), E_INVALIDARG);
  ASSERT_EQ(view->Draw(cr, &bounds), S_OK);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  const auto pixel = [&](int x, int y) { return pixelAt(surface, x, y); };
  EXPECT_EQ(pixel(30, 20), 0xFFFFFFFFU);   // the white fill
  EXPECT_EQ(pixel(5, 2), 0U);              // outside the bounds: untouched
  EXPECT_LT(pixel(30, 5) & 0xFFU, 0xC0U);  // the ellipse touches the top of the bounds
  cairo_surface_destroy(surface);
}

TEST_F(ControlModuleTest, UnregisteringEndsActivation) {
  ASSERT_EQ(host_.unregisterControl(), S_OK);
  ActivatedObject object;
  std::string problem;
  EXPECT_NE(createInstance(host_.registry(), control::kControlProgId, object, problem), S_OK);
  EXPECT_FALSE(object.get());
}

TEST_F(ControlModuleTest, ACHostScriptsTheControlThroughTheRawTables) {
  struct Case {
    std::vector<std::string> call;
    std::string out;
  };
  const std::vector<Case> cases = {
      {{"getErrorMessage"}, "bstr:\n"},  // a fresh control has no status yet
      {{"UPDATEDATA", "s:abc"}, "bool:-1\n"},
      {{"updateData", "n:"}, "bool:0\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call.front());
    std::vector<std::string> args = {kControlFile, guidToString(CLSID_MarqenCtrl)};
    args.insert(args.end(), c.call.begin(), c.call.end());
    const ProcessResult r = runProcess(VTABLE_HOST, args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, c.out);
  }
}

TEST_F(ControlModuleTest, InstancesKeepSeparateStateAndAThousandCallsLeakNothing) {
  const ActivatedObject first = activate();
  const ActivatedObject second = activate();
  DispatchHost a(first.query<IDispatch>(IID_IDispatch).get());
  DispatchHost b(second.query<IDispatch>(IID_IDispatch).get());
  EXPECT_EQ(a.call(u"updateData", {Arg::text(u"x")}).value->boolVal, VARIANT_TRUE);
  EXPECT_EQ(b.call(u"updateData", {Arg::text(u"")}).value->boolVal, VARIANT_FALSE);
  EXPECT_EQ(bstrView(a.call(u"getErrorMessage", {}).value->bstrVal),
            u"Operation Completed Successfully");
  EXPECT_EQ(bstrView(b.call(u"getErrorMessage", {}).value->bstrVal), u"Empty Data.");
  // LeakSanitizer checks at exit that none of these calls left anything behind.
  for (int i = 0; i < 1000; ++i) {
    a.call(u"updateData",
           {Arg::text(u"data " + std::u16string(static_cast<std::size_t>(i), u'x'))});
    a.call(u"getErrorMessage", {}, DISPATCH_PROPERTYGET);
  }
  EXPECT_EQ(a.call(u"updateData", {Arg::i4(1)}).hr, DISP_E_TYPEMISMATCH);
}

}  // namespace
}  // namespace marqen::test
