#include "platform/com/class_registration.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

#include "platform/com/categories.h"
#include "platform/com/guid.h"

namespace marqen::com {

void writeClassKeys(RegistryKeys& keys, const ClassEntry& entry, const std::string& modulePath) {
  const std::string clsid = guidToString(entry.clsid);
  const std::string key = classKey(entry.clsid);
  keys.setValue(key, "", std::string(entry.typeName));
  keys.setValue(key + "\\InprocServer32", "", modulePath);
  keys.setValue(key + "\\InprocServer32", "ThreadingModel", std::string("Apartment"));
  if (entry.progId.empty()) return;
  const std::string progIdKey = std::string(kClassesRoot) + std::string(entry.progId);
  keys.setValue(progIdKey, "", std::string(entry.typeName));
  keys.setValue(progIdKey + "\\CLSID", "", clsid);
  keys.setValue(key + "\\ProgID", "", std::string(entry.progId));
}

void deleteClassKeys(RegistryKeys& keys, const ClassEntry& entry) {
  if (!entry.progId.empty()) keys.deleteTree(std::string(kClassesRoot) + std::string(entry.progId));
  keys.deleteTree(classKey(entry.clsid), "Implemented Categories");
}

std::string modulePathOf(const void* address) {
  Dl_info info{};
  if (::dladdr(address, &info) == 0 || !info.dli_fname || !*info.dli_fname) return {};
  std::error_code ec;
  const auto absolute = std::filesystem::absolute(info.dli_fname, ec);
  return ec ? std::string() : absolute.lexically_normal().string();
}

}  // namespace marqen::com
