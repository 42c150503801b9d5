#pragma once
// The keys of an in-process class as the component runtime reads them, for modules that
// register themselves.

#include <string>
#include <string_view>

#include "platform/com/com_types.h"
#include "platform/com/registry.h"

namespace marqen::com {

struct ClassEntry {
  GUID clsid;
  std::string_view progId;  // empty for a class without one
  std::string_view typeName;
};

// The ProgID with its CLSID, and the CLSID with its type name, InprocServer32 (the module's
// path, apartment threading) and ProgID.
void writeClassKeys(RegistryKeys& keys, const ClassEntry& entry, const std::string& modulePath);
// Removes what writeClassKeys wrote and every other key of the class, except the component
// categories it implements.
void deleteClassKeys(RegistryKeys& keys, const ClassEntry& entry);

// The absolute path of the module (executable or shared object) holding `address`; empty when
// it cannot be found.
std::string modulePathOf(const void* address);

}  // namespace marqen::com
