#include "platform/com/server.h"

#include <new>

namespace marqen::com {

void ModuleLifetime::unlock() noexcept {
  long locks = locks_.load();
  while (locks > 0 && !locks_.compare_exchange_weak(locks, locks - 1)) {
  }
}

HRESULT ModuleLifetime::canUnloadNow() const noexcept {
  return objects_.load() == 0 && locks_.load() == 0 ? S_OK : S_FALSE;
}

HRESULT ClassFactory::QueryInterface(const GUID* iid, void** object) {
  if (!iid || !object) return E_POINTER;
  if (*iid == IID_IUnknown || *iid == IID_IClassFactory) {
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG ClassFactory::AddRef() {
  lifetime_.objectCreated();
  return 2;
}

ULONG ClassFactory::Release() {
  lifetime_.objectDestroyed();
  return 1;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, const GUID* iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  if (!iid) return E_POINTER;
  try {
    return create_(iid, object);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT ClassFactory::LockServer(std::int32_t lock) {
  if (lock)
    lifetime_.lock();
  else
    lifetime_.unlock();
  return S_OK;
}

HRESULT getClassObject(std::span<ClassFactory* const> factories, const GUID* clsid, const GUID* iid,
                       void** object) noexcept {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!clsid || !iid) return E_POINTER;
  for (ClassFactory* factory : factories)
    if (factory->clsid() == *clsid) return factory->QueryInterface(iid, object);
  return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace marqen::com
