#include "platform/com/dispatch_object.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <new>
#include <string>
#include <vector>

#include "platform/com/automation.h"

namespace marqen::com {
namespace {

// The span of dates OLE Automation accepts: 1 January 100 to the end of 31 December 9999.
constexpr double kFirstDate = -657434.0;
constexpr double kEndOfLastDate = 2958466.0;

char16_t fold(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool sameName(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char16_t x, char16_t y) { return fold(x) == fold(y); });
}

// Round half to even, as OLE Automation turns a double into an integer.
HRESULT toLong(double value, std::int32_t& out) {
  if (std::isnan(value)) return DISP_E_OVERFLOW;
  const double floor = std::floor(value);
  const double fraction = value - floor;
  double rounded = floor;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0.0)) rounded = floor + 1.0;
  if (rounded < -2147483648.0 || rounded > 2147483647.0) return DISP_E_OVERFLOW;
  out = static_cast<std::int32_t>(rounded);
  return S_OK;
}

class DispatchObject final : public IDispatch, public IObjectSafety, public IViewCairo {
 public:
  DispatchObject(std::unique_ptr<ScriptObject> object, const GUID& dispatchIid,
                 ModuleLifetime* lifetime)
      : object_(std::move(object)),
        drawable_(dynamic_cast<DrawableScriptObject*>(object_.get())),
        dispatchIid_(dispatchIid),
        lifetime_(lifetime) {
    if (lifetime_) lifetime_->objectCreated();
  }
  DispatchObject(const DispatchObject&) = delete;
  DispatchObject& operator=(const DispatchObject&) = delete;

  HRESULT QueryInterface(const GUID* iid, void** object) override {
    if (!iid || !object) return E_POINTER;
    if (*iid == IID_IUnknown || *iid == IID_IDispatch || *iid == dispatchIid_) {
      *object = static_cast<IDispatch*>(this);
    } else if (*iid == IID_IObjectSafety) {
      *object = static_cast<IObjectSafety*>(this);
    } else if (*iid == IID_IViewCairo && drawable_) {
      *object = static_cast<IViewCairo*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }

  ULONG AddRef() override { return refs_.fetch_add(1) + 1; }

  ULONG Release() override {
    const ULONG left = refs_.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return left;
  }

  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    if (!count) return E_POINTER;
    *count = 0;  // the method table is the type information; hosts call by name
    return S_OK;
  }

  HRESULT GetTypeInfo(std::uint32_t /*index*/, LCID /*lcid*/, void** typeInfo) override {
    if (typeInfo) *typeInfo = nullptr;
    return DISP_E_BADINDEX;
  }

  HRESULT GetIDsOfNames(const GUID* iid, const OLECHAR* const* names, std::uint32_t count,
                        LCID /*lcid*/, DISPID* ids) override {
    if (!names || !ids) return E_POINTER;
    if (iid && *iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (count == 0) return S_OK;
    // Only the method is named: its parameters have no names to look up.
    std::fill_n(ids, count, DISPID_UNKNOWN);
    const ScriptMethod* method = findByName(names[0]);
    if (!method) return DISP_E_UNKNOWNNAME;
    ids[0] = method->dispid;
    return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
  }

  HRESULT Invoke(DISPID dispid, const GUID* iid, LCID /*lcid*/, std::uint16_t flags,
                 DISPPARAMS* params, VARIANT* result, EXCEPINFO* /*exception*/,
                 std::uint32_t* argErr) override {
    if (iid && *iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    const ScriptMethod* method = findById(dispid);
    if (!method) return DISP_E_MEMBERNOTFOUND;
    const bool asMethod = (flags & DISPATCH_METHOD) != 0;
    // Script engines read a method without arguments as a property.
    const bool asGet = (flags & DISPATCH_PROPERTYGET) != 0 && method->params.empty();
    if (!asMethod && !asGet) return DISP_E_MEMBERNOTFOUND;
    if (!params) return E_INVALIDARG;
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (params->cArgs != method->params.size()) return DISP_E_BADPARAMCOUNT;
    if (params->cArgs != 0 && !params->rgvarg) return E_INVALIDARG;
    try {
      std::vector<ScriptArg> args(method->params.size());
      for (std::uint32_t i = 0; i < params->cArgs; ++i) {
        const std::uint32_t slot = params->cArgs - 1 - i;  // last-first
        if (const HRESULT hr = convertArgument(params->rgvarg[slot], method->params[i], args[i]);
            hr != S_OK) {
          if (argErr) *argErr = slot;
          return hr;
        }
      }
      const ScriptResult value = object_->invoke(method->dispid, args);
      if (result) return store(value, *result);
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_UNEXPECTED;
    }
  }

  HRESULT Draw(void* cairoContext, const RECTL* bounds) override {
    if (!cairoContext || !bounds) return E_POINTER;
    if (bounds->right < bounds->left || bounds->bottom < bounds->top) return E_INVALIDARG;
    try {
      // In double: the difference of two 32-bit values may not fit in one.
      const double width = static_cast<double>(bounds->right) - bounds->left;
      const double height = static_cast<double>(bounds->bottom) - bounds->top;
      return drawable_->draw(cairoContext, bounds->left, bounds->top, width, height) ? S_OK
                                                                                     : E_FAIL;
    } catch (...) {
      return E_FAIL;
    }
  }

  HRESULT GetInterfaceSafetyOptions(const GUID* iid, std::uint32_t* supported,
                                    std::uint32_t* enabled) override {
    if (!supported || !enabled) return E_POINTER;
    const HRESULT hr = lookUp(iid);
    *supported = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
    *enabled = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
    return hr;
  }

  HRESULT SetInterfaceSafetyOptions(const GUID* iid, std::uint32_t mask,
                                    std::uint32_t enabled) override {
    if (const HRESULT hr = lookUp(iid); hr != S_OK) return hr;
    // Both options are always on: asking for them succeeds, switching one off does not.
    constexpr std::uint32_t kBoth =
        INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
    return (mask & ~kBoth) == 0 && (mask & enabled) == mask ? S_OK : E_FAIL;
  }

 private:
  ~DispatchObject() {
    if (lifetime_) lifetime_->objectDestroyed();
  }

  // Whether the object has the interface (the reference the query takes is dropped at once).
  HRESULT lookUp(const GUID* iid) {
    void* unknown = nullptr;
    const HRESULT hr = QueryInterface(iid, &unknown);
    if (hr == S_OK) static_cast<IUnknown*>(unknown)->Release();
    return hr;
  }

  const ScriptMethod* findByName(const OLECHAR* name) const {
    if (!name) return nullptr;
    const std::u16string_view wanted(name);
    for (const auto& method : object_->methods())
      if (sameName(method.name, wanted)) return &method;
    return nullptr;
  }

  const ScriptMethod* findById(DISPID dispid) const {
    for (const auto& method : object_->methods())
      if (method.dispid == dispid) return &method;
    return nullptr;
  }

  static HRESULT store(const ScriptResult& value, VARIANT& result) {
    variantInit(result);
    if (const auto* flag = std::get_if<bool>(&value)) {
      result.vt = VT_BOOL;
      result.boolVal = *flag ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (const auto* number = std::get_if<std::int32_t>(&value)) {
      result.vt = VT_I4;
      result.lVal = *number;
    } else if (const auto* text = std::get_if<std::u16string>(&value)) {
      BSTR copy = sysAllocString(*text);
      if (!copy) return E_OUTOFMEMORY;
      result.vt = VT_BSTR;
      result.bstrVal = copy;
    }
    return S_OK;
  }

  std::atomic<ULONG> refs_{1};
  std::unique_ptr<ScriptObject> object_;
  DrawableScriptObject* drawable_;  // the same object when design tools may draw it, else null
  GUID dispatchIid_;
  ModuleLifetime* lifetime_;
};

}  // namespace

HRESULT convertArgument(const VARIANT& in, ParamKind kind, ScriptArg& out) {
  const VARIANT* v = &in;
  // A reference to a VARIANT is followed once; it may itself hold a reference to a value.
  if (v->vt == (VT_BYREF | VT_VARIANT)) {
    v = v->pvarVal;
    if (!v || v->vt == (VT_BYREF | VT_VARIANT)) return DISP_E_TYPEMISMATCH;
  }
  const bool byRef = (v->vt & VT_BYREF) != 0;
  if (byRef && !v->byref) return DISP_E_TYPEMISMATCH;
  const auto type = static_cast<VARTYPE>(v->vt & ~VT_BYREF);

  switch (kind) {
    case ParamKind::String:
      if (!byRef && (type == VT_NULL || type == VT_EMPTY)) {
        out = std::optional<std::u16string>();
        return S_OK;
      }
      if (type == VT_BSTR) {
        const BSTR text = byRef ? *v->pbstrVal : v->bstrVal;
        out =
            text ? std::optional<std::u16string>(bstrView(text)) : std::optional<std::u16string>();
        return S_OK;
      }
      return DISP_E_TYPEMISMATCH;

    case ParamKind::Long:
      switch (type) {
        case VT_I4:
          out = byRef ? *v->plVal : v->lVal;
          return S_OK;
        case VT_I2:
          out = static_cast<std::int32_t>(byRef ? *v->piVal : v->iVal);
          return S_OK;
        case VT_BOOL:
          out = static_cast<std::int32_t>((byRef ? *v->pboolVal : v->boolVal) != 0 ? 1 : 0);
          return S_OK;
        case VT_R8: {
          std::int32_t value = 0;
          const HRESULT hr = toLong(byRef ? *v->pdblVal : v->dblVal, value);
          if (hr == S_OK) out = value;
          return hr;
        }
        default:
          return DISP_E_TYPEMISMATCH;
      }

    case ParamKind::Date: {
      if (type != VT_DATE && type != VT_R8) return DISP_E_TYPEMISMATCH;
      const double date = byRef ? *v->pdate : v->date;
      if (!(date >= kFirstDate && date < kEndOfLastDate)) return DISP_E_OVERFLOW;
      out = date;
      return S_OK;
    }
  }
  return DISP_E_TYPEMISMATCH;
}

HRESULT createDispatchObject(std::unique_ptr<ScriptObject> object, const GUID& dispatchIid,
                             ModuleLifetime* lifetime, const GUID* iid, void** result) noexcept {
  if (!result) return E_POINTER;
  *result = nullptr;
  if (!object || !iid) return E_POINTER;
  DispatchObject* created = nullptr;
  try {
    created = new DispatchObject(std::move(object), dispatchIid, lifetime);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  const HRESULT hr = created->QueryInterface(iid, result);
  created->Release();  // the query's reference is the caller's; a failed query frees it
  return hr;
}

}  // namespace marqen::com
