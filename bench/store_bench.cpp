// Figures for large certificate stores, measured in one run: listing a personal store of 1,000
// signing certificates with trusted CA names set, against reading the same files with OpenSSL;
// and a 1 KiB signing whose certificate is looked up among 5,000 certificates, against the same
// signing among 10, as a whole `marqen sign` and as one sign() call. Prints every figure with its
// target; exits non-zero only when an operation fails.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <openssl/crypto.h>
#include <openssl/x509.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Marqen_InterfaceV2.h"
#include "platform/crypto/openssl_ptr.h"
#include "tests/support/caller_result.h"
#include "tests/support/pki_builder.h"
#include "tests/support/temp_cert_store.h"

extern char** environ;

namespace {

namespace test = marqen::test;
using Clock = std::chrono::steady_clock;

constexpr int kListedCertificates = 1000;
constexpr int kFewCertificates = 10;
constexpr int kManyCertificates = 5000;
constexpr int kRepetitions = 7;
constexpr double kListingRatioTarget = 3.0;  // listing over reading the files with OpenSSL
constexpr double kLookupRatioTarget = 3.0;   // `marqen sign`, 5,000 certificates over 10

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what);
}

void check(ErrorCode code, const std::string& what) {
  if (code != 0) fail(what + " failed: " + std::to_string(code) + " " + getErrorMessage(code));
}

double medianSeconds(const std::function<void()>& operation) {
  operation();  // warm the file cache and the library
  std::vector<double> times;
  for (int i = 0; i < kRepetitions; ++i) {
    const auto start = Clock::now();
    operation();
    times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

const char* verdict(bool met) {
  return met ? "met" : "MISSED";
}

std::string hexOf(const test::Bytes& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (const unsigned char byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

// Certificates issued by `root` into a store, each in its own file "NNNNN.cer".
void fillStore(const test::TempCertStore& store, const std::string& name, const test::Issued& root,
               int count) {
  for (int i = 0; i < count; ++i) {
    char file[16];
    std::snprintf(file, sizeof file, "%05d", i);
    store.add(name, file, test::makeEndEntity(std::string("Bench Holder ") + file, root));
  }
}

void freeListing(CertificateSummary** list) {
  for (CertificateSummary** entry = list; entry && *entry; ++entry) {
    std::free((*entry)->issuerName);
    std::free((*entry)->serialNumberHex);
    std::free((*entry)->subjectName);
    std::free(*entry);
  }
  std::free(static_cast<void*>(list));
}

void benchListing() {
  test::TempCertStore store;
  const test::Issued root = test::makeRootCa("Listing Bench Root");
  store.add("ROOT", "root", root);
  fillStore(store, "MY", root, kListedCertificates);
  const char16_t* trusted[] = {u"Listing Bench Root"};
  check(setTrustedCANames(trusted, 1), "setTrustedCANames");

  const double listing = medianSeconds([] {
    CertificateSummary** list = nullptr;
    int32_t count = 0;
    check(listAllCertificatesFromStore(SIGNING_CERTIFICATE, STORE_PERSONAL, &list, &count),
          "listAllCertificatesFromStore");
    freeListing(list);
    if (count != kListedCertificates) fail("listing lists " + std::to_string(count));
  });

  const std::filesystem::path folder = store.root() / "MY";
  const double reading = medianSeconds([&] {
    int read = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      marqen::crypto::BioPtr file(BIO_new_file(entry.path().c_str(), "rb"));
      marqen::crypto::X509Ptr certificate(file ? d2i_X509_bio(file.get(), nullptr) : nullptr);
      if (certificate) ++read;
    }
    if (read != kListedCertificates) fail("OpenSSL read " + std::to_string(read));
  });

  const double ratio = listing / reading;
  std::printf("Listing %d signing certificates of MY, trusted CA names set (median of %d)\n",
              kListedCertificates, kRepetitions);
  std::printf("  listAllCertificatesFromStore()        %9.1f ms\n", listing * 1e3);
  std::printf("  OpenSSL reading the same files        %9.1f ms\n", reading * 1e3);
  std::printf("  ratio                                 %9.2f      target <= %.1f  %s\n\n", ratio,
              kListingRatioTarget, verdict(ratio <= kListingRatioTarget));
}

// Runs a program to its end with its output discarded; fails unless it exits with 0.
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

struct SigningTimes {
  double command = 0;  // a whole `marqen sign`
  double call = 0;     // one sign() in this process
};

// A 1 KiB signing whose certificate is the last of `others` + 1 in the store's order.
SigningTimes signingAmong(int others, const std::filesystem::path& tool) {
  test::TempCertStore store;
  const test::Issued root = test::makeRootCa("Lookup Bench Root");
  fillStore(store, "MY", root, others);
  const test::Issued holder = test::makeEndEntity("Lookup Bench Signer", root);
  store.add("MY", "zz-signer", holder, true);

  std::u16string issuer = u"CN=Lookup Bench Root, O=Marqen Test";
  std::string serial = hexOf(test::serialOf(holder));
  CertificateLocator locator{issuer.data(), serial.data(), nullptr, nullptr, LOCATION_STORE};
  std::string data(1024, 'x');
  DataBuffer content{nullptr, reinterpret_cast<unsigned char*>(data.data()),
                     static_cast<int32_t>(data.size()), DATA_IN_MEMORY};
  SignRequest request{};
  request.content = &content;
  request.signerLocator = &locator;
  request.hashAlgorithm = HASH_SHA256;
  request.signingAlgorithm = SIGNING_RSA;
  request.signatureMode = SIGNATURE_ATTACHED;
  request.signatureFormat = FORMAT_DER;
  request.revocationMode = REVOCATION_OFFLINE;
  request.revocationLevel = REVOCATION_NONE;
  request.outputKind = DATA_IN_MEMORY;
  SigningTimes times;
  times.call = medianSeconds([&] {
    test::CallerResult result;
    check(sign(&request, &result.pointer), "sign");
  });

  const std::string input = (store.root() / "input.bin").string();
  test::writeFile(input, data);
  const std::string output = (store.root() / "output.der").string();
  times.command = medianSeconds([&] {
    run({tool.string(), "sign", "--in", input, "--issuer", "CN=Lookup Bench Root, O=Marqen Test",
         "--serial", serial, "--der", "--out", output});
  });
  return times;
}

void benchLookup(const std::filesystem::path& tool) {
  const SigningTimes few = signingAmong(kFewCertificates - 1, tool);
  const SigningTimes many = signingAmong(kManyCertificates - 1, tool);
  const double ratio = many.command / few.command;
  std::printf("Lookup in MY and a 1 KiB signing, the signer last in store order (median of %d)\n",
              kRepetitions);
  std::printf("  marqen sign among %5d certificates  %9.2f ms\n", kFewCertificates,
              few.command * 1e3);
  std::printf("  marqen sign among %5d certificates  %9.2f ms\n", kManyCertificates,
              many.command * 1e3);
  std::printf("  ratio                                 %9.2f      target <= %.1f  %s\n", ratio,
              kLookupRatioTarget, verdict(ratio <= kLookupRatioTarget));
  std::printf("  sign() among %5d certificates       %9.2f ms\n", kFewCertificates, few.call * 1e3);
  std::printf("  sign() among %5d certificates       %9.2f ms   ratio %.2f (files read: %d)\n\n",
              kManyCertificates, many.call * 1e3, many.call / few.call, kManyCertificates);
}

}  // namespace

int main() {
  try {
    std::printf("Marqen store benchmark: %s\n\n", OpenSSL_version(OPENSSL_VERSION));
    // The lookup first: the trusted CA list the listing sets stays for the process.
    benchLookup(std::filesystem::canonical("/proc/self/exe").parent_path() / "marqen");
    benchListing();
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "benchmark failed: %s\n", e.what());
    return 1;
  }
}
