#pragma once
// The Windows component-object types, codes and interfaces with their binary layout, so that a
// host written in C (or any language that can call through a table of function pointers) meets
// our objects exactly as it would meet them on Windows.

#include <cstddef>
#include <cstdint>

namespace marqen::com {

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using DISPID = std::int32_t;
using LCID = std::uint32_t;
using VARIANT_BOOL = std::int16_t;
using DATE = double;
using VARTYPE = std::uint16_t;
// Text after a 32-bit byte count, ending with a zero unit (see automation.h).
using BSTR = char16_t*;
using OLECHAR = char16_t;

struct GUID {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];

  friend bool operator==(const GUID&, const GUID&) = default;
};
static_assert(sizeof(GUID) == 16);

constexpr HRESULT hresult(std::uint32_t code) {
  return static_cast<HRESULT>(code);
}
constexpr bool succeeded(HRESULT hr) {
  return hr >= 0;
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = hresult(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = hresult(0x80004002);
inline constexpr HRESULT E_POINTER = hresult(0x80004003);
inline constexpr HRESULT E_FAIL = hresult(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = hresult(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = hresult(0x80070005);
inline constexpr HRESULT E_OUTOFMEMORY = hresult(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = hresult(0x80070057);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = hresult(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = hresult(0x80040111);
inline constexpr HRESULT REGDB_E_READREGDB = hresult(0x80040150);
inline constexpr HRESULT REGDB_E_WRITEREGDB = hresult(0x80040151);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = hresult(0x80040154);
inline constexpr HRESULT SELFREG_E_TYPELIB = hresult(0x80040200);
inline constexpr HRESULT SELFREG_E_CLASS = hresult(0x80040201);
inline constexpr HRESULT CO_E_CLASSSTRING = hresult(0x800401F3);
inline constexpr HRESULT CO_E_DLLNOTFOUND = hresult(0x800401F8);
inline constexpr HRESULT CO_E_ERRORINDLL = hresult(0x800401F9);
inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = hresult(0x80020001);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = hresult(0x80020003);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = hresult(0x80020005);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = hresult(0x80020006);
inline constexpr HRESULT DISP_E_NONAMEDARGS = hresult(0x80020007);
inline constexpr HRESULT DISP_E_OVERFLOW = hresult(0x8002000A);
inline constexpr HRESULT DISP_E_BADINDEX = hresult(0x8002000B);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = hresult(0x8002000E);

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

inline constexpr std::uint16_t DISPATCH_METHOD = 1;
inline constexpr std::uint16_t DISPATCH_PROPERTYGET = 2;

inline constexpr std::uint32_t INTERFACESAFE_FOR_UNTRUSTED_CALLER = 1;
inline constexpr std::uint32_t INTERFACESAFE_FOR_UNTRUSTED_DATA = 2;

inline constexpr LCID kLcidEnglishUs = 0x0409;

inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_NULL = 1;
inline constexpr VARTYPE VT_I2 = 2;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_R8 = 5;
inline constexpr VARTYPE VT_DATE = 7;
inline constexpr VARTYPE VT_BSTR = 8;
inline constexpr VARTYPE VT_BOOL = 11;
inline constexpr VARTYPE VT_VARIANT = 12;
inline constexpr VARTYPE VT_BYREF = 0x4000;

struct VARIANT {
  VARTYPE vt;
  std::uint16_t wReserved1;
  std::uint16_t wReserved2;
  std::uint16_t wReserved3;
  union {
    std::int32_t lVal;
    std::int16_t iVal;
    VARIANT_BOOL boolVal;
    double dblVal;
    DATE date;
    BSTR bstrVal;
    std::int32_t* plVal;
    std::int16_t* piVal;
    VARIANT_BOOL* pboolVal;
    double* pdblVal;
    DATE* pdate;
    BSTR* pbstrVal;
    VARIANT* pvarVal;
    void* byref;
    struct {
      void* pvRecord;
      void* pRecInfo;
    } record;
  };
};
static_assert(sizeof(VARIANT) == 24 && offsetof(VARIANT, lVal) == 8);

// The arguments last-first, as on Windows.
struct DISPPARAMS {
  VARIANT* rgvarg;
  DISPID* rgdispidNamedArgs;
  std::uint32_t cArgs;
  std::uint32_t cNamedArgs;
};

// Part of the signature of Invoke; never filled, since no method raises a script error.
struct EXCEPINFO {
  std::uint16_t wCode;
  std::uint16_t wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  std::uint32_t dwHelpContext;
  void* pvReserved;
  void* pfnDeferredFillIn;
  HRESULT scode;
};

inline constexpr GUID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr GUID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID IID_IDispatch = {
    0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID IID_IObjectSafety = {
    0xCB5BDC81, 0x93C1, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
// The proxy of every dispatch interface, named in its registration.
inline constexpr GUID CLSID_PSDispatch = {
    0x00020420, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID CATID_SafeForScripting = {
    0x7DD95801, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};
inline constexpr GUID CATID_SafeForInitializing = {
    0x7DD95802, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};

// Interfaces: pure virtual functions in the Windows order and no virtual destructor, so an
// object is a pointer to a table of function pointers, each taking the object first. The
// destructors are protected: an object is freed by its last Release, never by delete.
struct IUnknown {
  virtual HRESULT QueryInterface(const GUID* iid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  IUnknown() = default;
  IUnknown(const IUnknown&) = default;
  IUnknown& operator=(const IUnknown&) = default;
  ~IUnknown() = default;
};

struct IClassFactory : IUnknown {
  virtual HRESULT CreateInstance(IUnknown* outer, const GUID* iid, void** object) = 0;
  virtual HRESULT LockServer(std::int32_t lock) = 0;

 protected:
  ~IClassFactory() = default;
};

struct IDispatch : IUnknown {
  virtual HRESULT GetTypeInfoCount(std::uint32_t* count) = 0;
  virtual HRESULT GetTypeInfo(std::uint32_t index, LCID lcid, void** typeInfo) = 0;
  virtual HRESULT GetIDsOfNames(const GUID* iid, const OLECHAR* const* names, std::uint32_t count,
                                LCID lcid, DISPID* ids) = 0;
  virtual HRESULT Invoke(DISPID dispid, const GUID* iid, LCID lcid, std::uint16_t flags,
                         DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                         std::uint32_t* argErr) = 0;

 protected:
  ~IDispatch() = default;
};

struct IObjectSafety : IUnknown {
  virtual HRESULT GetInterfaceSafetyOptions(const GUID* iid, std::uint32_t* supported,
                                            std::uint32_t* enabled) = 0;
  virtual HRESULT SetInterfaceSafetyOptions(const GUID* iid, std::uint32_t mask,
                                            std::uint32_t enabled) = 0;

 protected:
  ~IObjectSafety() = default;
};

// A rectangle as on Windows: left and top inside, right and bottom just outside.
struct RECTL {
  std::int32_t left;
  std::int32_t top;
  std::int32_t right;
  std::int32_t bottom;
};

// How a design tool has an object draw itself. Windows' IViewObject draws on a device context;
// here the surface is a cairo context, passed untyped so that a host need not link cairo.
// {923C42DC-2DD4-4365-8AAF-81DF1F99831C}
inline constexpr GUID IID_IViewCairo = {
    0x923C42DC, 0x2DD4, 0x4365, {0x8A, 0xAF, 0x81, 0xDF, 0x1F, 0x99, 0x83, 0x1C}};
struct IViewCairo : IUnknown {
  // S_OK when drawn, E_POINTER for a null context or bounds, E_INVALIDARG for bounds whose right
  // or bottom lies before their left or top, E_FAIL when nothing could be drawn.
  virtual HRESULT Draw(void* cairoContext, const RECTL* bounds) = 0;

 protected:
  ~IViewCairo() = default;
};

// The four exports of an in-process server.
using DllGetClassObjectFn = HRESULT(const GUID* clsid, const GUID* iid, void** object);
using DllCanUnloadNowFn = HRESULT();
using DllRegisterServerFn = HRESULT();
using DllUnregisterServerFn = HRESULT();

}  // namespace marqen::com
