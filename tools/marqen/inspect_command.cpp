// marqen inspect / verify / check / view: who signed a message and what the signatures and
// certificates are worth, through the library's exports. Reports go to standard output,
// failures ("error N: message") to standard error.
//
//   inspect --in SIGNED [--json]
//   verify --in SIGNED [--content FILE] [--signer N] [--no-chain]
//          [--revocation-mode online|offline] [--revocation-level none|end|chain]
//   check (--issuer DN --serial HEX [--store my|addressbook] | --pfx FILE [password option])
//         [--encryption] [--at TIME]
//   view (--issuer DN --serial HEX [--store my|addressbook] | --pfx FILE [password option] |
//         --cert FILE) [--encryption]

#include <nlohmann/json.hpp>

#include <charconv>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/crypto/oids.h"
#include "platform/os/text.h"
#include "tools/marqen/commands.h"
#include "tools/marqen/password.h"
#include "tools/marqen/request_parts.h"

namespace marqen::tool {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::string_view kInspectUsage = "inspect --in SIGNED [--json]";
constexpr std::string_view kVerifyUsage =
    "verify --in SIGNED [--content FILE] [--signer N] [--no-chain] "
    "[--revocation-mode online|offline] [--revocation-level none|end|chain]";
constexpr std::string_view kCheckUsage =
    "check (--issuer DN --serial HEX [--store my|addressbook] | --pfx FILE [--password-file FILE "
    "| --password-env VAR | --password P]) [--encryption] [--at TIME]";
constexpr std::string_view kViewUsage =
    "view (--issuer DN --serial HEX [--store my|addressbook] | --pfx FILE [--password-file FILE | "
    "--password-env VAR | --password P] | --cert FILE) [--encryption]";

constexpr Option kSignedInOption{"in", "SIGNED",
                                 "the signed message, Base64 or DER; - reads standard input"};
constexpr Option kIssuerOption{"issuer", "DN",
                               "issuer of the certificate, as 'certstore list' prints it"};
constexpr Option kSerialOption{
    "serial", "HEX", "serial number of the certificate (colons, lower case, a leading 00 taken)"};
constexpr Option kStoreOption{"store", "NAME", "my or addressbook, with --issuer", "my"};
constexpr Option kPfxOption{"pfx", "FILE", "the certificate with its key in this PFX file"};
constexpr Option kEncryptionOption{
    "encryption", {}, "judge it for encryption, not signing", "signing"};

constexpr Option kInspectOptions[] = {
    kSignedInOption,
    {"json", {}, "print JSON for scripts instead of text"},
};
constexpr Option kVerifyOptions[] = {
    kSignedInOption,
    {"content", "FILE", "the signed file of a detached signature; - reads standard input"},
    {"signer", "N", "check only signer N, 0 for the first", "every signer"},
    {"no-chain", {}, "check the signatures only, not the signers' certificates and chains"},
    {"revocation-mode", "MODE", "online or offline", "online"},
    {"revocation-level", "LEVEL", "none, end or chain", "none"},
};
constexpr Option kCheckOptions[] = {
    kIssuerOption,
    kSerialOption,
    kStoreOption,
    kPfxOption,
    kPasswordFileOption,
    kPasswordEnvOption,
    kPasswordOption,
    kEncryptionOption,
    {"at", "TIME", "judge the certificate at this time: Unix seconds or YYYY-MM-DDTHH:MM:SSZ",
     "now"},
};
constexpr Option kViewOptions[] = {
    kIssuerOption,       kSerialOption,
    kStoreOption,        kPfxOption,
    kPasswordFileOption, kPasswordEnvOption,
    kPasswordOption,     {"cert", "FILE", "the certificate, DER or PEM"},
    kEncryptionOption,
};

std::string narrow(const char16_t* text) {
  return text ? os::toUtf8(os::wideView(text)) : std::string();
}

// A parsed message as the library hands it over; everything in it is freed with it.
struct ParsedMessage {
  SignedDataInfo record{};
  SignedDataInfo* pointer = &record;

  ParsedMessage() = default;
  ParsedMessage(const ParsedMessage&) = delete;
  ParsedMessage& operator=(const ParsedMessage&) = delete;
  ~ParsedMessage() {
    for (int32_t i = 0; record.signers && i < record.signerCount; ++i) {
      SignerDetails* d = record.signers[i];
      if (!d) continue;
      for (int32_t a = 0; a < d->attributeCount; ++a) {
        std::free(d->attributes[a]->value);
        std::free(d->attributes[a]->oid);
        std::free(d->attributes[a]);
      }
      std::free(static_cast<void*>(d->attributes));
      std::free(d->issuerCertificate);
      std::free(d->authorityInfoAccessUrl);
      std::free(d->signerCertificate);
      std::free(d->subjectDN);
      std::free(d->issuerDN);
      std::free(d->serialNumber);
      std::free(d);
    }
    std::free(static_cast<void*>(record.signers));
  }
  std::span<SignerDetails* const> signers() const {
    return {record.signers, static_cast<std::size_t>(record.signerCount)};
  }
};

std::string_view attributeName(std::string_view oid) {
  if (oid == crypto::kDocumentNameOid) return "document name";
  if (oid == crypto::kCommentsOid) return "comments";
  if (oid == crypto::kSigningTimeOid) return "signing time";
  if (oid == "1.2.840.113549.1.9.25.3") return "random nonce";
  if (oid == "1.2.840.113549.1.9.25.4") return "sequence number";
  return "time";
}

std::string_view valueOf(const SignedAttribute& a) {
  return {reinterpret_cast<const char*>(a.value), static_cast<std::size_t>(a.valueLength)};
}

std::string hexOf(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

// Whether bytes are UTF-8 text without control characters, fit to be shown as they are.
bool isShowableText(std::string_view bytes) {
  if (bytes.empty()) return false;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) return false;
  }
  // Malformed UTF-8 does not survive the round trip (it becomes U+FFFD).
  return os::toUtf8(os::toUtf16(bytes)) == bytes;
}

int64_t secondsOf(const SignedAttribute& a) {
  int64_t seconds = 0;
  const std::string_view text = valueOf(a);
  std::from_chars(text.data(), text.data() + text.size(), seconds);
  return seconds;
}

// An attribute's value in words: a time, a number, text or hexadecimal octets.
std::string shownValue(const SignedAttribute& a) {
  const std::string_view value = valueOf(a);
  if (a.dataType == ATTR_TIME) return utcText(secondsOf(a));
  if (a.dataType == ATTR_INTEGER) return std::string(value);
  return isShowableText(value) ? std::string(value) : "hex " + hexOf(value);
}

const SignedAttribute* findAttribute(const SignerDetails& d, std::string_view oid) {
  for (int32_t i = 0; i < d.attributeCount; ++i)
    if (d.attributes[i]->oid == oid) return d.attributes[i];
  return nullptr;
}

std::string withoutLineBreaks(const char* base64) {
  std::string text;
  for (const char* p = base64; p && *p; ++p)
    if (*p != '\n' && *p != '\r') text += *p;
  return text;
}

void printSigner(std::ostream& out, const SignerDetails& d) {
  out << "  subject:        " << narrow(d.subjectDN) << '\n'
      << "  issuer:         " << narrow(d.issuerDN) << '\n'
      << "  serial:         " << d.serialNumber << '\n'
      << "  valid to:       " << utcText(d.validTo) << '\n';
}

int runInspectCommand(const ParsedArguments& p) {
  const std::string* in = p.option("in");
  if (!p.positional.empty() || !in) return reportUsage(kInspectUsage);
  const auto message = openInput(*in, "in");
  if (!message) return kExitFailed;
  ParsedMessage parsed;
  if (const ErrorCode code = parseSignedData(message->get(), &parsed.pointer)) {
    explainUnreadable(in, "the signed message", "in");
    return reportLibraryError(code);
  }

  if (p.has("json")) {
    Json signers = Json::array();
    for (std::size_t i = 0; i < parsed.signers().size(); ++i) {
      const SignerDetails* d = parsed.signers()[i];
      if (!d) {
        signers.push_back(nullptr);
        continue;
      }
      Json attributes = Json::array();
      for (int32_t a = 0; a < d->attributeCount; ++a) {
        const SignedAttribute& attribute = *d->attributes[a];
        Json entry = {{"oid", attribute.oid},
                      {"name", attributeName(attribute.oid)},
                      {"signed", attribute.authenticationType == ATTR_AUTHENTICATED}};
        const std::string_view value = valueOf(attribute);
        if (attribute.dataType == ATTR_TIME) {
          entry["type"] = "time";
          entry["value"] = secondsOf(attribute);
          entry["utc"] = utcText(secondsOf(attribute));
        } else if (attribute.dataType == ATTR_INTEGER) {
          entry["type"] = "integer";
          entry["value"] = secondsOf(attribute);
        } else {
          entry["type"] = "octets";
          entry["hex"] = hexOf(value);
          if (isShowableText(value)) entry["text"] = value;
        }
        attributes.push_back(std::move(entry));
      }
      signers.push_back(Json{
          {"index", i},
          {"subject", narrow(d->subjectDN)},
          {"issuer", narrow(d->issuerDN)},
          {"serialNumber", d->serialNumber},
          {"validTo", d->validTo},
          {"validToUtc", utcText(d->validTo)},
          {"authorityInfoAccessUrl",
           d->authorityInfoAccessUrl ? Json(narrow(d->authorityInfoAccessUrl)) : Json(nullptr)},
          {"signerCertificate", withoutLineBreaks(d->signerCertificate)},
          {"issuerCertificate",
           d->issuerCertificate ? Json(withoutLineBreaks(d->issuerCertificate)) : Json(nullptr)},
          {"attributes", std::move(attributes)},
      });
    }
    const Json report = {{"signerCount", parsed.record.signerCount}, {"signers", signers}};
    std::cout << report.dump(2) << '\n';
    return std::cout.flush() ? kExitOk : kExitFailed;
  }

  std::cout << "signers: " << parsed.record.signerCount << '\n';
  for (std::size_t i = 0; i < parsed.signers().size(); ++i) {
    const SignerDetails* d = parsed.signers()[i];
    if (!d) {
      std::cout << "signer " << i
                << ": not read (its certificate, or an earlier signer's, is not in the "
                   "message)\n";
      continue;
    }
    std::cout << "signer " << i << '\n';
    printSigner(std::cout, *d);
    std::cout << "  issuer's certificate: "
              << (d->issuerCertificate ? "in the CA or ROOT store" : "not in the CA or ROOT store")
              << '\n';
    std::cout << "  authority information access: ";
    if (!d->authorityInfoAccessUrl)
      std::cout << "none\n";
    else if (d->authorityInfoAccessUrl[0] == u'\0')
      std::cout << "(a location that is not a URI)\n";
    else
      std::cout << narrow(d->authorityInfoAccessUrl) << '\n';
    for (int32_t a = 0; a < d->attributeCount; ++a) {
      const SignedAttribute& attribute = *d->attributes[a];
      std::cout << "  " << attributeName(attribute.oid) << " ("
                << (attribute.authenticationType == ATTR_AUTHENTICATED ? "signed" : "unsigned")
                << ", " << attribute.oid << "): " << shownValue(attribute) << '\n';
    }
  }
  return std::cout.flush() ? kExitOk : kExitFailed;
}

// One verdict line: "ok" text for 0, else the library's message and code.
void printVerdict(std::string_view label, ErrorCode code, std::string_view passed) {
  std::cout << "  " << label << std::string(label.size() < 16 ? 16 - label.size() : 1, ' ')
            << (code == 0 ? std::string(passed)
                          : std::string(getErrorMessage(code)) + " (" + std::to_string(code) + ")")
            << '\n';
}

// The first verdict that fails, 0 when all pass.
ErrorCode firstFailure(const SignerCertificateStatus& s) {
  for (const ErrorCode code :
       {s.currentTimeValidity, s.signingTimeValidity, s.chainValidity, s.chainTrust})
    if (code != 0) return code;
  return 0;
}

int runVerifyCommand(const ParsedArguments& p) {
  const std::string* in = p.option("in");
  const std::string* contentFile = p.option("content");
  if (!p.positional.empty() || !in) return reportUsage(kVerifyUsage);
  std::optional<int32_t> only;
  if (const std::string* given = p.option("signer")) {
    int32_t index = 0;
    const char* end = given->data() + given->size();
    const auto [stop, error] = std::from_chars(given->data(), end, index);
    if (error != std::errc() || stop != end) {
      std::cerr << "marqen: --signer takes a signer number (0 for the first)\n";
      return reportUsage(kVerifyUsage);
    }
    only = index;
  }
  const bool chain = !p.has("no-chain");
  if (!chain && (p.option("revocation-mode") || p.option("revocation-level"))) {
    std::cerr << "marqen: revocation options apply to the chain, which --no-chain skips\n";
    return reportUsage(kVerifyUsage);
  }
  const auto revocationMode =
      choice(p, "revocation-mode", {{"online", REVOCATION_ONLINE}, {"offline", REVOCATION_OFFLINE}},
             REVOCATION_ONLINE);
  const auto revocationLevel =
      choice(p, "revocation-level",
             {{"none", REVOCATION_NONE}, {"end", REVOCATION_END_CERT}, {"chain", REVOCATION_CHAIN}},
             REVOCATION_NONE);
  if (!revocationMode || !revocationLevel) return reportUsage(kVerifyUsage);
  if (isStandardStream(in) && isStandardStream(contentFile)) {
    std::cerr << "marqen: standard input can feed --in or --content, not both\n";
    return reportUsage(kVerifyUsage);
  }
  const auto signedData = openInput(*in, "in");
  if (!signedData) return kExitFailed;
  auto* message = const_cast<DataBuffer*>(signedData->get());

  ParsedMessage parsed;
  if (const ErrorCode code = parseSignedData(message, &parsed.pointer)) {
    explainUnreadable(in, "the signed message", "in");
    return reportLibraryError(code);
  }
  if (only && (*only < 0 || *only >= parsed.record.signerCount)) {
    VerifySignedDataRequest bare{nullptr, message};
    return reportLibraryError(verifySignedData(&bare, *only));
  }
  std::vector<int32_t> indices;
  if (only)
    indices.push_back(*only);
  else
    for (int32_t i = 0; i < parsed.record.signerCount; ++i)
      indices.push_back(i);

  // Asked without content, the library verifies a signer of an attached message at once and
  // wants the content of a detached one (102); a signer it cannot check says neither.
  VerifySignedDataRequest bare{nullptr, message};
  std::vector<ErrorCode> bareResults;
  bool detached = false;
  bool attached = false;
  for (const int32_t index : indices) {
    const ErrorCode code = verifySignedData(&bare, index);
    bareResults.push_back(code);
    detached = detached || code == MARQEN_E_MISSING_ARGUMENT;
    attached = attached || code == 0 || code == MARQEN_E_VERIFICATION_FAILED;
  }
  if (attached && contentFile) {
    std::cerr << "marqen: the message carries its own content: --content is for a detached "
                 "signature\n";
    return reportUsage(kVerifyUsage);
  }
  if (detached && !contentFile) {
    std::cerr << "marqen: the signature is detached: give the signed file with --content\n";
    return reportLibraryError(MARQEN_E_MISSING_ARGUMENT);
  }
  std::unique_ptr<FileInput> content;
  if (contentFile && !(content = openInput(*contentFile, "content"))) return kExitFailed;
  VerifySignedDataRequest withContent{content ? const_cast<DataBuffer*>(content->get()) : nullptr,
                                      message};

  bool allPassed = true;
  for (std::size_t n = 0; n < indices.size(); ++n) {
    const int32_t index = indices[n];
    const SignerDetails* d = parsed.signers()[static_cast<std::size_t>(index)];
    std::cout << "signer " << index << '\n';
    if (d) {
      printSigner(std::cout, *d);
      if (const auto* time = findAttribute(*d, crypto::kSigningTimeOid))
        std::cout << "  signing time:   " << shownValue(*time) << '\n';
      if (const auto* name = findAttribute(*d, crypto::kDocumentNameOid))
        std::cout << "  document name:  " << shownValue(*name) << '\n';
      if (const auto* comments = findAttribute(*d, crypto::kCommentsOid))
        std::cout << "  comments:       " << shownValue(*comments) << '\n';
    } else {
      std::cout << "  (its certificate, or an earlier signer's, is not in the message)\n";
    }

    const ErrorCode signature = content ? verifySignedData(&withContent, index) : bareResults[n];
    printVerdict("signature:", signature, "verifies");
    ErrorCode judged = 0;
    if (chain) {
      VerifySignerCertificateRequest request{0, message, *revocationMode, *revocationLevel};
      SignerCertificateStatus status{};
      SignerCertificateStatus* statusPointer = &status;
      judged = verifySignerCertificate(&request, index, &statusPointer);
      if (judged == 0) {
        printVerdict("valid now:", status.currentTimeValidity, "yes");
        printVerdict("at signing:", status.signingTimeValidity, "valid at the signing time");
        printVerdict("chain:", status.chainValidity,
                     "every certificate up to the root is valid now");
        printVerdict("trust:", status.chainTrust, "the chain is trusted");
        judged = firstFailure(status);
      } else {
        printVerdict("certificate:", judged, "");
      }
    } else {
      std::cout << "  chain:          not checked (--no-chain)\n";
    }

    if (signature != 0) {
      reportLibraryError(signature);
    } else if (judged != 0) {
      reportLibraryError(judged);
    } else {
      std::cerr << "signer " << index << ": signature verifies"
                << (chain ? ", certificate and chain trusted" : " (chain not checked)") << '\n';
      continue;
    }
    allPassed = false;
  }
  if (!std::cout.flush()) return kExitFailed;
  return allPassed ? kExitOk : kExitFailed;
}

// The certificate a check or view names: by issuer and serial, by PFX file, or (view) by file.
struct NamedCertificate {
  std::u16string issuer;
  std::string serial;
  int32_t store = STORE_PERSONAL;
  std::unique_ptr<SignerLocator> pfx;  // the path and password as the library takes them
  std::optional<std::string> certificate;
};

// Empty, with the exit code set, when the options do not name exactly one certificate.
std::unique_ptr<NamedCertificate> namedCertificate(const ParsedArguments& p, std::string_view usage,
                                                   bool allowFile, int& exitCode) {
  const std::string* issuer = p.option("issuer");
  const std::string* serial = p.option("serial");
  const std::string* pfx = p.option("pfx");
  const std::string* cert = allowFile ? p.option("cert") : nullptr;
  const int sources = ((issuer || serial) ? 1 : 0) + (pfx ? 1 : 0) + (cert ? 1 : 0);
  exitCode = kExitUsage;
  if (!p.positional.empty() || sources != 1 || ((issuer || serial) && !(issuer && serial)) ||
      (givesPassword(p) && !pfx) || (p.option("store") && !issuer)) {
    std::cerr << "marqen: name the certificate by --issuer DN --serial HEX, by --pfx FILE"
              << (allowFile ? ", or by --cert FILE" : "") << '\n';
    reportUsage(usage);
    return nullptr;
  }
  auto named = std::make_unique<NamedCertificate>();
  const auto store = storeChoice(p);
  if (!store) {
    reportUsage(usage);
    return nullptr;
  }
  named->store = *store;
  if (issuer) {
    const auto typed = serialFrom(p);
    if (!typed) {
      reportUsage(usage);
      return nullptr;
    }
    named->issuer = os::toUtf16(*issuer);
    named->serial = *typed;
  } else if (pfx) {
    PasswordChoice password = choosePassword(p, "the PFX file " + *pfx, false);
    exitCode = password.exitCode;
    if (exitCode != kExitOk) return nullptr;
    // No password given or asked for is an empty one: a file without a password opens.
    const std::string none;
    named->pfx = std::make_unique<SignerLocator>(
        *pfx, password.password ? &password.password->text() : &none);
  } else if (!(named->certificate = certificateString(*cert))) {
    exitCode = kExitFailed;
    return nullptr;
  }
  exitCode = kExitOk;
  return named;
}

int32_t certificateType(const ParsedArguments& p) {
  return p.has("encryption") ? ENCRYPTION_CERTIFICATE : SIGNING_CERTIFICATE;
}

void explainCertificateFailure(ErrorCode code, const ParsedArguments& p,
                               const NamedCertificate& named) {
  const std::string* pfx = p.option("pfx");
  if (explainUnreadable(pfx, "the PFX file", "pfx")) return;
  if (pfx && code == MARQEN_E_PFX_IMPORT)
    std::cerr << "marqen: wrong password for the PFX file " << *pfx << ", or the file is damaged\n";
  const std::string* issuer = p.option("issuer");
  if (issuer && code == MARQEN_E_CERT_CONTEXT)
    std::cerr << "marqen: no certificate in the store has serial " << named.serial
              << " and issuer \"" << *issuer
              << "\"; 'marqen certstore list' shows the serials and issuers there\n";
}

int runCheckCommand(const ParsedArguments& p) {
  std::optional<std::string> at;
  if (const std::string* given = p.option("at"); given && !(at = signingTimeSeconds(*given))) {
    std::cerr << "marqen: --at takes Unix seconds or a UTC time such as 2026-01-31T12:00:00Z\n";
    return reportUsage(kCheckUsage);
  }
  int exitCode = kExitOk;
  const auto named = namedCertificate(p, kCheckUsage, false, exitCode);
  if (!named) return exitCode;
  const int32_t validityTime = at ? static_cast<int32_t>(std::stol(*at)) : 0;
  const CertificateLocator* pfx = named->pfx ? named->pfx->get() : nullptr;
  const ErrorCode code = checkCertificateValidity(
      pfx ? nullptr : named->issuer.c_str(), pfx ? nullptr : named->serial.c_str(), named->store,
      pfx ? pfx->pfxFilePath : nullptr, pfx ? pfx->pfxPassword : nullptr, certificateType(p),
      validityTime);
  if (code != 0) {
    explainCertificateFailure(code, p, *named);
    return reportLibraryError(code);
  }
  std::cout << "valid for " << (p.has("encryption") ? "encryption" : "signing") << " at "
            << (at ? utcText(validityTime) : "the current time")
            << ", and every certificate of its chain is valid now\n";
  return std::cout.flush() ? kExitOk : kExitFailed;
}

int runViewCommand(const ParsedArguments& p) {
  int exitCode = kExitOk;
  const auto named = namedCertificate(p, kViewUsage, true, exitCode);
  if (!named) return exitCode;
  const CertificateLocator* pfx = named->pfx ? named->pfx->get() : nullptr;
  const bool fromStore = !pfx && !named->certificate;
  const ErrorCode code = viewCertificate(
      fromStore ? named->issuer.c_str() : nullptr, fromStore ? named->serial.c_str() : nullptr,
      named->store, pfx ? pfx->pfxFilePath : nullptr, pfx ? pfx->pfxPassword : nullptr,
      named->certificate ? named->certificate->data() : nullptr,
      named->certificate ? static_cast<int32_t>(named->certificate->size()) : 0,
      certificateType(p));
  if (code == MARQEN_E_VIEWER_LIBRARY) {
    std::cerr << "marqen: the certificate viewer cannot be shown: it needs a graphical session "
                 "(DISPLAY or WAYLAND_DISPLAY) and a program that runs ($MARQEN_CERT_VIEWER, "
                 "else gcr-viewer)\n";
  } else if (code != 0) {
    explainCertificateFailure(code, p, *named);
  }
  return code == 0 ? kExitOk : reportLibraryError(code);
}

}  // namespace

int runInspect(Arguments args) {
  const auto line = parseArguments(args, kInspectOptions);
  return line ? runInspectCommand(*line) : reportUsage(kInspectUsage);
}

int runVerify(Arguments args) {
  const auto line = parseArguments(args, kVerifyOptions);
  return line ? runVerifyCommand(*line) : reportUsage(kVerifyUsage);
}

int runCheck(Arguments args) {
  const auto line = parseArguments(args, kCheckOptions);
  return line ? runCheckCommand(*line) : reportUsage(kCheckUsage);
}

int runView(Arguments args) {
  const auto line = parseArguments(args, kViewOptions);
  return line ? runViewCommand(*line) : reportUsage(kViewUsage);
}

}  // namespace marqen::tool
