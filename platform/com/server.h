#pragma once
// What an in-process server needs besides its objects: the count of live objects and locks
// behind DllCanUnloadNow, and class factories that live as long as the module.

#include <atomic>
#include <functional>
#include <span>

#include "platform/com/com_types.h"

namespace marqen::com {

class ModuleLifetime {
 public:
  void objectCreated() noexcept { objects_.fetch_add(1); }
  void objectDestroyed() noexcept { objects_.fetch_sub(1); }
  void lock() noexcept { locks_.fetch_add(1); }
  // An unlock without a lock is ignored, so a careless host cannot unload a module in use.
  void unlock() noexcept;
  // S_OK when no object and no lock is outstanding, else S_FALSE.
  HRESULT canUnloadNow() const noexcept;

 private:
  std::atomic<long> objects_{0};
  std::atomic<long> locks_{0};
};

// A class factory that lives as long as the module: references to it count as objects, so the
// module stays while a host holds one.
class ClassFactory final : public IClassFactory {
 public:
  using Create = std::function<HRESULT(const GUID* iid, void** object)>;

  ClassFactory(const GUID& clsid, ModuleLifetime& lifetime, Create create)
      : clsid_(clsid), lifetime_(lifetime), create_(std::move(create)) {}
  ClassFactory(const ClassFactory&) = delete;
  ClassFactory& operator=(const ClassFactory&) = delete;
  ~ClassFactory() = default;

  const GUID& clsid() const noexcept { return clsid_; }

  HRESULT QueryInterface(const GUID* iid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT CreateInstance(IUnknown* outer, const GUID* iid, void** object) override;
  HRESULT LockServer(std::int32_t lock) override;

 private:
  GUID clsid_;
  ModuleLifetime& lifetime_;
  Create create_;
};

// DllGetClassObject over a module's factories: the factory of the class, through the
// interface asked for; CLASS_E_CLASSNOTAVAILABLE for a class the module does not serve.
HRESULT getClassObject(std::span<ClassFactory* const> factories, const GUID* clsid, const GUID* iid,
                       void** object) noexcept;

}  // namespace marqen::com
