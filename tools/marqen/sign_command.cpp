// marqen sign / verify / content: PKCS#7 signed messages through the library's exports.
//
//   sign --in FILE (--issuer DN --serial HEX | --pfx FILE [--password P]) [--detached]
//        [--hash sha1|md5] [--der] [--out FILE] [--document-name TEXT] [--comments TEXT]
//        [--signing-time UNIX_SECONDS]
//        [--validate [--revocation-mode online|offline] [--revocation-level none|end|chain]]
//   verify --in SIGNED [--content FILE] [--signer N]
//   content --in SIGNED [--out FILE]

#include <algorithm>
#include <cctype>
#include <charconv>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/crypto/oids.h"
#include "platform/os/text.h"
#include "tools/marqen/commands.h"
#include "tools/marqen/request_parts.h"

namespace marqen::tool {
namespace {

constexpr std::string_view kSignUsage =
    "sign --in FILE (--issuer DN --serial HEX | --pfx FILE [--password P]) [--detached] "
    "[--hash sha1|md5] [--der] [--out FILE] [--document-name TEXT] [--comments TEXT] "
    "[--signing-time UNIX_SECONDS] [--validate [--revocation-mode online|offline] "
    "[--revocation-level none|end|chain]]";
constexpr std::string_view kVerifyUsage = "verify --in SIGNED [--content FILE] [--signer N]";
constexpr std::string_view kContentUsage = "content --in SIGNED [--out FILE]";

int runSignCommand(const ParsedArguments& p) {
  const std::string* in = p.option("in");
  const std::string* issuer = p.option("issuer");
  const std::string* serial = p.option("serial");
  const std::string* pfx = p.option("pfx");
  const std::string* out = p.option("out");
  const bool fromStore = issuer || serial;
  if (!p.positional.empty() || !in) return reportUsage(kSignUsage);
  if (fromStore && pfx) {
    std::cerr << "marqen: give the signer either by --issuer and --serial or by --pfx\n";
    return reportUsage(kSignUsage);
  }
  if (fromStore ? !(issuer && serial) : !pfx) {
    std::cerr << "marqen: the signer needs --issuer DN --serial HEX, or --pfx FILE\n";
    return reportUsage(kSignUsage);
  }
  if (p.option("password") && !pfx) {
    std::cerr << "marqen: --password belongs to --pfx\n";
    return reportUsage(kSignUsage);
  }
  if (p.has("der") && !out) {
    std::cerr << "marqen: DER output is binary: write it to a file with --out\n";
    return reportUsage(kSignUsage);
  }
  if (!p.has("validate") && (p.option("revocation-mode") || p.option("revocation-level"))) {
    std::cerr << "marqen: revocation options apply only with --validate\n";
    return reportUsage(kSignUsage);
  }
  const auto hash = choice(p, "hash", {{"sha1", HASH_SHA1}, {"md5", HASH_MD5}}, HASH_SHA1);
  const auto revocationMode =
      choice(p, "revocation-mode", {{"online", REVOCATION_ONLINE}, {"offline", REVOCATION_OFFLINE}},
             REVOCATION_ONLINE);
  const auto revocationLevel =
      choice(p, "revocation-level",
             {{"none", REVOCATION_NONE}, {"end", REVOCATION_END_CERT}, {"chain", REVOCATION_CHAIN}},
             REVOCATION_NONE);
  if (!hash || !revocationMode || !revocationLevel) return reportUsage(kSignUsage);

  const FileInput content(*in);
  SignerLocator locator =
      fromStore ? SignerLocator(*issuer, *serial) : SignerLocator(*pfx, p.option("password"));
  AttributeList attributes;
  if (const auto* name = p.option("document-name"))
    attributes.add(crypto::kDocumentNameOid, *name, ATTR_OCTET_STRING);
  if (const auto* comments = p.option("comments"))
    attributes.add(crypto::kCommentsOid, *comments, ATTR_OCTET_STRING);
  if (const auto* time = p.option("signing-time"))
    attributes.add(crypto::kSigningTimeOid, *time, ATTR_TIME);
  std::u16string outputPath = out ? os::toUtf16(*out) : std::u16string();

  SignRequest request{};
  // The library only reads the content record; the request's field is merely not const.
  request.content = const_cast<DataBuffer*>(content.get());
  request.signerLocator = locator.get();
  request.attributes = attributes.data();
  request.attributeCount = attributes.count();
  request.hashAlgorithm = *hash;
  request.signingAlgorithm = SIGNING_RSA;
  request.signatureMode = p.has("detached") ? SIGNATURE_DETACHED : SIGNATURE_ATTACHED;
  request.signatureFormat = p.has("der") ? FORMAT_DER : FORMAT_BASE64;
  request.validateCertificate = p.has("validate") ? 1 : 0;
  request.revocationMode = *revocationMode;
  request.revocationLevel = *revocationLevel;
  request.askPinAlways = 0;
  request.outputKind = out ? DATA_IN_FILE : DATA_IN_MEMORY;
  request.outputPath = out ? outputPath.data() : nullptr;

  LibraryResult result;
  if (const ErrorCode code = sign(&request, &result.pointer)) return reportLibraryError(code);
  if (!out) return printText(result.bytes()) ? kExitOk : kExitFailed;
  std::cout << "wrote " << (p.has("detached") ? "detached" : "attached") << " signature ("
            << (p.has("der") ? "DER" : "Base64") << ") to " << result.path() << '\n';
  return kExitOk;
}

int runVerifyCommand(const ParsedArguments& p) {
  const std::string* in = p.option("in");
  if (!p.positional.empty() || !in) return reportUsage(kVerifyUsage);
  int32_t signer = 0;
  if (const std::string* given = p.option("signer")) {
    const char* end = given->data() + given->size();
    const auto [stop, error] = std::from_chars(given->data(), end, signer);
    if (error != std::errc() || stop != end) {
      std::cerr << "marqen: --signer takes a signer number (0 for the first)\n";
      return reportUsage(kVerifyUsage);
    }
  }
  const FileInput signedData(*in);
  const std::string* contentFile = p.option("content");
  const std::optional<FileInput> content =
      contentFile ? std::optional<FileInput>(std::in_place, *contentFile) : std::nullopt;

  VerifySignedDataRequest request{};
  request.signedData = const_cast<DataBuffer*>(signedData.get());
  request.content = content ? const_cast<DataBuffer*>(content->get()) : nullptr;
  if (const ErrorCode code = verifySignedData(&request, signer)) {
    // Without the content a detached message is refused with a code that has no text.
    if (!content && code == MARQEN_E_MISSING_ARGUMENT)
      std::cerr << "marqen: the signature is detached: give the signed file with --content\n";
    return reportLibraryError(code);
  }
  std::cout << "signature of signer " << signer << " verifies\n";
  return kExitOk;
}

int runContentCommand(const ParsedArguments& p) {
  const std::string* in = p.option("in");
  const std::string* out = p.option("out");
  if (!p.positional.empty() || !in) return reportUsage(kContentUsage);
  const FileInput signedData(*in);
  std::u16string outputPath = out ? os::toUtf16(*out) : std::u16string();

  LibraryResult result;
  if (const ErrorCode code =
          getSignedContent(signedData.get(), out ? outputPath.data() : nullptr,
                           out ? DATA_IN_FILE : DATA_IN_MEMORY, &result.pointer)) {
    if (code == MARQEN_E_SIGNED_CONTENT_SIZE)
      std::cerr << "marqen: a detached signature carries no content\n";
    return reportLibraryError(code);
  }
  if (out) {
    std::cout << "wrote the signed content to " << result.path() << '\n';
    return kExitOk;
  }
  // The content goes out byte for byte, so that redirecting it reproduces the signed file.
  const std::string_view bytes = result.bytes();
  std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return std::cout.flush() ? kExitOk : kExitFailed;
}

}  // namespace

int runSign(Arguments args) {
  const auto line =
      parseArguments(args,
                     {"in", "issuer", "serial", "pfx", "password", "hash", "out", "document-name",
                      "comments", "signing-time", "revocation-mode", "revocation-level"},
                     {"detached", "der", "validate"});
  return line ? runSignCommand(*line) : reportUsage(kSignUsage);
}

int runVerify(Arguments args) {
  const auto line = parseArguments(args, {"in", "content", "signer"}, {});
  return line ? runVerifyCommand(*line) : reportUsage(kVerifyUsage);
}

int runContent(Arguments args) {
  const auto line = parseArguments(args, {"in", "out"}, {});
  return line ? runContentCommand(*line) : reportUsage(kContentUsage);
}

}  // namespace marqen::tool
