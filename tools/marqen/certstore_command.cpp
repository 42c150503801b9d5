// marqen certstore: fills and reads the current user's certificate stores, the way a user
// would with the system's certificate manager, so nobody edits store folders by hand.
//
//   certstore import FILE.pfx [password option]  certificate with key into MY, CA certificates
//                                                into CA, self-signed ones into ROOT
//   certstore import FILE.cer --store NAME       one certificate (DER or PEM) into a store
//   certstore import --token URI                 each certificate with its key on the token
//                                                into MY, with a .p11 file naming the key
//   certstore list [--store NAME]                subject, issuer, serial and expiry
//   certstore list --signing|--encryption [--store my|addressbook]
//                                                only what is fit for that use now
//   certstore remove --store NAME --serial S --issuer DN

#include <algorithm>
#include <array>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <variant>

#include "platform/crypto/cert_store.h"
#include "platform/crypto/pfx.h"
#include "platform/os/file_access.h"
#include "tools/marqen/commands.h"
#include "tools/marqen/password.h"
#include "tools/marqen/request_parts.h"
#include "tools/marqen/token_pin.h"

namespace marqen::tool {
namespace {

namespace fs = std::filesystem;
using crypto::Certificate;

constexpr std::string_view kUsage =
    "certstore import FILE.pfx [--password-file FILE | --password-env VAR | --password P] | "
    "certstore import FILE.cer --store NAME | certstore import --token URI | "
    "certstore list [--store NAME] | "
    "certstore list --signing|--encryption [--store my|addressbook] | "
    "certstore remove --store NAME --serial S --issuer DN";
constexpr Option kOptions[] = {
    {"store", "NAME", "MY, ADDRESSBOOK, CA or ROOT (any case)", "all four for list"},
    {"serial", "HEX", "serial number to remove (colons, lower case, a leading 00 taken)"},
    {"issuer", "DN", "issuer to remove, exactly as list prints it"},
    {"token", "URI",
     "PKCS#11 URI of the token to import from (a pin-source or module-path in "
     "it is kept in the stored key URIs)"},
    {"signing", {}, "list only certificates fit for signing now (MY or ADDRESSBOOK)"},
    {"encryption", {}, "list only certificates fit for encryption now (MY or ADDRESSBOOK)"},
    kPasswordFileOption,
    kPasswordEnvOption,
    kPasswordOption,
};
constexpr std::array<std::string_view, 4> kStores = {"MY", "ADDRESSBOOK", "CA", "ROOT"};

std::optional<std::string> storeName(const std::string& given) {
  std::string upper = given;
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  for (const auto name : kStores)
    if (name == upper) return upper;
  std::cerr << "marqen: unknown store '" << given << "' (MY, ADDRESSBOOK, CA or ROOT)\n";
  return std::nullopt;
}

std::optional<crypto::Bytes> readWholeFile(const std::string& path) {
  auto bytes = os::readSmallFile(path);
  if (!bytes) std::cerr << "marqen: cannot read " << path << '\n';
  return bytes;
}

// Prints the outcome of one store write; returns the exit code it stands for.
int reportWrite(crypto::StoreWrite written, const Certificate& certificate,
                std::string_view store) {
  switch (written) {
    case crypto::StoreWrite::Written:
      std::cerr << "added to " << store << ": " << certificate.subjectText() << '\n';
      return kExitOk;
    case crypto::StoreWrite::AlreadyPresent:
      std::cerr << "already in " << store << ": " << certificate.subjectText() << '\n';
      return kExitAlreadyPresent;
    case crypto::StoreWrite::Failed:
      break;
  }
  std::cerr << "marqen: cannot write to store " << store << '\n';
  return kExitFailed;
}

fs::path storeFolder(std::string_view store) {
  return crypto::certStoreRoot() / store;
}

int importPfx(const std::string& file, const ParsedArguments& line) {
  const auto bytes = readWholeFile(file);
  if (!bytes) return kExitFailed;
  const PasswordChoice password = choosePassword(line, "the PFX file " + file, false);
  if (password.exitCode != kExitOk) return password.exitCode;
  auto imported =
      crypto::importPfx(*bytes, password.password ? password.password->text().c_str() : nullptr);
  if (const auto* error = std::get_if<crypto::PfxError>(&imported)) {
    switch (*error) {
      case crypto::PfxError::NotPfx:
        std::cerr << "marqen: " << file << " is not a PFX (PKCS#12) file\n";
        return reportLibraryError(MARQEN_E_NOT_PFX_FILE);
      case crypto::PfxError::ImportFailed:
        std::cerr << "marqen: wrong password for the PFX file " << file
                  << ", or the file is damaged\n";
        return reportLibraryError(MARQEN_E_PFX_IMPORT);
      case crypto::PfxError::NoCertificateWithKey:
        std::cerr << "marqen: no certificate in " << file << " has its private key\n";
        return reportLibraryError(MARQEN_E_CERT_CONTEXT);
    }
  }
  const auto& contents = std::get<crypto::PfxContents>(imported);
  int result =
      reportWrite(crypto::addToStore(storeFolder("MY"), contents.certificate, contents.key.get()),
                  contents.certificate, "MY");
  for (const auto& other : contents.otherCertificates) {
    const std::string_view store = other.isSelfSigned() ? "ROOT" : "CA";
    const int code = reportWrite(crypto::addToStore(storeFolder(store), other), other, store);
    // A CA certificate already present is expected when several PFX files share a CA.
    if (code == kExitFailed) result = kExitFailed;
  }
  return result;
}

int importCertificate(const std::string& file, const std::string& store) {
  const auto bytes = readWholeFile(file);
  if (!bytes) return kExitFailed;
  const auto certificate = Certificate::fromDerOrPem(*bytes);
  if (!certificate) {
    std::cerr << "marqen: " << file << " holds no certificate (DER or PEM)\n";
    return kExitFailed;
  }
  return reportWrite(crypto::addToStore(storeFolder(store), *certificate), *certificate, store);
}

int importFromToken(const std::string& uri) {
  const crypto::TokenSurvey survey = crypto::surveyTokens(uri, toolPinAsker());
  if (!survey.problem.empty()) {
    std::cerr << "marqen: " << survey.problem << '\n';
    return kExitFailed;
  }
  int result = kExitOk;
  int imported = 0;
  for (const auto& token : survey.tokens) {
    if (!token.loggedIn && !token.loginProblem.empty())
      std::cerr << "marqen: " << token.loginProblem << '\n';
    for (const auto& entry : token.certificates) {
      if (!entry.hasKey.value_or(false)) continue;
      const int code = reportWrite(
          crypto::addTokenCertificateToStore(storeFolder("MY"), entry.certificate, entry.keyUri),
          entry.certificate, "MY");
      if (code == kExitFailed || result == kExitOk) result = code;
      ++imported;
    }
  }
  if (imported == 0) {
    std::cerr << "marqen: no certificate with its private key found on a token matching " << uri
              << '\n';
    return kExitFailed;
  }
  return result;
}

int list(const std::vector<std::string>& stores) {
  for (const auto& name : stores) {
    const auto store = crypto::CertificateStore::open(name);
    if (!store) {
      std::cerr << "marqen: cannot read store " << name << '\n';
      return kExitFailed;
    }
    std::cout << "[" << name << "] " << store->certificates().size() << " certificate(s)\n";
    for (const auto& entry : store->certificates()) {
      const Certificate& c = entry.certificate;
      std::cout << "  subject: " << c.subjectText() << '\n'
                << "  issuer:  " << c.issuerText() << '\n'
                << "  serial:  " << c.serialText() << '\n'
                << "  expires: " << utcText(c.notAfter()) << '\n';
      if (entry.hasPrivateKey())
        std::cout << "  private key: " << (fs::exists(entry.tokenFile()) ? "on a token" : "yes")
                  << '\n';
      std::cout << '\n';
    }
  }
  return kExitOk;
}

// The library's own listing: key usage for the use, valid now, under the trusted CAs.
int listFit(const std::string& store, bool encryption) {
  if (store != "MY" && store != "ADDRESSBOOK") {
    std::cerr << "marqen: --signing and --encryption list MY or ADDRESSBOOK\n";
    return reportUsage(kUsage);
  }
  CertificateSummary** list = nullptr;
  int32_t count = 0;
  if (const ErrorCode code = listAllCertificatesFromStore(
          encryption ? ENCRYPTION_CERTIFICATE : SIGNING_CERTIFICATE,
          store == "MY" ? STORE_PERSONAL : STORE_OTHER_PEOPLE, &list, &count))
    return reportLibraryError(code);
  std::cout << "[" << store << "] " << count << " certificate(s) fit for "
            << (encryption ? "encryption" : "signing") << " now\n";
  for (int32_t i = 0; i < count; ++i) {
    CertificateSummary* entry = list[i];
    std::cout << "  subject: " << os::toUtf8(os::wideView(entry->subjectName)) << '\n'
              << "  issuer:  " << os::toUtf8(os::wideView(entry->issuerName)) << '\n'
              << "  serial:  " << entry->serialNumberHex << '\n'
              << "  expires: " << utcText(entry->expiryTime) << "\n\n";
  }
  // Each string, each summary, then the array, as the library hands them over.
  for (int32_t i = 0; i < count; ++i) {
    std::free(list[i]->issuerName);
    std::free(list[i]->serialNumberHex);
    std::free(list[i]->subjectName);
    std::free(list[i]);
  }
  std::free(static_cast<void*>(list));
  return std::cout.flush() ? kExitOk : kExitFailed;
}

int remove(const std::string& store, const std::string& serial, const std::string& issuer) {
  const auto opened = crypto::CertificateStore::open(store);
  if (!opened) {
    std::cerr << "marqen: cannot read store " << store << '\n';
    return kExitFailed;
  }
  auto sameSerial = [&](const std::string& text) {
    return std::equal(text.begin(), text.end(), serial.begin(), serial.end(),
                      [](char a, char b) { return std::toupper(a) == std::toupper(b); });
  };
  for (const auto& entry : opened->certificates()) {
    if (!sameSerial(entry.certificate.serialText()) || entry.certificate.issuerText() != issuer)
      continue;
    if (!crypto::removeFromStore(entry)) {
      std::cerr << "marqen: cannot remove " << entry.file << '\n';
      return kExitFailed;
    }
    std::cerr << "removed from " << store << ": " << entry.certificate.subjectText() << '\n';
    return kExitOk;
  }
  std::cerr << "marqen: no certificate in " << store << " with serial " << serial
            << " and issuer \"" << issuer << "\"; 'marqen certstore list --store " << store
            << "' shows the serials and issuers there (give the issuer exactly as it prints it)\n";
  return kExitFailed;
}

}  // namespace

int runCertstore(Arguments args) {
  const auto parsed = parseArguments(args, kOptions);
  if (!parsed || parsed->positional.empty()) return reportUsage(kUsage);
  const auto& verb = parsed->positional[0];
  const std::string* store = parsed->option("store");
  std::optional<std::string> storeUpper;
  if (store && !(storeUpper = storeName(*store))) return kExitUsage;

  if (verb == "import" && parsed->positional.size() == 1 && parsed->option("token") && !store)
    return importFromToken(*parsed->option("token"));
  if (verb == "import" && parsed->positional.size() == 2 && !parsed->option("token")) {
    const std::string& file = parsed->positional[1];
    if (storeUpper) return importCertificate(file, *storeUpper);
    return importPfx(file, *parsed);
  }
  if (verb == "list" && parsed->positional.size() == 1) {
    const bool signing = parsed->has("signing");
    const bool encryption = parsed->has("encryption");
    if (signing && encryption) {
      std::cerr << "marqen: list for --signing or for --encryption, not both\n";
      return reportUsage(kUsage);
    }
    if (signing || encryption) return listFit(storeUpper.value_or("MY"), encryption);
    if (storeUpper) return list({*storeUpper});
    return list({kStores.begin(), kStores.end()});
  }
  if (verb == "remove" && parsed->positional.size() == 1 && storeUpper &&
      parsed->option("serial") && parsed->option("issuer")) {
    const auto serial = normaliseSerial(*parsed->option("serial"));
    if (!serial) {
      std::cerr << "marqen: --serial takes the serial number in hexadecimal\n";
      return reportUsage(kUsage);
    }
    return remove(*storeUpper, *serial, *parsed->option("issuer"));
  }
  return reportUsage(kUsage);
}

}  // namespace marqen::tool
