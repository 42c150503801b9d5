// marqen sign / content: PKCS#7 signed messages through the library's exports.
// "-" for --in, --content and --out is standard input or output; data goes to standard output,
// what happened to standard error.
//
//   sign --in FILE (--issuer DN --serial HEX | --pfx FILE [password option]) [--detached]
//        [--hash NAME] [--der] [--out FILE] [--document-name TEXT] [--comments TEXT]
//        [--signing-time TIME]
//        [--validate [--revocation-mode online|offline] [--revocation-level none|end|chain]]
//   content --in SIGNED [--out FILE]

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/crypto/oids.h"
#include "platform/os/text.h"
#include "tools/marqen/commands.h"
#include "tools/marqen/password.h"
#include "tools/marqen/request_parts.h"

namespace marqen::tool {
namespace {

constexpr std::string_view kSignUsage =
    "sign --in FILE (--issuer DN --serial HEX | --pfx FILE [--password-file FILE | "
    "--password-env VAR | --password P]) [--detached] [--hash sha256|sha384|sha512|sha1|md5] "
    "[--der] [--out FILE] [--document-name TEXT] [--comments TEXT] [--signing-time TIME] "
    "[--validate [--revocation-mode online|offline] [--revocation-level none|end|chain]]";
constexpr std::string_view kContentUsage = "content --in SIGNED [--out FILE]";

constexpr Option kSignOptions[] = {
    {"in", "FILE", "the file to sign; - reads standard input"},
    {"issuer", "DN", "issuer of the signer's certificate in MY, as 'certstore list' prints it"},
    {"serial", "HEX", "serial number of that certificate (colons, lower case, a leading 00 taken)"},
    {"pfx", "FILE", "sign with the certificate and key of this PKCS#12 (PFX) file instead"},
    kPasswordFileOption,
    kPasswordEnvOption,
    kPasswordOption,
    {"hash", "NAME", "sha256, sha384, sha512, sha1 or md5", "sha256"},
    {"detached", {}, "leave the content out of the message", "attached"},
    {"der", {}, "write binary DER instead of Base64 text", "Base64"},
    {"out", "FILE", "where the message goes; - is standard output", "standard output"},
    {"document-name", "TEXT", "a document name attribute"},
    {"comments", "TEXT", "a comments attribute"},
    {"signing-time", "TIME", "Unix seconds, or UTC as YYYY-MM-DDTHH:MM:SSZ", "now"},
    {"validate", {}, "check the certificate's chain and revocation before signing", "off"},
    {"revocation-mode", "MODE", "online or offline, with --validate", "online"},
    {"revocation-level", "LEVEL", "none, end or chain, with --validate", "none"},
};
constexpr Option kContentOptions[] = {
    {"in", "SIGNED", "the signed message, Base64 or DER; - reads standard input"},
    {"out", "FILE", "where the content goes; - is standard output", "standard output"},
};

void explainSignFailure(ErrorCode code, const ParsedArguments& p, const std::string* serial) {
  if (explainUnreadable(p.option("in"), "the file to sign", "in")) return;
  if (code == MARQEN_E_EMPTY_INPUT_FILE) {
    std::cerr << "marqen: the file to sign (--in) is empty\n";
    return;
  }
  if (explainSignerFailure(code, p, serial)) return;
  explainUnwritable(p.option("out"), "out");
}

int runSignCommand(const ParsedArguments& p) {
  const std::string* in = p.option("in");
  const std::string* issuer = p.option("issuer");
  const std::string* typedSerial = p.option("serial");
  const std::string* pfx = p.option("pfx");
  const std::string* out = p.option("out");
  const bool toStandardOutput = !out || isStandardStream(out);
  const bool fromStore = issuer || typedSerial;
  if (!p.positional.empty() || !in) return reportUsage(kSignUsage);
  if (fromStore && pfx) {
    std::cerr << "marqen: give the signer either by --issuer and --serial or by --pfx\n";
    return reportUsage(kSignUsage);
  }
  if (fromStore ? !(issuer && typedSerial) : !pfx) {
    std::cerr << "marqen: the signer needs --issuer DN --serial HEX, or --pfx FILE\n";
    return reportUsage(kSignUsage);
  }
  if ((p.option("password") || p.option("password-file") || p.option("password-env")) && !pfx) {
    std::cerr << "marqen: a password belongs to --pfx\n";
    return reportUsage(kSignUsage);
  }
  if (!p.has("validate") && (p.option("revocation-mode") || p.option("revocation-level"))) {
    std::cerr << "marqen: revocation options apply only with --validate\n";
    return reportUsage(kSignUsage);
  }
  std::optional<std::string> serial;
  if (typedSerial && !(serial = normaliseSerial(*typedSerial))) {
    std::cerr << "marqen: --serial takes the serial number in hexadecimal, not '" << *typedSerial
              << "'\n";
    return reportUsage(kSignUsage);
  }
  auto attributes = optionAttributes(p);
  if (!attributes) return reportUsage(kSignUsage);
  const auto hash = hashChoice(p, HASH_SHA256);
  const auto revocationMode =
      choice(p, "revocation-mode", {{"online", REVOCATION_ONLINE}, {"offline", REVOCATION_OFFLINE}},
             REVOCATION_ONLINE);
  const auto revocationLevel =
      choice(p, "revocation-level",
             {{"none", REVOCATION_NONE}, {"end", REVOCATION_END_CERT}, {"chain", REVOCATION_CHAIN}},
             REVOCATION_NONE);
  if (!hash || !revocationMode || !revocationLevel) return reportUsage(kSignUsage);
  // Refused before any password is asked for or any work done.
  if (p.has("der") && toStandardOutput && ::isatty(STDOUT_FILENO))
    return writeStandardOutput({}, true, "--out FILE");

  const auto content = openInput(*in, "in");
  if (!content) return kExitFailed;
  PasswordChoice password;
  if (pfx) {
    password = choosePassword(p, "the PFX file " + *pfx, isStandardStream(in));
    if (password.exitCode != kExitOk) return password.exitCode;
  }
  const std::string* passwordText = password.password ? &password.password->text() : nullptr;
  SignerLocator locator =
      fromStore ? SignerLocator(*issuer, *serial) : SignerLocator(*pfx, passwordText);
  std::u16string outputPath = toStandardOutput ? std::u16string() : os::toUtf16(*out);

  SignRequest request{};
  // The library only reads the content record; the request's field is merely not const.
  request.content = const_cast<DataBuffer*>(content->get());
  request.signerLocator = locator.get();
  request.attributes = attributes->data();
  request.attributeCount = attributes->count();
  request.hashAlgorithm = *hash;
  request.signingAlgorithm = SIGNING_RSA;
  request.signatureMode = p.has("detached") ? SIGNATURE_DETACHED : SIGNATURE_ATTACHED;
  request.signatureFormat = p.has("der") ? FORMAT_DER : FORMAT_BASE64;
  request.validateCertificate = p.has("validate") ? 1 : 0;
  request.revocationMode = *revocationMode;
  request.revocationLevel = *revocationLevel;
  request.askPinAlways = 0;
  request.outputKind = toStandardOutput ? DATA_IN_MEMORY : DATA_IN_FILE;
  request.outputPath = toStandardOutput ? nullptr : outputPath.data();

  LibraryResult result;
  if (const ErrorCode code = sign(&request, &result.pointer)) {
    explainSignFailure(code, p, serial ? &*serial : nullptr);
    return reportLibraryError(code);
  }
  if (toStandardOutput) {
    if (p.has("der")) return writeStandardOutput(result.bytes(), true, "--out FILE");
    return printText(result.bytes()) ? kExitOk : kExitFailed;
  }
  std::cerr << "wrote " << (p.has("detached") ? "detached" : "attached") << " signature ("
            << (p.has("der") ? "DER" : "Base64") << ") to " << result.path() << '\n';
  return kExitOk;
}

int runContentCommand(const ParsedArguments& p) {
  const std::string* in = p.option("in");
  const std::string* out = p.option("out");
  const bool toStandardOutput = !out || isStandardStream(out);
  if (!p.positional.empty() || !in) return reportUsage(kContentUsage);
  const auto signedData = openInput(*in, "in");
  if (!signedData) return kExitFailed;
  std::u16string outputPath = toStandardOutput ? std::u16string() : os::toUtf16(*out);

  LibraryResult result;
  if (const ErrorCode code =
          getSignedContent(signedData->get(), toStandardOutput ? nullptr : outputPath.data(),
                           toStandardOutput ? DATA_IN_MEMORY : DATA_IN_FILE, &result.pointer)) {
    if (!explainUnreadable(in, "the signed message", "in") && !explainUnwritable(out, "out") &&
        code == MARQEN_E_SIGNED_CONTENT_SIZE)
      std::cerr << "marqen: a detached signature carries no content\n";
    return reportLibraryError(code);
  }
  if (!toStandardOutput) {
    std::cerr << "wrote the signed content to " << result.path() << '\n';
    return kExitOk;
  }
  // The content goes out byte for byte, so that redirecting it reproduces the signed file.
  const std::string_view bytes = result.bytes();
  return writeStandardOutput(bytes, looksBinary(bytes), "--out FILE");
}

}  // namespace

int runSign(Arguments args) {
  const auto line = parseArguments(args, kSignOptions);
  return line ? runSignCommand(*line) : reportUsage(kSignUsage);
}

int runContent(Arguments args) {
  const auto line = parseArguments(args, kContentOptions);
  return line ? runContentCommand(*line) : reportUsage(kContentUsage);
}

}  // namespace marqen::tool
