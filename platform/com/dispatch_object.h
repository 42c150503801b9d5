#pragma once
// IDispatch over any ScriptObject: names to DISPIDs without regard to case, VARIANT arguments
// converted as OLE Automation converts them, results as VARIANTs; IObjectSafety marks the
// object safe for untrusted callers and data.

#include <memory>

#include "platform/com/com_types.h"
#include "platform/com/script_method.h"
#include "platform/com/server.h"

namespace marqen::com {

// A new dispatch object owning `object`, answering QueryInterface for IUnknown, IDispatch,
// `dispatchIid` and IObjectSafety, through the interface `iid` with one reference. While it
// lives it counts as an object of `lifetime` (when given).
HRESULT createDispatchObject(std::unique_ptr<ScriptObject> object, const GUID& dispatchIid,
                             ModuleLifetime* lifetime, const GUID* iid, void** result) noexcept;

// One VARIANT argument as a parameter of that kind: S_OK, DISP_E_TYPEMISMATCH or
// DISP_E_OVERFLOW.
HRESULT convertArgument(const VARIANT& in, ParamKind kind, ScriptArg& out);

}  // namespace marqen::com
