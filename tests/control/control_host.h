#pragma once
// A test folder with its own registry and certificate store, the control registered in it.

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/com/activation.h"
#include "tests/support/temp_dir.h"

namespace marqen::test {

inline const std::string kControlFile = std::filesystem::canonical(MARQEN_CONTROL_FILE).string();

class ControlHost {
 public:
  ControlHost() {
    ::setenv("MARQEN_REGISTRY", registry_.file().c_str(), 1);
    ::setenv("MARQEN_CERTSTORE", (dir_.path() / "certstore").c_str(), 1);
  }
  ~ControlHost() {
    ::unsetenv("MARQEN_REGISTRY");
    ::unsetenv("MARQEN_CERTSTORE");
  }
  ControlHost(const ControlHost&) = delete;
  ControlHost& operator=(const ControlHost&) = delete;

  const TempDir& dir() const { return dir_; }
  const com::Registry& registry() const { return registry_; }

  com::HRESULT registerControl() const { return load()->registerServer(); }
  com::HRESULT unregisterControl() const { return load()->unregisterServer(); }

 private:
  static std::shared_ptr<com::InprocModule> load() {
    std::string problem;
    auto module = com::InprocModule::load(kControlFile, problem);
    if (!module) throw std::runtime_error(problem);
    return module;
  }

  TempDir dir_;
  com::Registry registry_{dir_.path() / "registry.json"};
};

}  // namespace marqen::test
