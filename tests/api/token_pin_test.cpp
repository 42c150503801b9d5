// The PIN of a token key through the library's exports: asked once per process, asked again
// for every signature with askPinAlways, and its reads counted on the PIN source itself.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>

#include "library/include/Marqen_InterfaceV2.h"
#include "platform/os/file_access.h"
#include "tests/support/caller_result.h"
#include "tests/support/pki_builder.h"
#include "tests/support/sign_request.h"
#include "tests/support/softhsm_token.h"
#include "tests/support/temp_cert_store.h"

namespace {

// Counts the openings of a file from now on. Closings are watched too: inotify merges an event
// into an identical one still unread, so only alternating events count every opening.
class OpenCounter {
 public:
  explicit OpenCounter(const std::string& path) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ >= 0) ::inotify_add_watch(fd_, path.c_str(), IN_OPEN | IN_CLOSE_NOWRITE);
  }
  ~OpenCounter() {
    if (fd_ >= 0) ::close(fd_);
  }
  OpenCounter(const OpenCounter&) = delete;
  OpenCounter& operator=(const OpenCounter&) = delete;

  int count() {
    alignas(inotify_event) std::array<char, 4096> buffer{};
    for (;;) {
      const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
      if (n <= 0) break;
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + at);
        if (event->mask & IN_OPEN) ++opened_;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    return opened_;
  }

 private:
  int fd_;
  int opened_ = 0;
};

std::string hexOf(const marqen::test::Bytes& bytes) {
  std::string hex;
  for (const unsigned char byte : bytes) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", byte);
    hex += digits;
  }
  return hex;
}

TEST(TokenPin, AskedOncePerProcessAndAgainForEverySignatureWithAskPinAlways) {
  if (!marqen::test::SoftHsmToken::available()) GTEST_SKIP() << "SoftHSM2 is not installed";
  marqen::test::TempDir files;
  marqen::test::TempCertStore store;
  marqen::test::SoftHsmToken token("Pin Count", "1357");
  const auto root = marqen::test::makeRootCa("Pin Root");
  const auto signer = marqen::test::makeEndEntity("Pin User", root);
  token.put(signer, "0a");
  const std::string pinFile = marqen::test::writePinFile(files, "pin.txt", "1357");
  const auto certificate = marqen::test::addToStore(store.root(), "MY", "signer", signer);
  auto uriFile = certificate;
  uriFile.replace_extension(".p11");
  marqen::test::writeFile(uriFile.string(), token.keyUri("0a", "pin-source=" + pinFile) + "\n");
  OpenCounter reads(pinFile);

  marqen::test::Request request;
  request.fromStore(u"CN=Pin Root, O=Marqen Test", hexOf(marqen::test::serialOf(signer)));
  const auto signOnce = [&](int32_t askPinAlways) {
    request.request.askPinAlways = askPinAlways;
    marqen::test::CallerResult result;
    EXPECT_EQ(sign(&request.request, &result.pointer), 0);
    EXPECT_GT(result.record.length, 0);
  };
  signOnce(0);
  signOnce(0);
  EXPECT_EQ(reads.count(), 1) << "the token stays logged in for the process";
  signOnce(1);
  signOnce(1);
  EXPECT_EQ(reads.count(), 3) << "askPinAlways logs out before each signature";

  // The other three operations log out first too.
  std::string raw = "raw";
  DataBuffer content{nullptr, reinterpret_cast<unsigned char*>(raw.data()), 3, DATA_IN_MEMORY};
  RawSignRequest rawRequest{
      &content,          &request.locator, HASH_SHA1, FORMAT_DER,     0,
      REVOCATION_ONLINE, REVOCATION_NONE,  1,         DATA_IN_MEMORY, nullptr};
  marqen::test::CallerResult signature;
  EXPECT_EQ(rawsign(&rawRequest, &signature.pointer), 0);
  EXPECT_EQ(signature.record.length, 256);
  EXPECT_EQ(reads.count(), 4);
}

}  // namespace
