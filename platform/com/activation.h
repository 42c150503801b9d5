#pragma once
// Activation of an in-process server for a host, as the component runtime does it: ProgID to
// CLSID, CLSID to the module registered as its InprocServer32, the module loaded, its class
// factory asked for an instance. The module is unloaded only when it says it can be.

#include <memory>
#include <string>
#include <string_view>

#include "platform/com/com_ptr.h"
#include "platform/com/com_types.h"
#include "platform/com/registry.h"

namespace marqen::com {

// A loaded in-process server, shared by everything activated from it in the process. When the
// last holder goes, the module is unloaded if DllCanUnloadNow allows it, and otherwise kept for
// the life of the process, since objects of it may still be alive.
class InprocModule {
 public:
  // Loads the module from its path; empty with the loader's reason on failure.
  static std::shared_ptr<InprocModule> load(const std::string& path, std::string& problem);
  InprocModule(const InprocModule&) = delete;
  InprocModule& operator=(const InprocModule&) = delete;
  ~InprocModule();

  HRESULT getClassObject(const GUID& clsid, const GUID& iid, void** object) const;
  HRESULT canUnloadNow() const;
  // Registration exports, when the module has them (E_NOTIMPL otherwise).
  HRESULT registerServer() const;
  HRESULT unregisterServer() const;

 private:
  explicit InprocModule(void* handle) noexcept : handle_(handle) {}
  void* symbol(const char* name) const noexcept;
  void* handle_;
};

// An activated object: the interface, and the module that must outlive it.
class ActivatedObject {
 public:
  ActivatedObject() = default;
  ActivatedObject(std::shared_ptr<InprocModule> module, ComPtr<IUnknown> object)
      : module_(std::move(module)), object_(std::move(object)) {}
  ActivatedObject(ActivatedObject&&) noexcept = default;
  ActivatedObject& operator=(ActivatedObject&& other) noexcept {
    object_ = std::move(other.object_);  // the object before its module
    module_ = std::move(other.module_);
    return *this;
  }
  ActivatedObject(const ActivatedObject&) = delete;
  ActivatedObject& operator=(const ActivatedObject&) = delete;
  ~ActivatedObject() { object_.reset(); }

  IUnknown* get() const noexcept { return object_.get(); }
  template <typename Other>
  ComPtr<Other> query(const GUID& iid) const noexcept {
    return object_.template query<Other>(iid);
  }
  const std::shared_ptr<InprocModule>& module() const noexcept { return module_; }

 private:
  std::shared_ptr<InprocModule> module_;
  ComPtr<IUnknown> object_;
};

// The CLSID a ProgID names (a CLSID in braces stands for itself); CO_E_CLASSSTRING when the
// registry does not know it, REGDB_E_READREGDB when the registry cannot be read.
HRESULT clsidFromProgId(const Registry& registry, std::string_view progIdOrClsid, GUID& clsid);

// Creates an instance of a registered class. On failure `problem` says why in a line of text.
HRESULT createInstance(const Registry& registry, std::string_view progIdOrClsid,
                       ActivatedObject& object, std::string& problem);

// Safe for scripting as a browser decides it: the object's IObjectSafety accepts both safety
// options for IDispatch, or its class is registered in both safe component categories.
bool isSafeForScripting(const Registry& registry, const GUID& clsid, IUnknown* object);

}  // namespace marqen::com
