// Signing 1 KiB with a key on a token (SoftHSM2) against the same key in a key file, in one
// run: sign() from the store, attached, DER in memory, SHA-256. The token figure with
// askPinAlways shows the cost of logging in again for every signature.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "Marqen_InterfaceV2.h"
#include "tests/support/caller_result.h"
#include "tests/support/hex.h"
#include "tests/support/pki_builder.h"
#include "tests/support/softhsm_token.h"
#include "tests/support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kBatches = 7;
constexpr int kBatchSize = 40;
constexpr const char* kPin = "8642";

double medianPerOperation(const std::function<void()>& operation) {
  for (int i = 0; i < kBatchSize; ++i)
    operation();
  std::vector<double> times;
  for (int b = 0; b < kBatches; ++b) {
    const auto start = Clock::now();
    for (int i = 0; i < kBatchSize; ++i)
      operation();
    times.push_back(std::chrono::duration<double>(Clock::now() - start).count() / kBatchSize);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

int run() {
  if (!marqen::test::SoftHsmToken::available()) {
    std::printf("token benchmark skipped: SoftHSM2 is not installed\n");
    return 0;
  }
  marqen::test::TempDir files;
  marqen::test::TempDir fileStore;
  marqen::test::TempDir tokenStore;
  marqen::test::SoftHsmToken token("Bench Token", kPin);
  const auto root = marqen::test::makeRootCa("Bench Root");
  const auto signer = marqen::test::makeEndEntity("Bench Token Signer", root);
  token.put(signer, "01");
  marqen::test::addToStore(fileStore.path(), "MY", "signer", signer, /*withKey=*/true);
  auto uriFile = marqen::test::addToStore(tokenStore.path(), "MY", "signer", signer);
  uriFile.replace_extension(".p11");
  const std::string pinFile = marqen::test::writePinFile(files, "pin.txt", kPin);
  marqen::test::writeFile(uriFile.string(), token.keyUri("01", "pin-source=" + pinFile) + "\n");

  std::string data(1024, 'x');
  DataBuffer content{nullptr, reinterpret_cast<unsigned char*>(data.data()),
                     static_cast<int32_t>(data.size()), DATA_IN_MEMORY};
  std::u16string issuer = u"CN=Bench Root, O=Marqen Test";
  std::string serial = marqen::test::hexOf(marqen::test::serialOf(signer));
  CertificateLocator locator{issuer.data(), serial.data(), nullptr, nullptr, LOCATION_STORE};
  SignRequest request{&content,
                      &locator,
                      nullptr,
                      0,
                      0x800C,
                      SIGNING_RSA,
                      SIGNATURE_ATTACHED,
                      FORMAT_DER,
                      0,
                      REVOCATION_OFFLINE,
                      REVOCATION_NONE,
                      0,
                      DATA_IN_MEMORY,
                      nullptr};
  bool failed = false;
  const auto signOnce = [&] {
    marqen::test::CallerResult result;
    const ErrorCode code = sign(&request, &result.pointer);
    if (code != 0 && !failed) {
      std::printf("sign failed: %d %s\n", code, getErrorMessage(code));
      failed = true;
    }
  };

  ::setenv("MARQEN_CERTSTORE", fileStore.path().c_str(), 1);
  const double keyFile = medianPerOperation(signOnce);
  ::setenv("MARQEN_CERTSTORE", tokenStore.path().c_str(), 1);
  const double onToken = medianPerOperation(signOnce);
  request.askPinAlways = 1;
  const double onTokenAskingAgain = medianPerOperation(signOnce);
  if (failed) return 1;

  std::printf("1 KiB signature with a token key (SoftHSM2) against the same key in a key file\n");
  std::printf("  key file                              %9.3f ms/op\n", keyFile * 1e3);
  std::printf("  token, logged in once                 %9.3f ms/op  %.2f x key file\n",
              onToken * 1e3, onToken / keyFile);
  std::printf("  token, askPinAlways (login each time) %9.3f ms/op  %.2f x key file\n",
              onTokenAskingAgain * 1e3, onTokenAskingAgain / keyFile);
  return 0;
}

}  // namespace

int main() {
  try {
    return run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "token benchmark: %s\n", e.what());
    return 1;
  }
}
