#pragma once
// Registration of the control module: its type library, the control class with its component
// categories, and the property page class.

#include <string>

#include "platform/com/categories.h"
#include "platform/com/com_types.h"
#include "platform/com/registry.h"

namespace marqen::control {

// SELFREG_E_TYPELIB when the type library cannot be registered, SELFREG_E_CLASS when a class
// cannot; a categories manager that cannot be created, or that fails, costs only the
// categories.
com::HRESULT registerServer(const com::Registry& registry, const std::string& modulePath,
                            const com::CreateCategoriesManager& createManager);
// Leaves the component-category entries of the control class in place.
com::HRESULT unregisterServer(const com::Registry& registry);

}  // namespace marqen::control
