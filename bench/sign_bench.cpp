// Figures for the signing exports, measured in one run: the cost of one small signature against
// a bare RSA signature, the throughput of signing and verifying a large buffer against SHA-1 of
// the same bytes, the peak memory of signing a large file, and detached signing and
// verification of a 1 GiB file against the openssl command on the same file. Prints every figure
// with its target; exits non-zero only when an operation fails.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Marqen_InterfaceV2.h"
#include "platform/crypto/openssl_ptr.h"
#include "platform/os/text.h"
#include "tests/support/caller_result.h"
#include "tests/support/pki_builder.h"
#include "tests/support/temp_cert_store.h"
#include "tests/support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;
using marqen::test::Bytes;

constexpr std::size_t kSmallSize = 1024;
constexpr std::size_t kLargeSize = std::size_t{256} << 20;
constexpr double kMegabyte = 1e6;
constexpr int kSmallBatches = 7;
constexpr int kSmallBatchSize = 60;
constexpr int kLargeRepetitions = 3;

constexpr double kSmallRatioTarget = 2.0;       // sign() time over a bare RSA signature
constexpr double kThroughputRatioTarget = 0.8;  // MB/s over SHA-1's MB/s
constexpr double kPeakMemoryTarget = 2.5;       // extra peak RSS over the file size
constexpr std::size_t kFileSize = std::size_t{1} << 30;
constexpr double kFilePeakTargetMiB = 32;  // extra peak RSS of detached signing of a file

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what);
}

void check(ErrorCode code, const std::string& what) {
  if (code != 0) fail(what + " failed: " + std::to_string(code) + " " + getErrorMessage(code));
}

using Result = marqen::test::CallerResult;

DataBuffer inMemory(const unsigned char* data, std::size_t size) {
  return DataBuffer{nullptr, const_cast<unsigned char*>(data), static_cast<int32_t>(size),
                    DATA_IN_MEMORY};
}

// Data that no compressor or cache trick makes cheaper than real content: a xorshift stream.
void fillPseudoRandom(unsigned char* data, std::size_t size, std::uint64_t& state) {
  for (std::size_t i = 0; i < size; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    data[i] = static_cast<unsigned char>(state >> 32);
  }
}

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Median time of one run of `operation`, over `repetitions` runs.
double medianSeconds(int repetitions, const std::function<void()>& operation) {
  std::vector<double> times;
  for (int i = 0; i < repetitions; ++i) {
    const auto start = Clock::now();
    operation();
    times.push_back(secondsSince(start));
  }
  return median(times);
}

// Median time per operation over batches of `batchSize` operations, after one warm-up batch.
double medianPerOperation(const std::function<void()>& operation) {
  for (int i = 0; i < kSmallBatchSize; ++i)
    operation();
  return medianSeconds(kSmallBatches,
                       [&] {
                         for (int i = 0; i < kSmallBatchSize; ++i)
                           operation();
                       }) /
         kSmallBatchSize;
}

const char* verdict(bool met) {
  return met ? "met" : "MISSED";
}

// --- the signer and its requests ---

struct Signer {
  marqen::test::TempCertStore store;
  marqen::test::Issued root = marqen::test::makeRootCa("Bench Root");
  marqen::test::Issued holder = marqen::test::makeEndEntity("Bench Signer", root);
  std::u16string issuer = u"CN=Bench Root, O=Marqen Test";
  std::string serial;
  CertificateLocator locator{};

  Signer() {
    store.add("MY", "signer", holder, true);
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (const unsigned char byte : marqen::test::serialOf(holder)) {
      serial += kDigits[byte >> 4];
      serial += kDigits[byte & 0x0F];
    }
    locator.issuerDN = issuer.data();
    locator.serialNumber = serial.data();
    locator.locationType = LOCATION_STORE;
  }
  Signer(const Signer&) = delete;
  Signer& operator=(const Signer&) = delete;

  // A SHA-1 request without extra attributes (the signing time is always added) and without the
  // optional certificate validation.
  SignRequest request(DataBuffer* content, int32_t mode, int32_t format, int32_t outputKind,
                      char16_t* outputPath = nullptr) {
    SignRequest r{};
    r.content = content;
    r.signerLocator = &locator;
    r.hashAlgorithm = HASH_SHA1;
    r.signingAlgorithm = SIGNING_RSA;
    r.signatureMode = mode;
    r.signatureFormat = format;
    r.validateCertificate = 0;
    r.revocationMode = REVOCATION_OFFLINE;
    r.revocationLevel = REVOCATION_NONE;
    r.askPinAlways = 0;
    r.outputKind = outputKind;
    r.outputPath = outputPath;
    return r;
  }
};

// --- 1 KiB: sign() against one bare RSA-2048 PKCS#1 v1.5 SHA-1 signature ---

void benchSmall(Signer& signer) {
  Bytes data(kSmallSize);
  std::uint64_t state = 0x9E3779B97F4A7C15u;
  fillPseudoRandom(data.data(), data.size(), state);

  DataBuffer content = inMemory(data.data(), data.size());
  SignRequest request = signer.request(&content, SIGNATURE_ATTACHED, FORMAT_DER, DATA_IN_MEMORY);
  const double viaLibrary = medianPerOperation([&] {
    Result result;
    check(sign(&request, &result.pointer), "sign 1 KiB");
  });

  EVP_PKEY* key = signer.holder.key.get();
  Bytes signature(static_cast<std::size_t>(EVP_PKEY_get_size(key)));
  const double bare = medianPerOperation([&] {
    marqen::crypto::EvpMdCtxPtr context(EVP_MD_CTX_new());
    std::size_t length = signature.size();
    if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha1(), nullptr, key) != 1 ||
        EVP_DigestSign(context.get(), signature.data(), &length, data.data(), data.size()) != 1)
      fail("EVP_DigestSign");
  });

  const double ratio = viaLibrary / bare;
  std::printf("1 KiB signature (store signer with a key file, attached, DER in memory)\n");
  std::printf("  sign()                                %9.3f ms/op\n", viaLibrary * 1e3);
  std::printf("  OpenSSL RSA-2048 PKCS#1 v1.5 SHA-1    %9.3f ms/op\n", bare * 1e3);
  std::printf("  ratio                                 %9.2f      target <= %.1f  %s\n\n", ratio,
              kSmallRatioTarget, verdict(ratio <= kSmallRatioTarget));
}

// --- 256 MiB in memory: sign() and verifySignedData() against SHA-1 ---

void printThroughput(const char* what, double seconds, double sha1Rate) {
  const double rate = static_cast<double>(kLargeSize) / kMegabyte / seconds;
  const double ratio = rate / sha1Rate;
  std::printf("  %-36s %9.1f MB/s  ratio %.2f  target >= %.1f  %s\n", what, rate, ratio,
              kThroughputRatioTarget, verdict(ratio >= kThroughputRatioTarget));
}

void benchThroughput(Signer& signer) {
  Bytes data(kLargeSize);
  std::uint64_t state = 0x2545F4914F6CDD1Du;
  fillPseudoRandom(data.data(), data.size(), state);

  unsigned char digest[EVP_MAX_MD_SIZE];
  const double sha1 = medianSeconds(kLargeRepetitions, [&] {
    if (EVP_Digest(data.data(), data.size(), digest, nullptr, EVP_sha1(), nullptr) != 1)
      fail("EVP_Digest");
  });
  const double sha1Rate = static_cast<double>(kLargeSize) / kMegabyte / sha1;

  DataBuffer content = inMemory(data.data(), data.size());
  Result detached;
  SignRequest detachedRequest =
      signer.request(&content, SIGNATURE_DETACHED, FORMAT_DER, DATA_IN_MEMORY);
  const double signDetached = medianSeconds(kLargeRepetitions, [&] {
    detached.clear();
    check(sign(&detachedRequest, &detached.pointer), "sign 256 MiB detached");
  });
  Result attached;
  SignRequest attachedRequest =
      signer.request(&content, SIGNATURE_ATTACHED, FORMAT_DER, DATA_IN_MEMORY);
  const double signAttached = medianSeconds(kLargeRepetitions, [&] {
    attached.clear();
    check(sign(&attachedRequest, &attached.pointer), "sign 256 MiB attached");
  });

  DataBuffer detachedMessage = detached.record;
  const VerifySignedDataRequest verifyDetachedRequest{&content, &detachedMessage};
  const double verifyDetached = medianSeconds(kLargeRepetitions, [&] {
    check(verifySignedData(&verifyDetachedRequest, 0), "verify 256 MiB detached");
  });
  DataBuffer attachedMessage = attached.record;
  const VerifySignedDataRequest verifyAttachedRequest{nullptr, &attachedMessage};
  const double verifyAttached = medianSeconds(kLargeRepetitions, [&] {
    check(verifySignedData(&verifyAttachedRequest, 0), "verify 256 MiB attached");
  });

  std::printf("256 MiB in memory, SHA-1, DER (MB = 10^6 bytes, median of %d)\n", kLargeRepetitions);
  std::printf("  %-36s %9.1f MB/s\n", "OpenSSL SHA-1", sha1Rate);
  printThroughput("sign() detached", signDetached, sha1Rate);
  printThroughput("sign() attached", signAttached, sha1Rate);
  printThroughput("verifySignedData() detached", verifyDetached, sha1Rate);
  printThroughput("verifySignedData() attached", verifyAttached, sha1Rate);
  std::printf("\n");
}

// --- peak memory of signing a 256 MiB file, each case in a forked child ---

long residentKiB() {
  std::ifstream statm("/proc/self/statm");
  long size = 0;
  long resident = 0;
  if (!(statm >> size >> resident)) fail("cannot read /proc/self/statm");
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// A forked child inherits its parent's high-water mark; lowering it to the current resident set
// keeps the parent's history out of the child's figure where the kernel allows it.
void resetPeakResident() {
  std::ofstream clearRefs("/proc/self/clear_refs");
  clearRefs << "5";
}

struct ChildReport {
  long residentBeforeKiB = 0;
  ErrorCode code = -1;
};

// A file descriptor, closed with its owner.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() { reset(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// Peak resident memory that `call` adds in a fresh child process, in KiB.
long peakOfCall(const std::function<ErrorCode()>& call, const std::string& what) {
  int fds[2];
  if (::pipe(fds) != 0) fail("pipe");
  Descriptor readEnd(fds[0]);
  Descriptor writeEnd(fds[1]);
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) fail("fork");
  if (pid == 0) {
    // The child leaves through _exit only: the parent's temporary folders are not its to remove.
    bool written = false;
    try {
      readEnd.reset();
      resetPeakResident();
      ChildReport report;
      report.residentBeforeKiB = residentKiB();
      report.code = call();
      written = ::write(writeEnd.get(), &report, sizeof report) == sizeof report;
    } catch (...) {
    }
    ::_exit(written ? 0 : 1);
  }
  writeEnd.reset();
  ChildReport report;
  const bool received = ::read(readEnd.get(), &report, sizeof report) == sizeof report;
  int status = 0;
  rusage usage{};
  if (::wait4(pid, &status, 0, &usage) != pid) fail("wait4");
  if (!received || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    fail(what + ": the child did not report");
  check(report.code, what);
  return usage.ru_maxrss - report.residentBeforeKiB;
}

void printPeak(const char* what, long extraKiB, bool withTarget) {
  const double multiple = static_cast<double>(extraKiB) * 1024.0 / static_cast<double>(kLargeSize);
  std::printf("  %-36s %9.1f MiB = %.2f x file size", what, static_cast<double>(extraKiB) / 1024.0,
              multiple);
  if (withTarget)
    std::printf("  target <= %.1f  %s", kPeakMemoryTarget, verdict(multiple <= kPeakMemoryTarget));
  std::printf("\n");
}

void benchPeakMemory(Signer& signer, const marqen::test::TempDir& dir) {
  const std::string input = dir.file("input-256MiB.bin");
  {
    std::ofstream out(input, std::ios::binary | std::ios::trunc);
    Bytes chunk(std::size_t{1} << 20);
    std::uint64_t state = 0xD1B54A32D192ED03u;
    for (std::size_t written = 0; written < kLargeSize; written += chunk.size()) {
      fillPseudoRandom(chunk.data(), chunk.size(), state);
      out.write(reinterpret_cast<const char*>(chunk.data()),
                static_cast<std::streamsize>(chunk.size()));
    }
    if (!out) fail("cannot write " + input);
  }
  std::u16string inputPath = marqen::os::toUtf16(input);
  std::u16string outputPath = marqen::os::toUtf16(dir.file("attached.b64"));
  DataBuffer content{inputPath.data(), nullptr, 0, DATA_IN_FILE};

  SignRequest detached = signer.request(&content, SIGNATURE_DETACHED, FORMAT_DER, DATA_IN_MEMORY);
  SignRequest attachedToFile =
      signer.request(&content, SIGNATURE_ATTACHED, FORMAT_BASE64, DATA_IN_FILE, outputPath.data());
  SignRequest attachedToMemory =
      signer.request(&content, SIGNATURE_ATTACHED, FORMAT_BASE64, DATA_IN_MEMORY);
  auto call = [](SignRequest& request) {
    return [&request] {
      Result result;
      return sign(&request, &result.pointer);
    };
  };
  const long detachedKiB = peakOfCall(call(detached), "sign file detached");
  const long toFileKiB = peakOfCall(call(attachedToFile), "sign file attached Base64 to a file");
  const long toMemoryKiB =
      peakOfCall(call(attachedToMemory), "sign file attached Base64 in memory");

  std::printf("Peak memory over a 256 MiB file (peak RSS of a forked child less its RSS before)\n");
  printPeak("detached, DER in memory", detachedKiB, true);
  printPeak("attached, Base64 to a file", toFileKiB, false);
  printPeak("attached, Base64 in memory", toMemoryKiB, false);
  std::printf("\n");
}

// --- 1 GiB file, detached, SHA-256: sign() and verifySignedData() against the openssl tool ---

struct Run {
  double seconds = 0;
  long peakKiB = 0;   // the process's own peak resident set
  long extraKiB = 0;  // what the call added to the resident set it started with
};

// Runs a program and follows its own peak resident set (VmHWM) until it exits. The figure is the
// new program's alone: wait4's ru_maxrss would also count the pages of this process that the
// child held between fork and exec.
Run runProgram(const std::vector<std::string>& argv) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) fail("pipe2");
  Descriptor readEnd(fds[0]);
  Descriptor writeEnd(fds[1]);
  std::vector<char*> args;
  for (const auto& arg : argv)
    args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  std::fflush(nullptr);
  const auto start = Clock::now();
  const pid_t pid = ::fork();
  if (pid < 0) fail("fork");
  if (pid == 0) {
    // The tool's own messages would interleave with the figures.
    const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (quiet >= 0) ::dup2(quiet, STDERR_FILENO);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  writeEnd.reset();
  char ignored = 0;
  [[maybe_unused]] const ssize_t none = ::read(readEnd.get(), &ignored, 1);  // closes at exec
  Run run;
  const std::string status = "/proc/" + std::to_string(pid) + "/status";
  int exitStatus = 0;
  while (::waitpid(pid, &exitStatus, WNOHANG) == 0) {
    std::ifstream file(status);
    for (std::string line; std::getline(file, line);)
      if (line.rfind("VmHWM:", 0) == 0)
        run.peakKiB = std::max(run.peakKiB, std::stol(line.substr(6)));
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  run.seconds = secondsSince(start);
  if (!WIFEXITED(exitStatus) || WEXITSTATUS(exitStatus) != 0)
    fail(argv[0] + " " + argv[1] + " failed");
  return run;
}

// One export in a forked child: its time, the child's peak and what the call added to it.
Run runCall(const std::function<ErrorCode()>& call, const std::string& what) {
  Run run;
  const auto start = Clock::now();
  run.extraKiB = peakOfCall(call, what);
  run.seconds = secondsSince(start);
  return run;
}

void printRun(const char* what, const Run& run, bool ours) {
  const double rate = static_cast<double>(kFileSize) / kMegabyte / run.seconds;
  std::printf("  %-34s %7.2f s %7.1f MB/s", what, run.seconds, rate);
  if (ours)
    std::printf("  +%6.1f MiB peak  target <= %.0f  %s\n",
                static_cast<double>(run.extraKiB) / 1024.0, kFilePeakTargetMiB,
                verdict(static_cast<double>(run.extraKiB) / 1024.0 <= kFilePeakTargetMiB));
  else
    std::printf("  %7.1f MiB peak (whole process)\n", static_cast<double>(run.peakKiB) / 1024.0);
}

void benchLargeFile(Signer& signer, const marqen::test::TempDir& dir) {
  const std::string input = dir.file("input-1GiB.bin");
  {
    std::ofstream out(input, std::ios::binary | std::ios::trunc);
    Bytes chunk(std::size_t{1} << 20);
    std::uint64_t state = 0x94D049BB133111EBu;
    for (std::size_t written = 0; written < kFileSize; written += chunk.size()) {
      fillPseudoRandom(chunk.data(), chunk.size(), state);
      out.write(reinterpret_cast<const char*>(chunk.data()),
                static_cast<std::streamsize>(chunk.size()));
    }
    if (!out) fail("cannot write " + input);
  }
  const std::string cert = dir.file("signer.pem"), key = dir.file("signer-key.pem"),
                    root = dir.file("root.pem"), theirs = dir.file("openssl.p7s"),
                    ours = dir.file("marqen.p7s");
  std::ofstream(cert) << signer.holder.pem();
  std::ofstream(key) << signer.holder.keyPem();
  std::ofstream(root) << signer.root.pem();

  std::u16string inputPath = marqen::os::toUtf16(input);
  std::u16string outputPath = marqen::os::toUtf16(ours);
  DataBuffer content{inputPath.data(), nullptr, 0, DATA_IN_FILE};
  SignRequest request =
      signer.request(&content, SIGNATURE_DETACHED, FORMAT_DER, DATA_IN_FILE, outputPath.data());
  request.hashAlgorithm = HASH_SHA256;
  const Run sign1 = runCall(
      [&request] {
        Result result;
        return sign(&request, &result.pointer);
      },
      "sign 1 GiB file detached");
  const Run opensslSign =
      runProgram({"openssl", "cms", "-sign", "-binary", "-md", "sha256", "-in", input, "-signer",
                  cert, "-inkey", key, "-outform", "DER", "-out", theirs});

  const std::string messageText = marqen::test::readFile(ours);
  const Bytes message(messageText.begin(), messageText.end());
  DataBuffer signedData = inMemory(message.data(), message.size());
  const VerifySignedDataRequest verifyRequest{&content, &signedData};
  const Run verify1 = runCall([&verifyRequest] { return verifySignedData(&verifyRequest, 0); },
                              "verify 1 GiB file detached");
  const Run opensslVerify =
      runProgram({"openssl", "cms", "-verify", "-binary", "-inform", "DER", "-in", theirs,
                  "-content", input, "-CAfile", root, "-purpose", "any", "-out", "/dev/null"});

  std::printf(
      "1 GiB file, detached, SHA-256, DER (forked child or process each; MB = 10^6 bytes)\n");
  printRun("sign()", sign1, true);
  printRun("openssl cms -sign -binary", opensslSign, false);
  printRun("verifySignedData()", verify1, true);
  printRun("openssl cms -verify -binary", opensslVerify, false);
  std::printf(
      "  time ratio sign %.2f, verify %.2f (ours over openssl)  target <= 1.0  %s\n\n",
      sign1.seconds / opensslSign.seconds, verify1.seconds / opensslVerify.seconds,
      verdict(sign1.seconds <= opensslSign.seconds && verify1.seconds <= opensslVerify.seconds));
  std::filesystem::remove(input);
}

// The temporary files need about 2 GiB; with less free in the system's temporary folder they
// go beside the benchmark instead.
void chooseTemporaryFolder() {
  constexpr std::uintmax_t kNeeded = std::uintmax_t{2} << 30;
  std::error_code error;
  const auto space = std::filesystem::space(std::filesystem::temp_directory_path(error), error);
  if (!error && space.available >= kNeeded) return;
  const auto beside = std::filesystem::read_symlink("/proc/self/exe").parent_path();
  ::setenv("TMPDIR", beside.c_str(), 1);
}

std::string cpuName() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  for (std::string line; std::getline(cpuinfo, line);)
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  return "unknown CPU";
}

}  // namespace

int main() {
  try {
    const auto start = Clock::now();
    chooseTemporaryFolder();
    std::printf("Marqen signing benchmark: %s, %u hardware threads, %s\n\n", cpuName().c_str(),
                std::thread::hardware_concurrency(), OpenSSL_version(OPENSSL_VERSION));
    Signer signer;
    const marqen::test::TempDir dir;
    // Peak memory first, while this process is still small: a forked child starts with the
    // parent's pages and high-water mark.
    benchLargeFile(signer, dir);
    benchPeakMemory(signer, dir);
    benchSmall(signer);
    benchThroughput(signer);
    std::printf("total time %.1f s\n", secondsSince(start));
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "benchmark failed: %s\n", e.what());
    return 1;
  }
}
