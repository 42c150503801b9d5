// Start-up figures: what loading the library costs a process that loads and unloads it for
// each call (dlopen plus dlclose; the target is for the repeated calls, as the first also maps
// libcrypto, which OpenSSL then keeps), against loading libcurl, which the library now loads
// only for a download; and a whole `marqen sign` of 1 KiB against `openssl cms -sign` of the
// same file.
// Prints every figure with its target; exits non-zero only when an operation fails.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/hex.h"
#include "tests/support/pki_builder.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kLoadRepetitions = 300;
constexpr int kProcessRepetitions = 41;
constexpr double kLoadTargetMs = 1.0;        // dlopen + dlclose of the library
constexpr double kProcessRatioTarget = 1.0;  // marqen sign over openssl cms -sign

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what);
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double medianMs(int repetitions, const std::function<void()>& operation) {
  operation();  // the files are in the page cache from here on
  std::vector<double> times;
  for (int i = 0; i < repetitions; ++i) {
    const auto start = Clock::now();
    operation();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  return median(times);
}

const char* verdict(bool met) {
  return met ? "met" : "MISSED";
}

void run(const std::vector<std::string>& command) {
  std::vector<char*> argv;
  for (const auto& a : command)
    argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int started = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) fail("cannot start " + command[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) fail(command[0] + " failed");
}

// Each figure comes from a probe process that has none of the library's dependencies loaded.
struct LoadFigures {
  double firstMs = -1;   // the first load into the process
  double repeatMs = -1;  // median of the following ones
  bool stays = false;    // still mapped after dlclose
};

LoadFigures probeLoad(const fs::path& folder, const std::string& library) {
  const std::string command = (folder / "marqen_load_probe").string() + " '" + library + "' " +
                              std::to_string(kLoadRepetitions);
  FILE* probe = ::popen(command.c_str(), "r");
  if (!probe) fail("cannot start the load probe");
  LoadFigures figures;
  int stays = 0;
  const int read = std::fscanf(probe, "%lf %lf %d", &figures.firstMs, &figures.repeatMs, &stays);
  if (::pclose(probe) != 0 || read != 3) fail("the load probe failed for " + library);
  figures.stays = stays != 0;
  return figures;
}

void printLoad(const char* what, const LoadFigures& figures, bool withTarget) {
  std::printf("%-34s first %7.3f ms, then %7.3f ms%s", what, figures.firstMs, figures.repeatMs,
              figures.stays ? " (stays mapped after dlclose)" : "");
  if (withTarget)
    std::printf("   target < %.1f ms: %s", kLoadTargetMs,
                verdict(figures.repeatMs < kLoadTargetMs));
  std::printf("\n");
}

void benchLoading(const fs::path& folder) {
  std::printf("dlopen + dlclose, in a process without the library's dependencies:\n");
  printLoad("  the library", probeLoad(folder, (folder / "libMarqen_InterfaceV2.so.2").string()),
            true);
  // What each load paid before the download code moved into its module.
  printLoad("  for comparison: libcurl.so.4", probeLoad(folder, "libcurl.so.4"), false);
  printLoad("  the download module", probeLoad(folder, (folder / "libmarqen_net.so").string()),
            false);
}

void benchSignCommand(const fs::path& folder, const std::string& openssl) {
  marqen::test::TempDir dir;
  ::setenv("MARQEN_CERTSTORE", (dir.path() / "store").c_str(), 1);
  const auto root = marqen::test::makeRootCa("Bench Root");
  const auto signer = marqen::test::makeEndEntity("Bench Signer", root);
  marqen::test::addToStore(dir.path() / "store", "MY", "signer", signer, true);
  marqen::test::addToStore(dir.path() / "store", "ROOT", "root", root);
  const std::string input = dir.file("input.bin");
  marqen::test::writeFile(input, std::string(1024, 'x'));
  const std::string certificate = dir.file("signer.pem"), key = dir.file("signer.key");
  marqen::test::writeFile(certificate, signer.pem());
  marqen::test::writeFile(key, signer.keyPem());
  const std::string output = dir.file("out.der");

  const double marqen = medianMs(kProcessRepetitions, [&] {
    run({(folder / "marqen").string(), "sign", "--in", input, "--issuer",
         "CN=Bench Root, O=Marqen Test", "--serial",
         marqen::test::hexOf(marqen::test::serialOf(signer)), "--der", "--out", output});
  });
  const double reference = medianMs(kProcessRepetitions, [&] {
    run({openssl, "cms", "-sign", "-binary", "-md", "sha1", "-in", input, "-signer", certificate,
         "-inkey", key, "-outform", "DER", "-out", output});
  });
  std::printf("marqen sign, 1 KiB (whole process) %7.2f ms\n", marqen);
  std::printf("openssl cms -sign, same file       %7.2f ms   ratio %.2f, target <= %.1f: %s\n",
              reference, marqen / reference, kProcessRatioTarget,
              verdict(marqen / reference <= kProcessRatioTarget));
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const fs::path folder = fs::canonical("/proc/self/exe").parent_path();
    const std::string openssl = argc > 1 ? argv[1] : OPENSSL_CLI;
    std::printf("start-up (medians; %d loads, %d runs of each program)\n", kLoadRepetitions,
                kProcessRepetitions);
    benchLoading(folder);
    benchSignCommand(folder, openssl);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "startup bench: %s\n", e.what());
    return 1;
  }
}
