#include "tests/com/test_object.h"

#include <array>
#include <cstdio>
#include <string>

namespace marqen::test {
namespace {

using com::ParamKind;
using com::ResultKind;
using com::ScriptArg;
using com::ScriptResult;

constexpr std::array<ParamKind, 1> kString = {ParamKind::String};
constexpr std::array<ParamKind, 2> kTwoLongs = {ParamKind::Long, ParamKind::Long};
constexpr std::array<ParamKind, 1> kDate = {ParamKind::Date};
constexpr std::array<ParamKind, 3> kMixed = {ParamKind::String, ParamKind::Long, ParamKind::Date};
constexpr std::array<ParamKind, 1> kLong = {ParamKind::Long};

constexpr std::array<com::ScriptMethod, 8> kMethods = {{
    {u"Echo", 1, kString, ResultKind::String},
    {u"Add", 2, kTwoLongs, ResultKind::Long},
    {u"Days", 3, kDate, ResultKind::String},
    {u"Mixed", 4, kMixed, ResultKind::String},
    {u"Calls", 5, {}, ResultKind::Long},
    {u"Nothing", 6, {}, ResultKind::None},
    {u"Binary", 7, {}, ResultKind::String},
    {u"IsPositive", 8, kLong, ResultKind::Bool},
}};

std::u16string text(const ScriptArg& arg) {
  const auto& value = std::get<std::optional<std::u16string>>(arg);
  return value ? *value : u"<null>";
}

std::u16string widen(const std::string& narrow) {
  return {narrow.begin(), narrow.end()};
}

std::u16string days(double value) {
  std::array<char, 64> buffer{};
  std::snprintf(buffer.data(), buffer.size(), "%.3f", value);
  return widen(buffer.data());
}

class TestObject final : public com::ScriptObject {
 public:
  std::span<const com::ScriptMethod> methods() const override { return kMethods; }

  ScriptResult invoke(std::int32_t dispid, std::span<const ScriptArg> args) override {
    ++calls_;
    switch (dispid) {
      case 1:
        return text(args[0]);
      case 2:
        return static_cast<std::int32_t>(std::get<std::int32_t>(args[0]) +
                                         std::get<std::int32_t>(args[1]));
      case 3:
        return days(std::get<double>(args[0]));
      case 4:
        return text(args[0]) + u"|" + widen(std::to_string(std::get<std::int32_t>(args[1]))) +
               u"|" + days(std::get<double>(args[2]));
      case 5:
        return calls_;
      case 7:
        return std::u16string(u"a\0b\u00ff", 4);
      case 8:
        return std::get<std::int32_t>(args[0]) > 0;
      default:
        return std::monostate();
    }
  }

 private:
  std::int32_t calls_ = 0;
};

}  // namespace

std::unique_ptr<com::ScriptObject> createTestObject() {
  return std::make_unique<TestObject>();
}

}  // namespace marqen::test
