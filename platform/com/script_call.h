#pragma once
// Calls by name with the values a page's script passes, written as JSON: text, numbers,
// true/false, null, and {"date": milliseconds since 1970} for a script Date. The tool's control
// scripts and the web bridge both call the control this way.

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/com/com_types.h"

namespace marqen::com {

using Json = nlohmann::json;

// True for {"date": milliseconds}, the form a script's Date travels in.
bool isDateArgument(const Json& value);
// True for a value a script can pass: a JSON primitive or a date.
bool isScriptValue(const Json& value);

// Milliseconds since 1970 as the local calendar time in days since 1899-12-30 (an OLE DATE);
// nothing beyond the years a date can hold.
std::optional<double> localDate(double milliseconds);

// NOLINTNEXTLINE(bugprone-exception-escape): a JSON value moves without throwing
struct ScriptCallResult {
  // S_OK, or what GetIDsOfNames or Invoke answered; DISP_E_OVERFLOW also for a date beyond the
  // calendar, which never reaches the object.
  HRESULT hr = E_FAIL;
  Json result;               // the method's result (null for none) when hr is S_OK
  std::size_t argument = 0;  // for DISP_E_TYPEMISMATCH and DISP_E_OVERFLOW: which, from 0
};

// Looks the name up and invokes it as a method, the arguments converted as a script engine
// converts them (whole numbers within 32 bits as VT_I4, other numbers as VT_R8).
ScriptCallResult callByName(IDispatch& dispatch, const std::string& name,
                            const std::vector<Json>& args);

}  // namespace marqen::com
