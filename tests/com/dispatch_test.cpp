// The dispatch layer as a script host drives it: names, argument conversions and their
// failures, results, IObjectSafety and reference counting.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "platform/com/com_ptr.h"
#include "platform/com/dispatch_object.h"
#include "tests/com/dispatch_host.h"
#include "tests/com/test_object.h"

namespace marqen::test {
namespace {

using namespace marqen::com;

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(createDispatchObject(createTestObject(), DIID_TestObject, &lifetime_, &IID_IDispatch,
                                   dispatch_.put()),
              S_OK);
  }

  std::u16string text(const CallResult& r) {
    EXPECT_EQ(r.value->vt, VT_BSTR);
    return r.value->vt == VT_BSTR ? std::u16string(bstrView(r.value->bstrVal)) : u"";
  }

  ModuleLifetime lifetime_;
  ComPtr<IDispatch> dispatch_;
};

struct ConversionCase {
  const char* what;
  std::u16string method;
  std::function<std::vector<Arg>()> args;
  HRESULT hr;
  std::u16string result;       // text of the result (a number as decimal) when hr is S_OK
  std::uint32_t argErr = ~0U;  // index in the last-first array when the argument is refused
};

std::u16string resultText(const VARIANT& v) {
  if (v.vt == VT_BSTR) return std::u16string(bstrView(v.bstrVal));
  if (v.vt == VT_I4) {
    const std::string n = std::to_string(v.lVal);
    return {n.begin(), n.end()};
  }
  if (v.vt == VT_BOOL) return v.boolVal == VARIANT_TRUE ? u"true" : u"false";
  return u"vt" + std::u16string(1, static_cast<char16_t>(u'0' + v.vt));
}

TEST_F(DispatchTest, ArgumentsConvertAsAutomationConvertsThem) {
  static std::u16string referenced = u"by reference";
  static BSTR referencedBstr = nullptr;
  static std::int32_t referencedLong = 41;
  static double referencedDouble = 2.5;
  static Variant inner;
  const auto nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<ConversionCase> cases = {
      {"text", u"Echo", [] { return std::vector<Arg>{Arg::text(u"hi")}; }, S_OK, u"hi"},
      {"empty text", u"Echo", [] { return std::vector<Arg>{Arg::text(u"")}; }, S_OK, u""},
      {"VT_NULL is a null string", u"Echo", [] { return std::vector<Arg>{Arg::of(VT_NULL)}; }, S_OK,
       u"<null>"},
      {"VT_EMPTY is a null string", u"Echo", [] { return std::vector<Arg>{Arg::of(VT_EMPTY)}; },
       S_OK, u"<null>"},
      {"null BSTR", u"Echo", [] { return std::vector<Arg>{Arg::nullBstr()}; }, S_OK, u"<null>"},
      {"number for text", u"Echo", [] { return std::vector<Arg>{Arg::i4(1)}; }, DISP_E_TYPEMISMATCH,
       u"", 0},
      {"BSTR by reference", u"Echo",
       [] {
         referencedBstr = sysAllocString(referenced);
         return std::vector<Arg>{Arg::byRef(VT_BSTR, &referencedBstr)};
       },
       S_OK, u"by reference"},
      {"VARIANT by reference", u"Echo",
       [] {
         variantClear(*inner.get());
         inner.get()->vt = VT_BSTR;
         inner.get()->bstrVal = sysAllocString(u"inner");
         return std::vector<Arg>{Arg::byRef(VT_VARIANT, inner.get())};
       },
       S_OK, u"inner"},
      {"null reference", u"Echo", [] { return std::vector<Arg>{Arg::byRef(VT_BSTR, nullptr)}; },
       DISP_E_TYPEMISMATCH, u"", 0},
      {"I4 and I2", u"Add",
       [] {
         return std::vector<Arg>{Arg::i4(2), Arg::i2(-3)};
       },
       S_OK, u"-1"},
      {"R8 ties round to even", u"Add",
       [] {
         return std::vector<Arg>{Arg::r8(2.5), Arg::r8(3.5)};
       },
       S_OK, u"6"},
      {"R8 negative tie", u"Add",
       [] {
         return std::vector<Arg>{Arg::r8(-2.5), Arg::r8(0.6)};
       },
       S_OK, u"-1"},
      {"true arrives as 1", u"Add",
       [] {
         return std::vector<Arg>{Arg::boolean(true), Arg::boolean(false)};
       },
       S_OK, u"1"},
      {"long by reference", u"Add",
       [] {
         return std::vector<Arg>{Arg::byRef(VT_I4, &referencedLong),
                                 Arg::byRef(VT_R8, &referencedDouble)};
       },
       S_OK, u"43"},
      {"text for the first long", u"Add",
       [] {
         return std::vector<Arg>{Arg::text(u"1"), Arg::i4(1)};
       },
       DISP_E_TYPEMISMATCH, u"", 1},
      {"text for the second long", u"Add",
       [] {
         return std::vector<Arg>{Arg::i4(1), Arg::text(u"1")};
       },
       DISP_E_TYPEMISMATCH, u"", 0},
      {"VT_EMPTY for a long", u"Add",
       [] {
         return std::vector<Arg>{Arg::of(VT_EMPTY), Arg::i4(1)};
       },
       DISP_E_TYPEMISMATCH, u"", 1},
      {"largest long", u"Add",
       [] {
         return std::vector<Arg>{Arg::r8(2147483647.4), Arg::i4(0)};
       },
       S_OK, u"2147483647"},
      {"smallest long by rounding", u"Add",
       [] {
         return std::vector<Arg>{Arg::r8(-2147483648.5), Arg::i4(0)};
       },
       S_OK, u"-2147483648"},
      {"beyond 32 bits", u"Add",
       [] {
         return std::vector<Arg>{Arg::i4(0), Arg::r8(2147483647.5)};
       },
       DISP_E_OVERFLOW, u"", 0},
      {"NaN for a long", u"Add",
       [nan] {
         return std::vector<Arg>{Arg::r8(nan), Arg::i4(0)};
       },
       DISP_E_OVERFLOW, u"", 1},
      {"date", u"Days", [] { return std::vector<Arg>{Arg::date(45000.75)}; }, S_OK, u"45000.750"},
      {"R8 for a date", u"Days", [] { return std::vector<Arg>{Arg::r8(-1.5)}; }, S_OK, u"-1.500"},
      {"long for a date", u"Days", [] { return std::vector<Arg>{Arg::i4(45000)}; },
       DISP_E_TYPEMISMATCH, u"", 0},
      {"date past year 9999", u"Days", [] { return std::vector<Arg>{Arg::date(2958466.0)}; },
       DISP_E_OVERFLOW, u"", 0},
      {"NaN date", u"Days", [nan] { return std::vector<Arg>{Arg::date(nan)}; }, DISP_E_OVERFLOW,
       u"", 0},
      {"parameters in declaration order", u"Mixed",
       [] {
         return std::vector<Arg>{Arg::text(u"x"), Arg::i4(7), Arg::date(1.25)};
       },
       S_OK, u"x|7|1.250"},
      {"bad middle argument", u"Mixed",
       [] {
         return std::vector<Arg>{Arg::text(u"x"), Arg::date(1), Arg::date(1.25)};
       },
       DISP_E_TYPEMISMATCH, u"", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DispatchHost host(dispatch_.get());
    const CallResult r = host.call(c.method, c.args());
    EXPECT_EQ(r.hr, c.hr);
    if (c.hr == S_OK)
      EXPECT_EQ(resultText(*r.value), c.result);
    else
      EXPECT_EQ(r.argErr, c.argErr);
  }
  sysFreeString(referencedBstr);
  variantClear(*inner.get());
}

TEST_F(DispatchTest, NamesAreFoundWithoutRegardToCase) {
  DispatchHost host(dispatch_.get());
  for (const std::u16string name : {u"Echo", u"echo", u"ECHO", u"eChO"}) {
    DISPID id = 0;
    EXPECT_EQ(host.idOf(name, id), S_OK);
    EXPECT_EQ(id, 1);
  }
  DISPID id = 0;
  EXPECT_EQ(host.idOf(u"Ech", id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);
  EXPECT_EQ(host.idOf(u"Echo2", id), DISP_E_UNKNOWNNAME);

  // Parameter names are not known: the method is found, the parameter is not.
  const OLECHAR* names[] = {u"Add", u"left"};
  DISPID ids[2] = {0, 0};
  EXPECT_EQ(dispatch_->GetIDsOfNames(&IID_NULL, names, 2, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], 2);
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);
  EXPECT_EQ(dispatch_->GetIDsOfNames(&IID_IDispatch, names, 1, 0, ids), DISP_E_UNKNOWNINTERFACE);
}

TEST_F(DispatchTest, CallsThatDoNotFitTheTableAreRefused) {
  DispatchHost host(dispatch_.get());
  EXPECT_EQ(host.call(u"Add", {Arg::i4(1)}).hr, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(host.call(u"Add", {Arg::i4(1), Arg::i4(1), Arg::i4(1)}).hr, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(host.call(u"Calls", {Arg::i4(1)}).hr, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(host.invoke(99, {}).hr, DISP_E_MEMBERNOTFOUND);
  // A method without parameters reads as a property; one with parameters does not, and
  // nothing can be put.
  EXPECT_EQ(host.call(u"Calls", {}, DISPATCH_PROPERTYGET).hr, S_OK);
  EXPECT_EQ(host.call(u"Calls", {}, DISPATCH_METHOD | DISPATCH_PROPERTYGET).hr, S_OK);
  EXPECT_EQ(host.call(u"Echo", {Arg::text(u"x")}, DISPATCH_PROPERTYGET).hr, DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(host.call(u"Calls", {}, 4 /* DISPATCH_PROPERTYPUT */).hr, DISP_E_MEMBERNOTFOUND);

  VARIANT arg{};
  arg.vt = VT_I4;
  DISPID named = 0;
  DISPPARAMS withName{&arg, &named, 1, 1};
  EXPECT_EQ(
      dispatch_->Invoke(5, &IID_NULL, 0, DISPATCH_METHOD, &withName, nullptr, nullptr, nullptr),
      DISP_E_NONAMEDARGS);
  EXPECT_EQ(dispatch_->Invoke(5, &IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
            E_INVALIDARG);
  DISPPARAMS countWithoutArray{nullptr, nullptr, 1, 0};
  EXPECT_EQ(dispatch_->Invoke(1, &IID_NULL, 0, DISPATCH_METHOD, &countWithoutArray, nullptr,
                              nullptr, nullptr),
            E_INVALIDARG);
  // A refused call reaches the object not at all.
  EXPECT_EQ(resultText(*host.call(u"Calls", {}).value), u"3");
}

TEST_F(DispatchTest, ResultsAreAutomationValues) {
  DispatchHost host(dispatch_.get());
  const CallResult binary = host.call(u"Binary", {});
  ASSERT_EQ(binary.value->vt, VT_BSTR);
  EXPECT_EQ(sysStringLen(binary.value->bstrVal), 4U);
  EXPECT_EQ(text(binary), std::u16string(u"a\0b\u00ff", 4));
  EXPECT_EQ(binary.value->bstrVal[4], u'\0');

  const CallResult empty = host.call(u"Echo", {Arg::text(u"")});
  ASSERT_EQ(empty.value->vt, VT_BSTR);
  ASSERT_NE(empty.value->bstrVal, nullptr);  // a zero-length BSTR, never null
  EXPECT_EQ(sysStringLen(empty.value->bstrVal), 0U);

  EXPECT_EQ(host.call(u"Nothing", {}).value->vt, VT_EMPTY);
  const CallResult yes = host.call(u"IsPositive", {Arg::i4(5)});
  EXPECT_EQ(yes.value->vt, VT_BOOL);
  EXPECT_EQ(yes.value->boolVal, VARIANT_TRUE);
  EXPECT_EQ(host.call(u"IsPositive", {Arg::i4(0)}).value->boolVal, VARIANT_FALSE);

  // A host that does not want the result may pass none.
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(dispatch_->Invoke(7, &IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
            S_OK);

  const std::u16string large(1 << 20, u'x');
  EXPECT_EQ(text(host.call(u"Echo", {Arg::text(large)})).size(), large.size());
}

TEST_F(DispatchTest, EachObjectKeepsItsOwnState) {
  ComPtr<IDispatch> other;
  ASSERT_EQ(createDispatchObject(createTestObject(), DIID_TestObject, &lifetime_, &IID_IDispatch,
                                 other.put()),
            S_OK);
  DispatchHost first(dispatch_.get());
  DispatchHost second(other.get());
  first.call(u"Nothing", {});
  first.call(u"Nothing", {});
  EXPECT_EQ(resultText(*first.call(u"Calls", {}).value), u"3");
  EXPECT_EQ(resultText(*second.call(u"Calls", {}).value), u"1");
}

TEST_F(DispatchTest, SafetyOptionsAreGrantedButNeverSwitchedOff) {
  const auto safety = dispatch_.query<IObjectSafety>(IID_IObjectSafety);
  ASSERT_TRUE(safety);
  const GUID unknownIid = {0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
  struct Case {
    const GUID* iid;
    std::uint32_t mask, enabled;
    HRESULT hr;
  };
  const Case cases[] = {
      {&IID_IDispatch, 3, 3, S_OK},       {&IID_IDispatch, 1, 1, S_OK},
      {&IID_IDispatch, 2, 3, S_OK},       {&IID_IDispatch, 3, 1, E_FAIL},
      {&IID_IDispatch, 4, 4, E_FAIL},     {&IID_IDispatch, 7, 7, E_FAIL},
      {&DIID_TestObject, 3, 3, S_OK},     {&IID_IUnknown, 3, 3, S_OK},
      {&unknownIid, 3, 3, E_NOINTERFACE}, {&IID_IClassFactory, 3, 3, E_NOINTERFACE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.mask << "/" << c.enabled);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(c.iid, c.mask, c.enabled), c.hr);
  }
  std::uint32_t supported = 0;
  std::uint32_t enabled = 0;
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(&IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(supported, 3U);
  EXPECT_EQ(enabled, 3U);
  supported = enabled = 0;
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(&unknownIid, &supported, &enabled), E_NOINTERFACE);
  EXPECT_EQ(supported, 3U);
  EXPECT_EQ(enabled, 3U);
}

TEST_F(DispatchTest, InterfacesShareOneIdentityAndOneCount) {
  const auto unknownFromDispatch = dispatch_.query<IUnknown>(IID_IUnknown);
  const auto safety = dispatch_.query<IObjectSafety>(IID_IObjectSafety);
  ASSERT_TRUE(safety);
  const auto unknownFromSafety = safety.query<IUnknown>(IID_IUnknown);
  EXPECT_EQ(unknownFromDispatch.get(), unknownFromSafety.get());
  EXPECT_TRUE(dispatch_.query<IDispatch>(DIID_TestObject));
  EXPECT_FALSE(dispatch_.query<IClassFactory>(IID_IClassFactory));

  EXPECT_EQ(lifetime_.canUnloadNow(), S_FALSE);
  EXPECT_EQ(dispatch_->AddRef(), 5U);  // ours, the two IUnknowns, the safety, this one
  EXPECT_EQ(dispatch_->Release(), 4U);
}

TEST_F(DispatchTest, TheLastReleaseFreesTheObject) {
  EXPECT_EQ(lifetime_.canUnloadNow(), S_FALSE);
  dispatch_.reset();
  EXPECT_EQ(lifetime_.canUnloadNow(), S_OK);
}

}  // namespace
}  // namespace marqen::test
