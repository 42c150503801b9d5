// The control called in process, as the bridge calls it for a page: one getErrorMessage and one
// 1 KiB sign through IDispatch. The page's figures for the same calls come from the browser
// tests, which print them.

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>

#include "bridge/control_session.h"
#include "platform/os/shared_library.h"
#include "tests/support/pki_builder.h"
#include "tests/support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

template <typename Call>
double millisecondsPerCall(int count, Call call) {
  const auto start = Clock::now();
  for (int i = 0; i < count; ++i)
    call();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / count;
}

}  // namespace

// With PFX PASSWORD, signs with that key file instead of one made here.
int main(int argc, char** argv) {
  using namespace marqen;
  const test::TempDir dir;
  ::setenv("MARQEN_REGISTRY", (dir.path() / "registry.json").c_str(), 1);
  ::setenv("MARQEN_CERTSTORE", (dir.path() / "certstore").c_str(), 1);
  const auto module = os::SharedLibrary::load("MarqenI.dll");
  auto* registerServer = module ? module->function<std::int32_t()>("DllRegisterServer") : nullptr;
  if (!registerServer || registerServer() != 0) {
    std::cerr << "the control cannot be registered\n";
    return 1;
  }
  const test::Issued root = test::makeRootCa("Bridge Bench Root");
  const test::Issued signer = test::makeEndEntity("Bridge Bench Signer", root);
  test::PfxOptions pfx;
  pfx.holder = &signer;
  pfx.password = "bench";
  std::string pfxFile = dir.file("signer.pfx");
  std::string password = "bench";
  test::writeBytes(pfxFile, test::makePfx(pfx));
  if (argc == 3) {
    pfxFile = argv[1];
    password = argv[2];
  }

  std::string problem;
  const auto control = bridge::ControlSession::create(problem);
  if (!control) {
    std::cerr << problem << '\n';
    return 1;
  }
  control->call("updateData", {std::string(1024, 'k')});
  if (control->call("setSigningCertFromFile", {pfxFile, password}).result != true) {
    std::cerr << "the signer cannot be set\n";
    return 1;
  }
  const double status = millisecondsPerCall(2000, [&] { control->call("getErrorMessage", {}); });
  const double sign = millisecondsPerCall(50, [&] {
    if (!control->call("sign", {}).result.is_string()) std::abort();
  });
  std::cout << "in process through IDispatch: getErrorMessage " << status << " ms, 1 KiB sign "
            << sign << " ms\n";
  return 0;
}
