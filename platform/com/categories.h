#pragma once
// The component-categories manager: category descriptions and the categories a class
// implements, kept in the registry as Windows keeps them.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "platform/com/com_types.h"
#include "platform/com/registry.h"

namespace marqen::com {

struct CATEGORYINFO {
  GUID catid;
  LCID lcid;
  std::array<OLECHAR, 128> szDescription;  // zero-terminated
};

class ComponentCategoriesManager {
 public:
  virtual ~ComponentCategoriesManager() = default;
  virtual HRESULT RegisterCategories(std::span<const CATEGORYINFO> categories) = 0;
  virtual HRESULT RegisterClassImplCategories(const GUID& clsid,
                                              std::span<const GUID> categories) = 0;
  virtual HRESULT UnRegisterClassImplCategories(const GUID& clsid,
                                                std::span<const GUID> categories) = 0;
};

// How a module obtains the manager; a test can hand it one that cannot be created.
using CreateCategoriesManager =
    std::function<HRESULT(const Registry& registry, std::unique_ptr<ComponentCategoriesManager>&)>;

// The standard manager over the registry file.
HRESULT createStdComponentCategoriesMgr(const Registry& registry,
                                        std::unique_ptr<ComponentCategoriesManager>& manager);

// "HKEY_CLASSES_ROOT\CLSID\{...}"
std::string classKey(const GUID& clsid);

}  // namespace marqen::com
