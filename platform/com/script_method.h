#pragma once

// What a scriptable object tells the dispatch layer about its methods, and the values that
// cross between them once the layer has converted a host's VARIANTs. The object never sees a
// VARIANT; the layer never sees the object's state.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace marqen::com {

// A parameter as the type library declares it. Booleans are declared as Long and arrive as 1/0.
enum class ParamKind : std::uint8_t { String, Long, Date };

// A result: none (the call yields VT_EMPTY), VT_BOOL, VT_BSTR or VT_I4.
enum class ResultKind : std::uint8_t { None, Bool, String, Long };

// A converted argument: String holds UTF-16 text, std::nullopt for a null string (VT_NULL,
// VT_EMPTY or a null BSTR); Long holds the 32-bit value; Date holds an OLE DATE (days since
// 1899-12-30, local time).
using ScriptArg = std::variant<std::optional<std::u16string>, std::int32_t, double>;

// A result: std::monostate for None, bool, UTF-16 text (never null; may hold any unit, U+0000
// included), or a 32-bit value.
using ScriptResult = std::variant<std::monostate, bool, std::u16string, std::int32_t>;

// One entry of a dispatch table. Names are matched without regard to case.
struct ScriptMethod {
  std::u16string_view name;
  std::int32_t dispid;
  std::span<const ParamKind> params;
  ResultKind result;
};

// A scriptable object as the dispatch layer drives it. invoke is called only with a dispid from
// methods() and with exactly the arguments its entry declares, converted to their kinds, in
// declaration order (first parameter first).
class ScriptObject {
 public:
  virtual ~ScriptObject() = default;
  virtual std::span<const ScriptMethod> methods() const = 0;
  virtual ScriptResult invoke(std::int32_t dispid, std::span<const ScriptArg> args) = 0;
};

// A scriptable object that design tools may also draw: the dispatch layer then answers
// IViewCairo for it. The bounds are in the context's units, their size never negative.
class DrawableScriptObject : public ScriptObject {
 public:
  virtual bool draw(void* cairoContext, double x, double y, double width, double height) = 0;
};

}  // namespace marqen::com
