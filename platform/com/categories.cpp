#include "platform/com/categories.h"

#include <charconv>
#include <utility>

#include "platform/com/guid.h"
#include "platform/os/text.h"

namespace marqen::com {
namespace {

std::string categoryKey(const GUID& catid) {
  return std::string(kClassesRoot) + "Component Categories\\" + guidToString(catid);
}

std::string implementedKey(const GUID& clsid, const GUID& catid) {
  return classKey(clsid) + "\\Implemented Categories\\" + guidToString(catid);
}

HRESULT updateRegistry(const Registry& registry,
                       const std::function<void(RegistryKeys&)>& change) noexcept {
  try {
    registry.update(change);
    return S_OK;
  } catch (const RegistryError&) {
    return REGDB_E_WRITEREGDB;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

class StdComponentCategoriesMgr final : public ComponentCategoriesManager {
 public:
  explicit StdComponentCategoriesMgr(Registry registry) : registry_(std::move(registry)) {}

  HRESULT RegisterCategories(std::span<const CATEGORYINFO> categories) override {
    return updateRegistry(registry_, [categories](RegistryKeys& keys) {
      for (const auto& info : categories) {
        // The locale as Windows names the value: hexadecimal, no leading zeros.
        std::array<char, 8> locale{};
        const auto end = std::to_chars(locale.data(), locale.data() + locale.size(), info.lcid, 16);
        const std::u16string_view description(info.szDescription.data(),
                                              os::wideLength(info.szDescription.data()));
        keys.setValue(categoryKey(info.catid), std::string_view(locale.data(), end.ptr),
                      os::toUtf8(description));
      }
    });
  }

  HRESULT RegisterClassImplCategories(const GUID& clsid,
                                      std::span<const GUID> categories) override {
    return updateRegistry(registry_, [&clsid, categories](RegistryKeys& keys) {
      for (const auto& catid : categories)
        keys.createKey(implementedKey(clsid, catid));
    });
  }

  HRESULT UnRegisterClassImplCategories(const GUID& clsid,
                                        std::span<const GUID> categories) override {
    return updateRegistry(registry_, [&clsid, categories](RegistryKeys& keys) {
      for (const auto& catid : categories)
        keys.deleteTree(implementedKey(clsid, catid));
    });
  }

 private:
  Registry registry_;
};

}  // namespace

std::string classKey(const GUID& clsid) {
  return std::string(kClassesRoot) + "CLSID\\" + guidToString(clsid);
}

HRESULT createStdComponentCategoriesMgr(const Registry& registry,
                                        std::unique_ptr<ComponentCategoriesManager>& manager) {
  try {
    manager = std::make_unique<StdComponentCategoriesMgr>(registry);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace marqen::com
