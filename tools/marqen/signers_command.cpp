// marqen cosign / countersign / rawsign / verify-raw / verify-countersignature: more signers on
// a message, bare signatures, and their verification through the library's exports.

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
#include "tools/marqen/request_parts.h"

namespace marqen::tool {
namespace {

constexpr std::string_view kCosignUsage =
    "cosign --in SIGNED [--content FILE] (--issuer DN --serial HEX | --pfx FILE [--password P]) "
    "[--hash sha256|sha384|sha512|sha1|md5] [--der] [--out FILE] [--document-name TEXT] "
    "[--comments TEXT] [--signing-time UNIX_SECONDS] [--validate [--revocation-mode "
    "online|offline] [--revocation-level none|end|chain]]";
constexpr std::string_view kCountersignUsage =
    "countersign --in SIGNED --signer N [--content FILE] (--issuer DN --serial HEX | --pfx FILE "
    "[--password P]) [--hash sha256|sha384|sha512|sha1|md5] [--der] [--out FILE] [--validate "
    "[--revocation-mode online|offline] [--revocation-level none|end|chain]]";
constexpr std::string_view kRawsignUsage =
    "rawsign --in FILE (--issuer DN --serial HEX | --pfx FILE [--password P]) [--hash "
    "sha256|sha384|sha512|sha1|md5] [--der] [--out FILE] [--validate [--revocation-mode "
    "online|offline] [--revocation-level none|end|chain]]";
constexpr std::string_view kVerifyRawUsage =
    "verify-raw --in FILE --signature SIG (--cert FILE | --pfx FILE [--password P] | --issuer DN "
    "--serial HEX [--store my|addressbook]) [--hash sha256|sha384|sha512|sha1|md5] [--validate "
    "[--revocation-mode online|offline] [--revocation-level none|end|chain]]";
constexpr std::string_view kVerifyCounterUsage =
    "verify-countersignature --in SIGNED [--signer N] [--cert FILE | --store my|addressbook] "
    "[--validate [--revocation-mode online|offline] [--revocation-level none|end|chain]]";

std::optional<int32_t> hashChoice(const ParsedArguments& p) {
  return choice(p, "hash",
                {{"sha256", HASH_SHA256},
                 {"sha384", HASH_SHA384},
                 {"sha512", HASH_SHA512},
                 {"sha1", HASH_SHA1},
                 {"md5", HASH_MD5}},
                HASH_SHA256);
}

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

// The signer from --issuer/--serial or --pfx/--password; null (with the reason printed) when
// the options do not name exactly one.
std::unique_ptr<SignerLocator> signerFrom(const ParsedArguments& p) {
  const std::string* issuer = p.option("issuer");
  const std::string* serial = p.option("serial");
  const std::string* pfx = p.option("pfx");
  const bool fromStore = issuer || serial;
  if (fromStore && pfx) {
    std::cerr << "marqen: give the signer either by --issuer and --serial or by --pfx\n";
    return nullptr;
  }
  if (fromStore ? !(issuer && serial) : !pfx) {
    std::cerr << "marqen: the signer needs --issuer DN --serial HEX, or --pfx FILE\n";
    return nullptr;
  }
  if (p.option("password") && !pfx) {
    std::cerr << "marqen: --password belongs to --pfx\n";
    return nullptr;
  }
  return fromStore ? std::make_unique<SignerLocator>(*issuer, *serial)
                   : std::make_unique<SignerLocator>(*pfx, p.option("password"));
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

std::optional<int32_t> storeChoice(const ParsedArguments& p) {
  return choice(p, "store", {{"my", STORE_PERSONAL}, {"addressbook", STORE_OTHER_PEOPLE}},
                STORE_PERSONAL);
}

// A certificate file as the library takes a certificate string: DER bytes, or the Base64 text
// inside PEM armour.
std::optional<std::string> certificateString(const std::string& path) {
  const auto bytes = os::readSmallFile(path);
  if (!bytes) {
    std::cerr << "marqen: cannot read the certificate file " << path << '\n';
    return std::nullopt;
  }
  std::string text(bytes->begin(), bytes->end());
  const std::string begin = "-----BEGIN CERTIFICATE-----";
  const auto start = text.find(begin);
  if (start == std::string::npos) return text;
  const auto stop = text.find("-----END", start + begin.size());
  return text.substr(start + begin.size(),
                     stop == std::string::npos ? std::string::npos : stop - start - begin.size());
}

// Delivers a signing result: Base64 to standard output, or a report of the file written.
int finish(const LibraryResult& result, const std::string* out, bool der, std::string_view what) {
  if (!out) return printText(result.bytes()) ? kExitOk : kExitFailed;
  std::cout << "wrote " << what << " (" << (der ? "DER" : "Base64") << ") to " << result.path()
            << '\n';
  return kExitOk;
}

bool derNeedsFile(const ParsedArguments& p) {
  if (p.has("der") && !p.option("out")) {
    std::cerr << "marqen: DER output is binary: write it to a file with --out\n";
    return false;
  }
  return true;
}

int runCosignCommand(const ParsedArguments& p) {
  const std::string* in = p.option("in");
  const std::string* out = p.option("out");
  if (!p.positional.empty() || !in || !derNeedsFile(p)) return reportUsage(kCosignUsage);
  auto locator = signerFrom(p);
  const auto hash = hashChoice(p);
  const auto validation = validationChoice(p);
  if (!locator || !hash || !validation) return reportUsage(kCosignUsage);

  const FileInput message(*in);
  const std::string* contentFile = p.option("content");
  const std::optional<FileInput> content =
      contentFile ? std::optional<FileInput>(std::in_place, *contentFile) : std::nullopt;
  AttributeList attributes;
  if (const auto* name = p.option("document-name"))
    attributes.add(crypto::kDocumentNameOid, *name, ATTR_OCTET_STRING);
  if (const auto* comments = p.option("comments"))
    attributes.add(crypto::kCommentsOid, *comments, ATTR_OCTET_STRING);
  if (const auto* time = p.option("signing-time"))
    attributes.add(crypto::kSigningTimeOid, *time, ATTR_TIME);
  std::u16string outputPath = out ? os::toUtf16(*out) : std::u16string();

  CosignRequest request{};
  request.content = content ? const_cast<DataBuffer*>(content->get()) : nullptr;
  request.signerLocator = locator->get();
  request.attributes = attributes.data();
  request.attributeCount = attributes.count();
  request.hashAlgorithm = *hash;
  request.signingAlgorithm = SIGNING_RSA;
  request.signatureMode = SIGNATURE_ATTACHED;  // not read: the message keeps its form
  request.signatureFormat = p.has("der") ? FORMAT_DER : FORMAT_BASE64;
  request.validateCertificate = validation->validate;
  request.revocationMode = validation->mode;
  request.revocationLevel = validation->level;
  request.outputKind = out ? DATA_IN_FILE : DATA_IN_MEMORY;
  request.outputPath = out ? outputPath.data() : nullptr;

  LibraryResult result;
  if (const ErrorCode code = cosign(&request, message.get(), &result.pointer)) {
    if (code == MARQEN_E_DETACHED_DATA_MISSING)
      std::cerr << "marqen: the message is detached: give its content with --content\n";
    return reportLibraryError(code);
  }
  return finish(result, out, p.has("der"), "cosigned message");
}

int runCountersignCommand(const ParsedArguments& p) {
  const std::string* in = p.option("in");
  const std::string* out = p.option("out");
  if (!p.positional.empty() || !in || !derNeedsFile(p)) return reportUsage(kCountersignUsage);
  auto locator = signerFrom(p);
  const auto hash = hashChoice(p);
  const auto validation = validationChoice(p);
  const auto index = signerIndex(p, true);
  if (!locator || !hash || !validation || !index) return reportUsage(kCountersignUsage);

  const FileInput message(*in);
  const std::string* contentFile = p.option("content");
  const std::optional<FileInput> content =
      contentFile ? std::optional<FileInput>(std::in_place, *contentFile) : std::nullopt;
  std::u16string outputPath = out ? os::toUtf16(*out) : std::u16string();
  CountersignRequest request{};
  request.content = content ? const_cast<DataBuffer*>(content->get()) : nullptr;
  request.signerLocator = locator->get();
  request.hashAlgorithm = *hash;
  request.signatureFormat = p.has("der") ? FORMAT_DER : FORMAT_BASE64;
  request.validateCertificate = validation->validate;
  request.revocationMode = validation->mode;
  request.revocationLevel = validation->level;
  request.outputKind = out ? DATA_IN_FILE : DATA_IN_MEMORY;
  request.outputPath = out ? outputPath.data() : nullptr;

  LibraryResult result;
  if (const ErrorCode code = countersign(&request, message.get(), *index, &result.pointer)) {
    if (code == MARQEN_E_DETACHED_DATA_MISSING)
      std::cerr << "marqen: the message is detached: give its content with --content\n";
    return reportLibraryError(code);
  }
  return finish(result, out, p.has("der"), "counter-signed message");
}

int runRawsignCommand(const ParsedArguments& p) {
  const std::string* in = p.option("in");
  const std::string* out = p.option("out");
  if (!p.positional.empty() || !in || !derNeedsFile(p)) return reportUsage(kRawsignUsage);
  auto locator = signerFrom(p);
  const auto hash = hashChoice(p);
  const auto validation = validationChoice(p);
  if (!locator || !hash || !validation) return reportUsage(kRawsignUsage);

  const FileInput content(*in);
  std::u16string outputPath = out ? os::toUtf16(*out) : std::u16string();
  RawSignRequest request{};
  request.content = const_cast<DataBuffer*>(content.get());
  request.signerLocator = locator->get();
  request.hashAlgorithm = *hash;
  request.signatureFormat = p.has("der") ? FORMAT_DER : FORMAT_BASE64;
  request.validateCertificate = validation->validate;
  request.revocationMode = validation->mode;
  request.revocationLevel = validation->level;
  request.outputKind = out ? DATA_IN_FILE : DATA_IN_MEMORY;
  request.outputPath = out ? outputPath.data() : nullptr;

  LibraryResult result;
  if (const ErrorCode code = rawsign(&request, &result.pointer)) return reportLibraryError(code);
  return finish(result, out, p.has("der"), "raw signature");
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
  if (sources != 1 || ((issuer || serial) && !(issuer && serial)) ||
      (p.option("password") && !pfx) || (p.option("store") && !issuer)) {
    std::cerr << "marqen: name the certificate by --cert FILE, by --pfx FILE, or by --issuer DN "
                 "--serial HEX\n";
    return reportUsage(kVerifyRawUsage);
  }
  const auto hash = hashChoice(p);
  const auto validation = validationChoice(p);
  const auto store = storeChoice(p);
  if (!hash || !validation || !store) return reportUsage(kVerifyRawUsage);
  std::optional<std::string> certificate;
  if (cert && !(certificate = certificateString(*cert))) return kExitFailed;

  const FileInput content(*in);
  const FileInput signature(*signatureFile);
  std::u16string issuerText = issuer ? os::toUtf16(*issuer) : std::u16string();
  std::string serialText = serial ? *serial : std::string();
  std::u16string pfxPath = pfx ? os::toUtf16(*pfx) : std::u16string();
  const std::string* password = p.option("password");
  std::u16string passwordText = password ? os::toUtf16(*password) : std::u16string();

  RawVerifyRequest request{};
  request.content = const_cast<DataBuffer*>(content.get());
  request.signature = const_cast<DataBuffer*>(signature.get());
  if (cert) {
    request.certificateSource = SOURCE_CERT_STRING;
    request.certificateString = certificate->data();
    request.certificateStringLength = static_cast<int32_t>(certificate->size());
  } else if (pfx) {
    request.certificateSource = SOURCE_PFX_FILE;
    request.pfxFilePath = pfxPath.data();
    request.pfxPassword = password ? passwordText.data() : nullptr;
  } else {
    request.certificateSource = SOURCE_STORE;
    request.issuerDN = issuerText.data();
    request.serialNumber = serialText.data();
    request.storeType = *store;
  }
  request.hashAlgorithm = *hash;
  request.validateCertificate = validation->validate;
  request.revocationMode = validation->mode;
  request.revocationLevel = validation->level;
  if (const ErrorCode code = verifyRawSignature(&request)) return reportLibraryError(code);
  std::cout << "raw signature verifies\n";
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

  const FileInput message(*in);
  CounterSignatureVerifyRequest request{};
  request.signedData = const_cast<DataBuffer*>(message.get());
  request.validateCertificate = validation->validate;
  request.signerIndex = *index;
  request.certificateString = certificate ? certificate->data() : nullptr;
  request.certificateStringLength = certificate ? static_cast<int32_t>(certificate->size()) : 0;
  request.storeType = *store;
  request.revocationMode = validation->mode;
  request.revocationLevel = validation->level;
  if (const ErrorCode code = verifyCounterSignature(&request)) return reportLibraryError(code);
  std::cout << "counter-signature of signer " << *index << " verifies\n";
  return kExitOk;
}

bool wantsHelp(Arguments args, std::string_view usage, std::string_view details) {
  if (std::find(args.begin(), args.end(), "--help") == args.end()) return false;
  std::cout << "usage: marqen " << usage << "\n\n" << details;
  return true;
}

}  // namespace

int runCosign(Arguments args) {
  if (wantsHelp(args, kCosignUsage,
                "Adds a signer to the signed message SIGNED (Base64 or DER) and prints the new "
                "message as Base64,\nor writes it to --out (--der for DER). A detached message "
                "needs the signed file again as --content\nand stays detached. The signer comes "
                "from the personal store (--issuer, --serial) or a PFX file.\n"))
    return kExitOk;
  const auto line = parseArguments(
      args,
      {"in", "content", "issuer", "serial", "pfx", "password", "hash", "out", "document-name",
       "comments", "signing-time", "revocation-mode", "revocation-level"},
      {"der", "validate"});
  return line ? runCosignCommand(*line) : reportUsage(kCosignUsage);
}

int runCountersign(Arguments args) {
  if (wantsHelp(args, kCountersignUsage,
                "Adds a PKCS#9 counter-signature to signer N of SIGNED: the counter-signer signs "
                "that signer's\nsignature value. A detached message needs its --content.\n"))
    return kExitOk;
  const auto line =
      parseArguments(args,
                     {"in", "signer", "content", "issuer", "serial", "pfx", "password", "hash",
                      "out", "revocation-mode", "revocation-level"},
                     {"der", "validate"});
  return line ? runCountersignCommand(*line) : reportUsage(kCountersignUsage);
}

int runRawsign(Arguments args) {
  if (wantsHelp(args, kRawsignUsage,
                "Signs the hash of FILE with PKCS#1 v1.5 and prints the signature as Base64, or "
                "writes it to --out\n(--der: the bytes). The bytes are least significant first; "
                "reverse them for openssl pkeyutl.\n"))
    return kExitOk;
  const auto line = parseArguments(args,
                                   {"in", "issuer", "serial", "pfx", "password", "hash", "out",
                                    "revocation-mode", "revocation-level"},
                                   {"der", "validate"});
  return line ? runRawsignCommand(*line) : reportUsage(kRawsignUsage);
}

int runVerifyRaw(Arguments args) {
  if (wantsHelp(args, kVerifyRawUsage,
                "Checks a signature made by rawsign (its bytes, or Base64 text) over FILE. The "
                "certificate is a\nfile (DER or PEM), a PFX file, or found in a store (default "
                "my). --hash must be the signer's.\n"))
    return kExitOk;
  const auto line =
      parseArguments(args,
                     {"in", "signature", "cert", "pfx", "password", "issuer", "serial", "store",
                      "hash", "revocation-mode", "revocation-level"},
                     {"validate"});
  return line ? runVerifyRawCommand(*line) : reportUsage(kVerifyRawUsage);
}

int runVerifyCountersignature(Arguments args) {
  if (wantsHelp(args, kVerifyCounterUsage,
                "Checks the counter-signature of signer N (default 0) of SIGNED. With --cert the "
                "file must hold\nthe certificate the counter-signature names; without it, that "
                "certificate is looked up in the\nstore (default my).\n"))
    return kExitOk;
  const auto line = parseArguments(
      args, {"in", "signer", "cert", "store", "revocation-mode", "revocation-level"}, {"validate"});
  return line ? runVerifyCounterCommand(*line) : reportUsage(kVerifyCounterUsage);
}

}  // namespace marqen::tool
