// The dispatch interface hosts rely on: every name with its DISPID, parameter kinds and result
// kind, and what invoke does with a call the dispatch layer would never make.

#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/control/control_driver.h"

namespace marqen::test {
namespace {

using com::ParamKind;
using com::ResultKind;
constexpr ParamKind S = ParamKind::String;
constexpr ParamKind L = ParamKind::Long;
constexpr ParamKind D = ParamKind::Date;

struct Declared {
  std::u16string_view name;
  std::int32_t dispid;
  std::vector<ParamKind> params;
  ResultKind result;
};

const std::vector<Declared> kInterface = {
    {u"updateData", 1, {S}, ResultKind::Bool},
    {u"updateDataFile", 2, {S}, ResultKind::Bool},
    {u"updateSignature", 3, {S}, ResultKind::Bool},
    {u"updateSignatureFile", 4, {S}, ResultKind::Bool},
    {u"setDetached", 5, {L}, ResultKind::Bool},
    {u"setSignatureFormat", 6, {L}, ResultKind::Bool},
    {u"selectSigningCertFromUI", 7, {}, ResultKind::Bool},
    {u"getSelectedSignerCertDetails", 8, {L}, ResultKind::String},
    {u"setSigningCertFromStore", 9, {S, S}, ResultKind::Bool},
    {u"setSigningCertFromFile", 10, {S, S}, ResultKind::Bool},
    {u"setComments", 11, {S}, ResultKind::Bool},
    {u"setDocumentName", 12, {S}, ResultKind::Bool},
    {u"SetLogo", 13, {L}, ResultKind::Bool},
    {u"setSigningTime", 14, {D}, ResultKind::Bool},
    {u"setTimeStamp", 15, {S}, ResultKind::Bool},
    {u"validateCertBeforeSigning", 16, {L}, ResultKind::None},
    {u"askPinAlways", 17, {L}, ResultKind::None},
    {u"Base64ToDER", 18, {S, S}, ResultKind::Bool},
    {u"DERToBase64", 19, {S}, ResultKind::String},
    {u"sign", 20, {}, ResultKind::String},
    {u"coSign", 21, {}, ResultKind::String},
    {u"getSignerCertCountFromStore", 22, {}, ResultKind::Long},
    {u"getSignerCertDetailsFromStore", 23, {L, L}, ResultKind::String},
    {u"getSignerCertDetailsFromFile", 24, {S, S, L}, ResultKind::String},
    {u"viewSignerCertFromFile", 25, {S, S}, ResultKind::Bool},
    {u"viewSignerCertFromStore", 26, {S, S}, ResultKind::Bool},
    {u"getErrorMessage", 27, {}, ResultKind::String},
    {u"coSignToFile", 28, {S}, ResultKind::Bool},
    {u"signToFile", 29, {S}, ResultKind::Bool},
    {u"rawSign", 30, {}, ResultKind::String},
    {u"rawSignatureToFile", 31, {S}, ResultKind::Bool},
    {u"counterSign", 32, {L}, ResultKind::String},
    {u"counterSignToFile", 33, {S, L}, ResultKind::Bool},
    {u"setRevocationCheck", 34, {L}, ResultKind::Bool},
    {u"setRevocationCheckOnline", 35, {L}, ResultKind::Bool},
    {u"setHashAlgorithm", 36, {L}, ResultKind::Bool},
    {u"setCA", 37, {S}, ResultKind::Bool},
    {u"AboutBox", -552, {}, ResultKind::None},
};

TEST(DispatchTable, HoldsEveryMethodWithItsDispidAndKinds) {
  control::CMarqenCtrl control;
  const auto methods = control.methods();
  ASSERT_EQ(methods.size(), kInterface.size());
  for (const Declared& declared : kInterface) {
    SCOPED_TRACE(utf8(std::u16string(declared.name)));
    const com::ScriptMethod* found = nullptr;
    for (const com::ScriptMethod& method : methods)
      if (method.name == declared.name) found = &method;
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->dispid, declared.dispid);
    EXPECT_EQ(std::vector<ParamKind>(found->params.begin(), found->params.end()), declared.params);
    EXPECT_EQ(found->result, declared.result);
  }
}

// Each result is of the declared kind, even when the method fails its checks.
TEST(DispatchTable, ResultsHaveTheDeclaredKind) {
  for (const Declared& declared : kInterface) {
    SCOPED_TRACE(utf8(std::u16string(declared.name)));
    ControlDriver driver(std::string("libMarqen_NoSuchLibrary.so"));
    std::vector<ScriptArg> args;
    for (const ParamKind kind : declared.params)
      args.push_back(kind == S ? nullStr() : kind == L ? num(0) : date(0.0));
    const ScriptResult result = driver.control().invoke(declared.dispid, args);
    const std::size_t expected = declared.result == ResultKind::None     ? 0
                                 : declared.result == ResultKind::Bool   ? 1
                                 : declared.result == ResultKind::String ? 2
                                                                         : 3;
    EXPECT_EQ(result.index(), expected);
  }
}

TEST(DispatchTable, CallsOutsideTheTableAreRefusedNotRun) {
  control::CMarqenCtrl control;
  const std::vector<ScriptArg> none;
  const std::vector<ScriptArg> oneString = {str(u"x")};
  const std::vector<ScriptArg> oneLong = {num(1)};
  EXPECT_THROW(control.invoke(38, none), std::invalid_argument);
  EXPECT_THROW(control.invoke(20, oneString), std::invalid_argument);  // sign takes nothing
  EXPECT_THROW(control.invoke(1, oneLong), std::invalid_argument);     // updateData: a string
  EXPECT_THROW(control.invoke(1, none), std::invalid_argument);
  EXPECT_EQ(utf8(std::get<std::u16string>(control.invoke(27, none))), "");
}

}  // namespace
}  // namespace marqen::test
