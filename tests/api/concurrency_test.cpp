// Exports called on several threads at once, as a multi-threaded host calls them. Built and
// run under ThreadSanitizer by the test script as well.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "Marqen_InterfaceV2.h"
#include "tests/support/caller_result.h"
#include "tests/support/pki_builder.h"
#include "tests/support/sign_request.h"
#include "tests/support/temp_cert_store.h"

namespace {

using marqen::test::Issued;
using Result = marqen::test::CallerResult;

constexpr int kSigningThreads = 4;
constexpr int kSignaturesPerThread = 6;

TEST(Concurrency, SigningWhileTheTrustedCAListIsReplaced) {
  marqen::test::TempCertStore store;
  const Issued root = marqen::test::makeRootCa("Concurrent Root");
  const Issued signer = marqen::test::makeEndEntity("Concurrent Signer", root);
  store.add("ROOT", "root", root);
  store.add("MY", "signer", signer, true);
  const char16_t* initial[] = {u"Concurrent Root"};
  ASSERT_EQ(setTrustedCANames(initial, 1), MARQEN_E_NO_ERROR);

  // Every list set meanwhile trusts the signer, so every signature must succeed whichever list
  // a check sees; a list seen half-replaced would fail it or crash.
  std::atomic<bool> signing = true;
  std::thread replacer([&] {
    const char16_t* lists[][2] = {{u"concurrent root", nullptr},
                                  {u"CONCURRENT ROOT", nullptr},
                                  {u"Concurrent Root", u"Concurrent Root"}};
    for (int round = 0; signing; ++round) {
      const auto& list = lists[round % 3];
      const int32_t count = list[1] ? 2 : 1;
      EXPECT_EQ(setTrustedCANames(list, count), MARQEN_E_NO_ERROR);
      EXPECT_EQ(setTrustedCANames(nullptr, 1), MARQEN_E_MISSING_ARGUMENT);  // leaves it in force
    }
  });

  const std::u16string issuer = u"CN=Concurrent Root, O=Marqen Test";
  const std::string serial = marqen::test::certificateOf(signer).serialText();
  std::vector<std::thread> signers;
  std::atomic<int> signedCount = 0;
  for (int t = 0; t < kSigningThreads; ++t) {
    signers.emplace_back([&] {
      marqen::test::Request r;
      r.fromStore(issuer, serial);
      for (int i = 0; i < kSignaturesPerThread; ++i) {
        Result result;
        const ErrorCode code = sign(&r.request, &result.pointer);
        EXPECT_EQ(code, MARQEN_E_NO_ERROR) << getErrorMessage(code);
        if (code != MARQEN_E_NO_ERROR) continue;
        DataBuffer message{nullptr, result.record.data, result.record.length, DATA_IN_MEMORY};
        VerifySignedDataRequest check{nullptr, &message};
        EXPECT_EQ(verifySignedData(&check, 0), MARQEN_E_NO_ERROR);
        ++signedCount;
      }
    });
  }
  for (auto& thread : signers)
    thread.join();
  signing = false;
  replacer.join();
  EXPECT_EQ(signedCount, kSigningThreads * kSignaturesPerThread);
}

}  // namespace
