#include "platform/os/shared_library.h"

#include <dlfcn.h>

#include <utility>

#include "platform/os/host_program.h"

namespace marqen::os {

std::string sharedObjectName(std::string_view windowsName) {
  std::string base(windowsName);
  const auto slash = base.find_last_of("/\\");
  std::string folder;
  if (slash != std::string::npos) {
    folder = base.substr(0, slash + 1);
    base.erase(0, slash + 1);
  }
  if (base.size() >= 3 && base.compare(base.size() - 3, 3, ".so") == 0) return folder + base;
  const auto dot = base.rfind('.');
  if (dot != std::string::npos) {
    std::string ext = base.substr(dot);
    for (auto& c : ext)
      c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (ext == ".dll") base.erase(dot);
  }
  if (base.rfind("lib", 0) != 0) base.insert(0, "lib");
  return folder + base + ".so";
}

std::string callingModuleFolder() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&callingModuleFolder), &info) == 0 || !info.dli_fname)
    return {};
  return folderOf(info.dli_fname);
}

std::optional<SharedLibrary> SharedLibrary::load(std::string_view windowsName) {
  const std::string name = sharedObjectName(windowsName);
  void* handle = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle && name.find('/') == std::string::npos) {
    const std::string beside = callingModuleFolder() + "/" + name;
    handle = ::dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  // An installed program's modules lie in the library folder of its prefix. Its RUNPATH says
  // so too, but an interposed dlopen (a sanitizer's, a preloaded library's) searches with the
  // interposer's path instead of the program's.
  if (const std::string program = hostProgramFolder();
      !handle && name.find('/') == std::string::npos && !program.empty()) {
    const std::string installed = program + "/" MARQEN_LIB_FROM_BIN "/" + name;
    handle = ::dlopen(installed.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  if (!handle) return std::nullopt;
  return SharedLibrary(handle);
}

std::optional<SharedLibrary> SharedLibrary::loadBesideForGood(std::string_view fileName,
                                                              std::string& problem) {
  const std::string path = callingModuleFolder() + "/" + std::string(fileName);
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (!handle) {
    const char* reason = ::dlerror();
    problem = reason ? reason : path + ": cannot be loaded";
    return std::nullopt;
  }
  return SharedLibrary(handle);
}

bool SharedLibrary::isLoaded(std::string_view windowsName) {
  const std::string name = sharedObjectName(windowsName);
  void* handle = ::dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!handle && name.find('/') == std::string::npos) {
    const std::string beside = callingModuleFolder() + "/" + name;
    handle = ::dlopen(beside.c_str(), RTLD_NOW | RTLD_NOLOAD);
  }
  if (!handle) return false;
  ::dlclose(handle);  // drop the reference that RTLD_NOLOAD took
  return true;
}

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
  if (this != &other) {
    if (handle_) ::dlclose(handle_);
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

SharedLibrary::~SharedLibrary() {
  if (handle_) ::dlclose(handle_);
}

void* SharedLibrary::symbol(const char* name) const noexcept {
  return handle_ ? ::dlsym(handle_, name) : nullptr;
}

}  // namespace marqen::os
