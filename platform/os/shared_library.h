#pragma once
// Run-time loading of a shared library by its Windows-style name ("X.dll" loads "libX.so").

#include <optional>
#include <string>
#include <string_view>

namespace marqen::os {

// "Marqen_InterfaceV2.dll" -> "libMarqen_InterfaceV2.so"; a name that already ends in ".so"
// is kept as it is.
std::string sharedObjectName(std::string_view windowsName);

// Folder of the module (executable or shared object) that contains this code.
std::string callingModuleFolder();

class SharedLibrary {
 public:
  // Searches the standard path (with the asking module's RUNPATH), then the folder of the
  // module that asks, then the library folder beside the program's folder (../lib once
  // installed). Empty when the library cannot be loaded.
  static std::optional<SharedLibrary> load(std::string_view windowsName);
  // Loads the file of that name from the folder of the module that asks, and only from there,
  // so no search path can put another file in its place. Once loaded it stays for the life of
  // the process. On failure `problem` gets the loader's reason.
  static std::optional<SharedLibrary> loadBesideForGood(std::string_view fileName,
                                                        std::string& problem);
  // True while the library is mapped in this process (does not load it).
  static bool isLoaded(std::string_view windowsName);

  SharedLibrary(SharedLibrary&& other) noexcept;
  SharedLibrary& operator=(SharedLibrary&& other) noexcept;
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;
  ~SharedLibrary();

  // Address of an exported symbol, or null.
  void* symbol(const char* name) const noexcept;

  template <typename Function>
  Function* function(const char* name) const noexcept {
    return reinterpret_cast<Function*>(symbol(name));
  }

 private:
  explicit SharedLibrary(void* handle) noexcept : handle_(handle) {}
  void* handle_ = nullptr;
};

}  // namespace marqen::os
