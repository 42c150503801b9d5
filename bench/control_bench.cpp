// One 1 KiB signature through the control's script method `sign` (the library loaded, called
// and unloaded on every call) against the same signature through the library's export, loaded
// once and kept. Both in this one process, one after the other, so that the control's loads
// are real loads: the direct measurement unloads the library before the control's begins.
// Prints the figures and the target; exits non-zero only when an operation fails.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "control/script/marqen_ctrl.h"
#include "library/include/Marqen_InterfaceV2.h"
#include "platform/os/shared_library.h"
#include "platform/os/text.h"
#include "tests/support/pki_builder.h"
#include "tests/support/temp_cert_store.h"

namespace {

using Clock = std::chrono::steady_clock;
using marqen::os::SharedLibrary;

constexpr const char* kLibrary = "libMarqen_InterfaceV2.so";
constexpr std::size_t kSize = 1024;
constexpr int kBatches = 7;
constexpr int kBatchSize = 40;
constexpr double kControlTargetMs = 5.0;  // one control sign, load and unload included

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what);
}

// Median time per operation over batches, after one warm-up batch.
double medianMs(const std::function<void()>& operation) {
  for (int i = 0; i < kBatchSize; ++i)
    operation();
  std::vector<double> times;
  for (int b = 0; b < kBatches; ++b) {
    const auto start = Clock::now();
    for (int i = 0; i < kBatchSize; ++i)
      operation();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count() /
                    kBatchSize);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

std::string hexSerial(const marqen::test::Issued& issued) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (const unsigned char byte : marqen::test::serialOf(issued)) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

// The same 1 KiB through the export, with the request the control builds from its defaults.
double directMs(std::string& data, const std::string& issuer, std::string serial) {
  auto library = SharedLibrary::load(kLibrary);
  if (!library) fail("cannot load " + std::string(kLibrary));
  const auto signExport = library->function<decltype(::sign)>("sign");
  if (!signExport) fail("no sign export");
  std::u16string issuerDN = marqen::os::toUtf16(issuer);
  CertificateLocator locator{issuerDN.data(), serial.data(), nullptr, nullptr, LOCATION_STORE};
  DataBuffer content{nullptr, reinterpret_cast<unsigned char*>(data.data()),
                     static_cast<int32_t>(data.size()), DATA_IN_MEMORY};
  SignRequest request{&content,
                      &locator,
                      nullptr,
                      0,
                      HASH_SHA1,
                      SIGNING_RSA,
                      SIGNATURE_ATTACHED,
                      FORMAT_BASE64,
                      0,
                      REVOCATION_OFFLINE,
                      REVOCATION_NONE,
                      0,
                      DATA_IN_MEMORY,
                      nullptr};
  return medianMs([&] {
    DataBuffer result{};
    DataBuffer* resultPointer = &result;
    const ErrorCode code = signExport(&request, &resultPointer);
    std::free(result.data);
    if (code != 0) fail("sign failed: " + std::to_string(code));
  });
}

double controlMs(const std::string& data, const std::string& issuer, const std::string& serial) {
  marqen::control::CMarqenCtrl control;
  if (!control.updateData(marqen::os::toUtf16(data)) ||
      !control.setSigningCertFromStore(marqen::os::toUtf16(issuer), marqen::os::toUtf16(serial)))
    fail("the control did not take its input");
  return medianMs([&] {
    if (control.sign().empty())
      fail("control sign failed: " + marqen::os::toUtf8(control.getErrorMessage()));
  });
}

}  // namespace

int main() {
  try {
    const marqen::test::TempCertStore store;
    const marqen::test::Issued root = marqen::test::makeRootCa("Bench Root");
    const marqen::test::Issued holder = marqen::test::makeEndEntity("Bench Signer", root);
    store.add("MY", "signer", holder, true);
    const std::string issuer = "CN=Bench Root, O=Marqen Test";
    const std::string serial = hexSerial(holder);
    // Text, as a script hands it over.
    std::string data(kSize, 'x');
    for (std::size_t i = 0; i < data.size(); ++i)
      data[i] = static_cast<char>('a' + (i * 7919) % 26);

    const double direct = directMs(data, issuer, serial);
    if (SharedLibrary::isLoaded(kLibrary)) fail("the library stayed loaded after the direct run");
    const double viaControl = controlMs(data, issuer, serial);
    if (SharedLibrary::isLoaded(kLibrary)) fail("the control left the library loaded");

    std::printf("1 KiB signature, SHA-1, attached, Base64 (median of %d batches of %d)\n", kBatches,
                kBatchSize);
    std::printf("  library sign() export, loaded once     %9.3f ms/op\n", direct);
    std::printf("  control sign(), load + call + unload   %9.3f ms/op  target < %.0f  %s\n",
                viaControl, kControlTargetMs, viaControl < kControlTargetMs ? "met" : "MISSED");
    std::printf("  ratio control / library                %9.2f\n", viaControl / direct);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "benchmark failed: %s\n", e.what());
    return 1;
  }
}
