#include "platform/com/activation.h"

#include <dlfcn.h>

#include <map>
#include <mutex>

#include "platform/com/categories.h"
#include "platform/com/guid.h"

namespace marqen::com {

std::shared_ptr<InprocModule> InprocModule::load(const std::string& path, std::string& problem) {
  // One holder per module in the process, so that the last one to go asks DllCanUnloadNow
  // when every object and lock of every activation has been released.
  static std::mutex mutex;
  static std::map<std::string, std::weak_ptr<InprocModule>> loaded;
  const std::lock_guard lock(mutex);
  std::erase_if(loaded, [](const auto& entry) { return entry.second.expired(); });
  if (auto held = loaded[path].lock()) return held;
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    loaded.erase(path);
    const char* reason = ::dlerror();
    problem = reason ? reason : path + ": cannot be loaded";
    return nullptr;
  }
  std::shared_ptr<InprocModule> module(new InprocModule(handle));
  loaded[path] = module;
  return module;
}

InprocModule::~InprocModule() {
  if (canUnloadNow() == S_OK) ::dlclose(handle_);
}

void* InprocModule::symbol(const char* name) const noexcept {
  return ::dlsym(handle_, name);
}

HRESULT InprocModule::getClassObject(const GUID& clsid, const GUID& iid, void** object) const {
  auto* get = reinterpret_cast<DllGetClassObjectFn*>(symbol("DllGetClassObject"));
  if (!get) return CO_E_ERRORINDLL;
  return get(&clsid, &iid, object);
}

HRESULT InprocModule::canUnloadNow() const {
  auto* canUnload = reinterpret_cast<DllCanUnloadNowFn*>(symbol("DllCanUnloadNow"));
  return canUnload ? canUnload() : S_FALSE;
}

HRESULT InprocModule::registerServer() const {
  auto* call = reinterpret_cast<DllRegisterServerFn*>(symbol("DllRegisterServer"));
  return call ? call() : E_NOTIMPL;
}

HRESULT InprocModule::unregisterServer() const {
  auto* call = reinterpret_cast<DllUnregisterServerFn*>(symbol("DllUnregisterServer"));
  return call ? call() : E_NOTIMPL;
}

HRESULT clsidFromProgId(const Registry& registry, std::string_view progIdOrClsid, GUID& clsid) {
  if (const auto guid = guidFromString(progIdOrClsid)) {
    clsid = *guid;
    return S_OK;
  }
  try {
    const RegistryKeys keys = registry.read();
    const auto text = keys.text(std::string(kClassesRoot) + std::string(progIdOrClsid) + "\\CLSID");
    const auto guid = text ? guidFromString(*text) : std::nullopt;
    if (progIdOrClsid.empty() || !guid) return CO_E_CLASSSTRING;
    clsid = *guid;
    return S_OK;
  } catch (const RegistryError&) {
    return REGDB_E_READREGDB;
  }
}

HRESULT createInstance(const Registry& registry, std::string_view progIdOrClsid,
                       ActivatedObject& object, std::string& problem) {
  const std::string name(progIdOrClsid);
  GUID clsid{};
  if (const HRESULT hr = clsidFromProgId(registry, name, clsid); hr != S_OK) {
    problem = hr == CO_E_CLASSSTRING ? name + ": no such class is registered"
                                     : registry.file().string() + ": cannot be read";
    return hr;
  }
  std::optional<std::string> path;
  try {
    path = registry.read().text(classKey(clsid) + "\\InprocServer32");
  } catch (const RegistryError& e) {
    problem = e.what();
    return REGDB_E_READREGDB;
  }
  if (!path || path->empty()) {
    problem = name + ": the class " + guidToString(clsid) + " is not registered";
    return REGDB_E_CLASSNOTREG;
  }
  std::string reason;
  auto module = InprocModule::load(*path, reason);
  if (!module) {
    problem = reason;
    return CO_E_DLLNOTFOUND;
  }
  ComPtr<IClassFactory> factory;
  if (const HRESULT hr = module->getClassObject(clsid, IID_IClassFactory, factory.put());
      hr != S_OK) {
    problem = *path + ": no class object for " + guidToString(clsid);
    return hr;
  }
  ComPtr<IUnknown> instance;
  if (const HRESULT hr = factory->CreateInstance(nullptr, &IID_IUnknown, instance.put());
      hr != S_OK) {
    problem = *path + ": the class object made no instance of " + guidToString(clsid);
    return hr;
  }
  factory.reset();
  object = ActivatedObject(std::move(module), std::move(instance));
  return S_OK;
}

bool isSafeForScripting(const Registry& registry, const GUID& clsid, IUnknown* object) {
  if (!object) return false;
  constexpr std::uint32_t kBoth =
      INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
  ComPtr<IObjectSafety> safety;
  if (object->QueryInterface(&IID_IObjectSafety, safety.put()) == S_OK &&
      safety->SetInterfaceSafetyOptions(&IID_IDispatch, kBoth, kBoth) == S_OK)
    return true;
  try {
    const RegistryKeys keys = registry.read();
    const std::string implemented = classKey(clsid) + "\\Implemented Categories\\";
    return keys.hasKey(implemented + guidToString(CATID_SafeForScripting)) &&
           keys.hasKey(implemented + guidToString(CATID_SafeForInitializing));
  } catch (const RegistryError&) {
    return false;
  }
}

}  // namespace marqen::com
