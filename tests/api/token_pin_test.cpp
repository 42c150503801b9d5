// The PIN of a token key through the library's exports: asked once per process (also when the
// library is loaded and unloaded around each call, as the control does), asked again for every
// signature with askPinAlways; its reads are counted on the PIN source itself. A token's login
// lives as long as the process, so each test needs a process of its own, as CTest runs them.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <optional>
#include <string>
#include <thread>

#include "library/include/Marqen_InterfaceV2.h"
#include "tests/support/caller_result.h"
#include "tests/support/hex.h"
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

// The library as the control uses it: loaded by file name, unloaded after use.
class LoadedLibrary {
 public:
  LoadedLibrary() : handle_(::dlopen(MARQEN_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL)) {}
  ~LoadedLibrary() {
    if (handle_) ::dlclose(handle_);
  }
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  template <typename Function>
  Function* find(const char* name) const {
    return handle_ ? reinterpret_cast<Function*>(::dlsym(handle_, name)) : nullptr;
  }
  static bool loaded() {
    void* again = ::dlopen(MARQEN_LIBRARY_FILE, RTLD_NOW | RTLD_NOLOAD);
    if (again) ::dlclose(again);
    return again != nullptr;
  }

 private:
  void* handle_;
};

class TokenPin : public ::testing::Test {
 protected:
  marqen::test::TempDir files;
  marqen::test::TempCertStore store;
  std::optional<marqen::test::SoftHsmToken> token;
  marqen::test::Issued root = marqen::test::makeRootCa("Pin Root");
  marqen::test::Issued signer = marqen::test::makeEndEntity("Pin User", root);
  std::string pinFile = marqen::test::writePinFile(files, "pin.txt", "1357");
  std::optional<OpenCounter> reads;
  marqen::test::Request request;

  void SetUp() override {
    if (!marqen::test::SoftHsmToken::available()) GTEST_SKIP() << "SoftHSM2 is not installed";
    token.emplace("Pin Count", "1357");
    token->put(signer, "0a");
    auto uriFile = marqen::test::addToStore(store.root(), "MY", "signer", signer);
    uriFile.replace_extension(".p11");
    marqen::test::writeFile(uriFile.string(), token->keyUri("0a", "pin-source=" + pinFile) + "\n");
    reads.emplace(pinFile);
    request.fromStore(u"CN=Pin Root, O=Marqen Test",
                      marqen::test::hexOf(marqen::test::serialOf(signer)));
  }

  void signOnce(const LoadedLibrary& library, int32_t askPinAlways) {
    auto* signWith = library.find<decltype(sign)>("sign");
    ASSERT_NE(signWith, nullptr);
    request.request.askPinAlways = askPinAlways;
    marqen::test::CallerResult result;
    EXPECT_EQ(signWith(&request.request, &result.pointer), 0);
    EXPECT_GT(result.record.length, 0);
  }
};

TEST_F(TokenPin, AskedOncePerProcessAndAgainForEverySignatureWithAskPinAlways) {
  const LoadedLibrary library;
  signOnce(library, 0);
  signOnce(library, 0);
  EXPECT_EQ(reads->count(), 1) << "the token stays logged in for the process";
  signOnce(library, 1);
  signOnce(library, 1);
  EXPECT_EQ(reads->count(), 3) << "askPinAlways logs out before each signature";

  // rawsign acquires the key after its checks; the logout still comes first.
  std::string raw = "raw";
  DataBuffer content{nullptr, reinterpret_cast<unsigned char*>(raw.data()), 3, DATA_IN_MEMORY};
  RawSignRequest rawRequest{
      &content,          &request.locator, HASH_SHA1, FORMAT_DER,     0,
      REVOCATION_ONLINE, REVOCATION_NONE,  1,         DATA_IN_MEMORY, nullptr};
  marqen::test::CallerResult signature;
  auto* rawsignWith = library.find<decltype(rawsign)>("rawsign");
  ASSERT_NE(rawsignWith, nullptr);
  EXPECT_EQ(rawsignWith(&rawRequest, &signature.pointer), 0);
  EXPECT_EQ(signature.record.length, 256);
  EXPECT_EQ(reads->count(), 4);
}

TEST_F(TokenPin, ALoginOutlivesTheLoadOfTheLibraryThatMadeIt) {
  for (int round = 0; round < 3; ++round) {
    {
      const LoadedLibrary library;
      // On a thread of its own: the library's per-thread failure text keeps it mapped until the
      // thread that signed has ended.
      std::thread signing([&] { signOnce(library, 0); });
      signing.join();
    }
    EXPECT_FALSE(LoadedLibrary::loaded()) << "round " << round;
  }
  EXPECT_EQ(reads->count(), 1) << "the control loads the library per call; the PIN is asked once";
}

}  // namespace
