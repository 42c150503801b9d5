// marqen cosign / countersign / rawsign / verify-raw / verify-countersignature: more signers on
// a message, bare signatures, and their verification through the library's exports. As for
// sign, "-" for --in, --content, --signature and --out is standard input or output; data goes
// to standard output, what happened to standard error.

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/crypto/oids.h"
#include "platform/os/file_access.h"
#include "platform/os/text.h"
#include "tools/marqen/commands.h"
#include "tools/marqen/password.h"
#include "tools/marqen/request_parts.h"

namespace marqen::tool {
namespace {

constexpr std::string_view kCosignUsage =
    "cosign --in SIGNED [--content FILE] (--issuer DN --serial HEX | --pfx FILE [password "
    "option]) [--hash NAME] [--der] [--out FILE] [--document-name TEXT] [--comments TEXT] "
    "[--signing-time TIME] [--validate [--revocation-mode online|offline] [--revocation-level "
    "none|end|chain]]";
constexpr std::string_view kCountersignUsage =
    "countersign --in SIGNED --signer N [--content FILE] (--issuer DN --serial HEX | --pfx FILE "
    "[password option]) [--hash NAME] [--der] [--out FILE] [--validate [--revocation-mode "
    "online|offline] [--revocation-level none|end|chain]]";
constexpr std::string_view kRawsignUsage =
    "rawsign --in FILE (--issuer DN --serial HEX | --pfx FILE [password option]) [--hash NAME] "
    "[--der] [--out FILE] [--validate [--revocation-mode online|offline] [--revocation-level "
    "none|end|chain]]";
constexpr std::string_view kVerifyRawUsage =
    "verify-raw --in FILE --signature SIG (--cert FILE | --pfx FILE [password option] | --issuer "
    "DN --serial HEX [--store my|addressbook]) [--hash NAME] [--validate [--revocation-mode "
    "online|offline] [--revocation-level none|end|chain]]";
constexpr std::string_view kVerifyCounterUsage =
    "verify-countersignature --in SIGNED [--signer N] [--cert FILE | --store my|addressbook] "
    "[--validate [--revocation-mode online|offline] [--revocation-level none|end|chain]]";

constexpr Option kIssuerOption{"issuer", "DN",
                               "issuer of the signer's certificate in MY, as 'certstore list' "
                               "prints it"};
constexpr Option kSerialOption{"serial", "HEX",
                               "serial number of that certificate (colons, lower case, a "
                               "leading 00 taken)"};
constexpr Option kPfxOption{"pfx", "FILE",
                            "sign with the certificate and key of this PKCS#12 (PFX) file "
                            "instead"};
constexpr Option kHashOption{"hash", "NAME", "sha256, sha384, sha512, sha1 or md5", "sha256"};
constexpr Option kDerOption{"der", {}, "write binary DER instead of Base64 text", "Base64"};
constexpr Option kOutOption{"out", "FILE", "where the result goes; - is standard output",
                            "standard output"};
constexpr Option kValidateOption{
    "validate", {}, "check the certificate's chain and revocation as well", "off"};
constexpr Option kRevocationModeOption{"revocation-mode", "MODE",
                                       "online or offline, with --validate", "online"};
constexpr Option kRevocationLevelOption{"revocation-level", "LEVEL",
                                        "none, end or chain, with --validate", "none"};
constexpr Option kSignedInOption{"in", "SIGNED",
                                 "the signed message, Base64 or DER; - reads standard input"};
constexpr Option kContentOption{"content", "FILE",
                                "the signed file of a detached message; - reads standard input"};
constexpr Option kStoreOption{"store", "NAME",
                              "my or addressbook: where to look the certificate "
                              "up",
                              "my"};
constexpr Option kCertOption{"cert", "FILE", "the certificate, DER or PEM"};

constexpr Option kCosignOptions[] = {
    kSignedInOption,
    kContentOption,
    kIssuerOption,
    kSerialOption,
    kPfxOption,
    kPasswordFileOption,
    kPasswordEnvOption,
    kPasswordOption,
    kHashOption,
    kDerOption,
    kOutOption,
    {"document-name", "TEXT", "a document name attribute"},
    {"comments", "TEXT", "a comments attribute"},
    {"signing-time", "TIME", "Unix seconds, or UTC as YYYY-MM-DDTHH:MM:SSZ", "now"},
    kValidateOption,
    kRevocationModeOption,
    kRevocationLevelOption,
};
constexpr Option kCountersignOptions[] = {
    kSignedInOption,
    {"signer", "N", "which signer's signature to counter-sign, 0 for the first"},
    kContentOption,
    kIssuerOption,
    kSerialOption,
    kPfxOption,
    kPasswordFileOption,
    kPasswordEnvOption,
    kPasswordOption,
    kHashOption,
    kDerOption,
    kOutOption,
    kValidateOption,
    kRevocationModeOption,
    kRevocationLevelOption,
};
constexpr Option kRawsignOptions[] = {
    {"in", "FILE", "the file whose hash is signed; - reads standard input"},
    kIssuerOption,
    kSerialOption,
    kPfxOption,
    kPasswordFileOption,
    kPasswordEnvOption,
    kPasswordOption,
    kHashOption,
    kDerOption,
    kOutOption,
    kValidateOption,
    kRevocationModeOption,
    kRevocationLevelOption,
};
constexpr Option kVerifyRawOptions[] = {
    {"in", "FILE", "the signed file; - reads standard input"},
    {"signature", "SIG", "the signature, bytes or Base64; - reads standard input"},
    kCertOption,
    {"pfx", "FILE", "take the certificate from this PKCS#12 (PFX) file instead"},
    kPasswordFileOption,
    kPasswordEnvOption,
    kPasswordOption,
    {"issuer", "DN", "issuer of the certificate in the store, as 'certstore list' prints it"},
    kSerialOption,
    kStoreOption,
    {"hash", "NAME", "the signer's: sha256, sha384, sha512, sha1 or md5", "sha256"},
    kValidateOption,
    kRevocationModeOption,
    kRevocationLevelOption,
};
constexpr Option kVerifyCounterOptions[] = {
    kSignedInOption,
    {"signer", "N", "whose counter-signature to check, 0 for the first", "0"},
    {"cert", "FILE", "the counter-signer's certificate, DER or PEM", "looked up in --store"},
    kStoreOption,
    kValidateOption,
    kRevocationModeOption,
    kRevocationLevelOption,
};

struct Validation {
  int32_t validate = 0;
  int32_t mode = REVOCATION_ONLINE;
  int32_t level = REVOCATION_NONE;
};

std::optional<Validation> validationChoice(const ParsedArguments& p) {
  if (!p.has("validate") && (p.option("revocation-mode") || p.option("revocation-level"))) {
    std::cerr << "marqen: revocation options apply only with --validate\n";
    return std::nullopt;
  }
  const auto mode =
      choice(p, "revocation-mode", {{"online", REVOCATION_ONLINE}, {"offline", REVOCATION_OFFLINE}},
             REVOCATION_ONLINE);
  const auto level =
      choice(p, "revocation-level",
             {{"none", REVOCATION_NONE}, {"end", REVOCATION_END_CERT}, {"chain", REVOCATION_CHAIN}},
             REVOCATION_NONE);
  if (!mode || !level) return std::nullopt;
  return Validation{p.has("validate") ? 1 : 0, *mode, *level};
}

// Which options read standard input; at most one may.
std::optional<bool> standardInputUse(const ParsedArguments& p,
                                     std::initializer_list<std::string_view> options) {
  int readers = 0;
  for (const std::string_view option : options)
    if (isStandardStream(p.option(option))) ++readers;
  if (readers > 1) {
    std::cerr << "marqen: standard input can feed only one of the options that read files\n";
    return std::nullopt;
  }
  return readers == 1;
}

// The signer from --issuer/--serial or --pfx with its password; checks only the options.
struct SignerChoice {
  bool fromStore = false;
  std::optional<std::string> serial;  // normalised
};

std::optional<SignerChoice> signerChoice(const ParsedArguments& p) {
  const std::string* issuer = p.option("issuer");
  const std::string* serial = p.option("serial");
  const std::string* pfx = p.option("pfx");
  const bool fromStore = issuer || serial;
  if (fromStore && pfx) {
    std::cerr << "marqen: give the signer either by --issuer and --serial or by --pfx\n";
    return std::nullopt;
  }
  if (fromStore ? !(issuer && serial) : !pfx) {
    std::cerr << "marqen: the signer needs --issuer DN --serial HEX, or --pfx FILE\n";
    return std::nullopt;
  }
  if (givesPassword(p) && !pfx) {
    std::cerr << "marqen: a password belongs to --pfx\n";
    return std::nullopt;
  }
  SignerChoice choice{fromStore, {}};
  if (fromStore && !(choice.serial = serialFrom(p))) return std::nullopt;
  return choice;
}

// The locator for a checked choice, asking for the PFX password when none is given. Empty, with
// the exit code set, when no password could be had.
std::unique_ptr<SignerLocator> signerFrom(const ParsedArguments& p, const SignerChoice& choice,
                                          bool standardInputIsData, int& exitCode) {
  const std::string* issuer = p.option("issuer");
  const std::string* pfxOption = p.option("pfx");
  // A checked choice names one of the two; the guards keep the optimiser's null analysis quiet.
  if (choice.fromStore && issuer) return std::make_unique<SignerLocator>(*issuer, *choice.serial);
  if (!pfxOption) {
    exitCode = kExitUsage;
    return nullptr;
  }
  const std::string& pfx = *pfxOption;
  PasswordChoice password = choosePassword(p, "the PFX file " + pfx, standardInputIsData);
  exitCode = password.exitCode;
  if (exitCode != kExitOk) return nullptr;
  return std::make_unique<SignerLocator>(pfx,
                                         password.password ? &password.password->text() : nullptr);
}

std::optional<int32_t> signerIndex(const ParsedArguments& p, bool required) {
  const std::string* given = p.option("signer");
  if (!given) {
    if (required) std::cerr << "marqen: name the signer with --signer N (0 for the first)\n";
    return required ? std::nullopt : std::optional<int32_t>(0);
  }
  int32_t index = 0;
  const char* end = given->data() + given->size();
  const auto [stop, error] = std::from_chars(given->data(), end, index);
  if (error != std::errc() || stop != end || index < 0) {
    std::cerr << "marqen: --signer takes a signer number (0 for the first)\n";
    return std::nullopt;
  }
  return index;
}

// Binary output to a terminal is refused before any password is asked for or any work done.
bool refusesTerminal(const ParsedArguments& p) {
  const std::string* out = p.option("out");
  return p.has("der") && (!out || isStandardStream(out)) && ::isatty(STDOUT_FILENO);
}

// Delivers a signing result: to standard output, or a report of the file written.
int finish(const LibraryResult& result, const ParsedArguments& p, std::string_view what) {
  const std::string* out = p.option("out");
  const bool der = p.has("der");
  if (!out || isStandardStream(out)) {
    if (der) return writeStandardOutput(result.bytes(), true, "--out FILE");
    return printText(result.bytes()) ? kExitOk : kExitFailed;
  }
  std::cerr << "wrote " << what << " (" << (der ? "DER" : "Base64") << ") to " << result.path()
            << '\n';
  return kExitOk;
}

// The output path as the request takes it: empty for standard output.
std::u16string outputPathOf(const ParsedArguments& p) {
  const std::string* out = p.option("out");
  return !out || isStandardStream(out) ? std::u16string() : os::toUtf16(*out);
}

void explainFailure(ErrorCode code, const ParsedArguments& p, const SignerChoice& signer,
                    std::string_view inWhat) {
  if (explainUnreadable(p.option("in"), inWhat, "in") ||
      explainUnreadable(p.option("content"), "the signed file", "content"))
    return;
  if (code == MARQEN_E_DETACHED_DATA_MISSING && !p.option("content")) {
    std::cerr << "marqen: the message is detached: give its content with --content\n";
    return;
  }
  if (explainSignerFailure(code, p, signer.serial ? &*signer.serial : nullptr)) return;
  explainUnwritable(p.option("out"), "out");
}

int runCosignCommand(const ParsedArguments& p) {
  const std::string* in = p.option("in");
  if (!p.positional.empty() || !in) return reportUsage(kCosignUsage);
  const auto signer = signerChoice(p);
  const auto hash = hashChoice(p, HASH_SHA256);
  const auto validation = validationChoice(p);
  const auto readsInput = standardInputUse(p, {"in", "content"});
  if (!signer || !hash || !validation || !readsInput) return reportUsage(kCosignUsage);
  auto attributes = optionAttributes(p);
  if (!attributes) return reportUsage(kCosignUsage);
  if (refusesTerminal(p)) return writeStandardOutput({}, true, "--out FILE");

  const auto message = openInput(*in, "in");
  if (!message) return kExitFailed;
  std::unique_ptr<FileInput> content;
  if (const std::string* file = p.option("content");
      file && !(content = openInput(*file, "content")))
    return kExitFailed;
  int exitCode = kExitOk;
  const auto locator = signerFrom(p, *signer, *readsInput, exitCode);
  if (!locator) return exitCode;
  std::u16string outputPath = outputPathOf(p);

  CosignRequest request{};
  request.content = content ? const_cast<DataBuffer*>(content->get()) : nullptr;
  request.signerLocator = locator->get();
  request.attributes = attributes->data();
  request.attributeCount = attributes->count();
  request.hashAlgorithm = *hash;
  request.signingAlgorithm = SIGNING_RSA;
  request.signatureMode = SIGNATURE_ATTACHED;  // not read: the message keeps its form
  request.signatureFormat = p.has("der") ? FORMAT_DER : FORMAT_BASE64;
  request.validateCertificate = validation->validate;
  request.revocationMode = validation->mode;
  request.revocationLevel = validation->level;
  request.outputKind = outputPath.empty() ? DATA_IN_MEMORY : DATA_IN_FILE;
  request.outputPath = outputPath.empty() ? nullptr : outputPath.data();

  LibraryResult result;
  if (const ErrorCode code = cosign(&request, message->get(), &result.pointer)) {
    explainFailure(code, p, *signer, "the signed message");
    return reportLibraryError(code);
  }
  return finish(result, p, "cosigned message");
}

int runCountersignCommand(const ParsedArguments& p) {
  const std::string* in = p.option("in");
  if (!p.positional.empty() || !in) return reportUsage(kCountersignUsage);
  const auto signer = signerChoice(p);
  const auto hash = hashChoice(p, HASH_SHA256);
  const auto validation = validationChoice(p);
  const auto index = signerIndex(p, true);
  const auto readsInput = standardInputUse(p, {"in", "content"});
  if (!signer || !hash || !validation || !index || !readsInput)
    return reportUsage(kCountersignUsage);
  if (refusesTerminal(p)) return writeStandardOutput({}, true, "--out FILE");

  const auto message = openInput(*in, "in");
  if (!message) return kExitFailed;
  std::unique_ptr<FileInput> content;
  if (const std::string* file = p.option("content");
      file && !(content = openInput(*file, "content")))
    return kExitFailed;
  int exitCode = kExitOk;
  const auto locator = signerFrom(p, *signer, *readsInput, exitCode);
  if (!locator) return exitCode;
  std::u16string outputPath = outputPathOf(p);

  CountersignRequest request{};
  request.content = content ? const_cast<DataBuffer*>(content->get()) : nullptr;
  request.signerLocator = locator->get();
  request.hashAlgorithm = *hash;
  request.signatureFormat = p.has("der") ? FORMAT_DER : FORMAT_BASE64;
  request.validateCertificate = validation->validate;
  request.revocationMode = validation->mode;
  request.revocationLevel = validation->level;
  request.outputKind = outputPath.empty() ? DATA_IN_MEMORY : DATA_IN_FILE;
  request.outputPath = outputPath.empty() ? nullptr : outputPath.data();

  LibraryResult result;
  if (const ErrorCode code = countersign(&request, message->get(), *index, &result.pointer)) {
    explainFailure(code, p, *signer, "the signed message");
    return reportLibraryError(code);
  }
  return finish(result, p, "counter-signed message");
}

int runRawsignCommand(const ParsedArguments& p) {
  const std::string* in = p.option("in");
  if (!p.positional.empty() || !in) return reportUsage(kRawsignUsage);
  const auto signer = signerChoice(p);
  const auto hash = hashChoice(p, HASH_SHA256);
  const auto validation = validationChoice(p);
  if (!signer || !hash || !validation) return reportUsage(kRawsignUsage);
  if (refusesTerminal(p)) return writeStandardOutput({}, true, "--out FILE");

  const auto content = openInput(*in, "in");
  if (!content) return kExitFailed;
  int exitCode = kExitOk;
  const auto locator = signerFrom(p, *signer, isStandardStream(in), exitCode);
  if (!locator) return exitCode;
  std::u16string outputPath = outputPathOf(p);

  RawSignRequest request{};
  request.content = const_cast<DataBuffer*>(content->get());
  request.signerLocator = locator->get();
  request.hashAlgorithm = *hash;
  request.signatureFormat = p.has("der") ? FORMAT_DER : FORMAT_BASE64;
  request.validateCertificate = validation->validate;
  request.revocationMode = validation->mode;
  request.revocationLevel = validation->level;
  request.outputKind = outputPath.empty() ? DATA_IN_MEMORY : DATA_IN_FILE;
  request.outputPath = outputPath.empty() ? nullptr : outputPath.data();

  LibraryResult result;
  if (const ErrorCode code = rawsign(&request, &result.pointer)) {
    explainFailure(code, p, *signer, "the file to sign");
    return reportLibraryError(code);
  }
  return finish(result, p, "raw signature");
}

int runVerifyRawCommand(const ParsedArguments& p) {
  const std::string* in = p.option("in");
  const std::string* signatureFile = p.option("signature");
  if (!p.positional.empty() || !in || !signatureFile) return reportUsage(kVerifyRawUsage);
  const std::string* cert = p.option("cert");
  const std::string* pfx = p.option("pfx");
  const std::string* issuer = p.option("issuer");
  const std::string* serial = p.option("serial");
  const int sources = (cert ? 1 : 0) + (pfx ? 1 : 0) + ((issuer || serial) ? 1 : 0);
  if (sources != 1 || ((issuer || serial) && !(issuer && serial)) || (givesPassword(p) && !pfx) ||
      (p.option("store") && !issuer)) {
    std::cerr << "marqen: name the certificate by --cert FILE, by --pfx FILE, or by --issuer DN "
                 "--serial HEX\n";
    return reportUsage(kVerifyRawUsage);
  }
  const auto hash = hashChoice(p, HASH_SHA256);
  const auto validation = validationChoice(p);
  const auto store = storeChoice(p);
  const auto readsInput = standardInputUse(p, {"in", "signature"});
  if (!hash || !validation || !store || !readsInput) return reportUsage(kVerifyRawUsage);
  std::optional<std::string> serialText;
  if (serial && !(serialText = serialFrom(p))) return reportUsage(kVerifyRawUsage);
  std::optional<std::string> certificate;
  if (cert && !(certificate = certificateString(*cert))) return kExitFailed;

  const auto content = openInput(*in, "in");
  if (!content) return kExitFailed;
  const auto signature = openInput(*signatureFile, "signature");
  if (!signature) return kExitFailed;
  PasswordChoice password;
  if (pfx) {
    password = choosePassword(p, "the PFX file " + *pfx, *readsInput);
    if (password.exitCode != kExitOk) return password.exitCode;
  }
  std::u16string issuerText = issuer ? os::toUtf16(*issuer) : std::u16string();
  // The locator holds the PFX path and password as the request takes them, and wipes the copy.
  std::optional<SignerLocator> pfxLocator;
  if (pfx) pfxLocator.emplace(*pfx, password.password ? &password.password->text() : nullptr);

  RawVerifyRequest request{};
  request.content = const_cast<DataBuffer*>(content->get());
  request.signature = const_cast<DataBuffer*>(signature->get());
  if (cert) {
    request.certificateSource = SOURCE_CERT_STRING;
    request.certificateString = certificate->data();
    request.certificateStringLength = static_cast<int32_t>(certificate->size());
  } else if (pfx) {
    request.certificateSource = SOURCE_PFX_FILE;
    request.pfxFilePath = pfxLocator->get()->pfxFilePath;
    request.pfxPassword = pfxLocator->get()->pfxPassword;
  } else {
    request.certificateSource = SOURCE_STORE;
    request.issuerDN = issuerText.data();
    request.serialNumber = serialText->data();
    request.storeType = *store;
  }
  request.hashAlgorithm = *hash;
  request.validateCertificate = validation->validate;
  request.revocationMode = validation->mode;
  request.revocationLevel = validation->level;
  if (const ErrorCode code = verifyRawSignature(&request)) {
    if (!explainUnreadable(in, "the signed file", "in") &&
        !explainUnreadable(signatureFile, "the signature", "signature"))
      explainSignerFailure(code, p, serialText ? &*serialText : nullptr);
    return reportLibraryError(code);
  }
  std::cerr << "raw signature verifies\n";
  return kExitOk;
}

int runVerifyCounterCommand(const ParsedArguments& p) {
  const std::string* in = p.option("in");
  if (!p.positional.empty() || !in) return reportUsage(kVerifyCounterUsage);
  const std::string* cert = p.option("cert");
  if (cert && p.option("store")) {
    std::cerr << "marqen: give either --cert or --store\n";
    return reportUsage(kVerifyCounterUsage);
  }
  const auto index = signerIndex(p, false);
  const auto validation = validationChoice(p);
  const auto store = storeChoice(p);
  if (!index || !validation || !store) return reportUsage(kVerifyCounterUsage);
  std::optional<std::string> certificate;
  if (cert && !(certificate = certificateString(*cert))) return kExitFailed;

  const auto message = openInput(*in, "in");
  if (!message) return kExitFailed;
  CounterSignatureVerifyRequest request{};
  request.signedData = const_cast<DataBuffer*>(message->get());
  request.validateCertificate = validation->validate;
  request.signerIndex = *index;
  request.certificateString = certificate ? certificate->data() : nullptr;
  request.certificateStringLength = certificate ? static_cast<int32_t>(certificate->size()) : 0;
  request.storeType = *store;
  request.revocationMode = validation->mode;
  request.revocationLevel = validation->level;
  if (const ErrorCode code = verifyCounterSignature(&request)) {
    explainUnreadable(in, "the signed message", "in");
    return reportLibraryError(code);
  }
  std::cerr << "counter-signature of signer " << *index << " verifies\n";
  return kExitOk;
}

}  // namespace

int runCosign(Arguments args) {
  const auto line = parseArguments(args, kCosignOptions);
  return line ? runCosignCommand(*line) : reportUsage(kCosignUsage);
}

int runCountersign(Arguments args) {
  const auto line = parseArguments(args, kCountersignOptions);
  return line ? runCountersignCommand(*line) : reportUsage(kCountersignUsage);
}

int runRawsign(Arguments args) {
  const auto line = parseArguments(args, kRawsignOptions);
  return line ? runRawsignCommand(*line) : reportUsage(kRawsignUsage);
}

int runVerifyRaw(Arguments args) {
  const auto line = parseArguments(args, kVerifyRawOptions);
  return line ? runVerifyRawCommand(*line) : reportUsage(kVerifyRawUsage);
}

int runVerifyCountersignature(Arguments args) {
  const auto line = parseArguments(args, kVerifyCounterOptions);
  return line ? runVerifyCounterCommand(*line) : reportUsage(kVerifyCounterUsage);
}

}  // namespace marqen::tool
