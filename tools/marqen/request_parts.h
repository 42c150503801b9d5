#pragma once
// Pieces the signing commands share: option choices, the signer's locator, the attribute list
// and the library's result record, each owning what the request points into; and the messages
// that name in the user's terms what failed.

#include <openssl/crypto.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/crypto/oids.h"
#include "platform/os/file_access.h"
#include "platform/os/text.h"
#include "tools/marqen/command_line.h"

namespace marqen::tool {

inline std::string lowercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Maps an option's value to a library constant; prints the choices when it is none of them.
template <std::size_t N>
std::optional<int32_t> choice(const ParsedArguments& line, std::string_view option,
                              const std::pair<std::string_view, int32_t> (&choices)[N],
                              int32_t fallback) {
  const std::string* given = line.option(option);
  if (!given) return fallback;
  const std::string value = lowercase(*given);
  for (const auto& [name, constant] : choices)
    if (name == value) return constant;
  std::cerr << "marqen: --" << option << " takes";
  for (std::size_t i = 0; i < N; ++i)
    std::cerr << (i == 0 ? " " : (i + 1 == N ? " or " : ", ")) << choices[i].first;
  std::cerr << ", not '" << *given << "'\n";
  return std::nullopt;
}

// The strings and records a request points into, owned here for the length of the call.
class SignerLocator {
 public:
  SignerLocator(const std::string& issuer, std::string serial)
      : issuer_(os::toUtf16(issuer)), serial_(std::move(serial)) {
    locator_.issuerDN = issuer_.data();
    locator_.serialNumber = serial_.data();
    locator_.locationType = LOCATION_STORE;
  }
  SignerLocator(const std::string& pfx, const std::string* password)
      : pfx_(os::toUtf16(pfx)), password_(password ? os::toUtf16(*password) : u"") {
    locator_.pfxFilePath = pfx_.data();
    locator_.pfxPassword = password ? password_.data() : nullptr;
    locator_.locationType = LOCATION_PFX_FILE;
  }
  SignerLocator(const SignerLocator&) = delete;
  SignerLocator& operator=(const SignerLocator&) = delete;
  ~SignerLocator() { OPENSSL_cleanse(password_.data(), password_.capacity() * sizeof(char16_t)); }

  CertificateLocator* get() noexcept { return &locator_; }

 private:
  std::u16string issuer_;
  std::string serial_;
  std::u16string pfx_;
  std::u16string password_;
  CertificateLocator locator_{};
};

class AttributeList {
 public:
  void add(std::string_view oid, const std::string& value, int32_t dataType) {
    auto owned = std::make_unique<Owned>();
    owned->oid = oid;
    owned->value = value;  // stays zero-terminated, which a time value needs
    owned->record.value = reinterpret_cast<unsigned char*>(owned->value.data());
    owned->record.valueLength = static_cast<int32_t>(owned->value.size());
    owned->record.oid = owned->oid.data();
    owned->record.authenticationType = ATTR_AUTHENTICATED;
    owned->record.dataType = dataType;
    pointers_.push_back(&owned->record);
    owned_.push_back(std::move(owned));
  }
  SignedAttribute** data() noexcept { return pointers_.empty() ? nullptr : pointers_.data(); }
  int32_t count() const noexcept { return static_cast<int32_t>(pointers_.size()); }

 private:
  struct Owned {
    std::string oid;
    std::string value;
    SignedAttribute record{};
  };
  std::vector<std::unique_ptr<Owned>> owned_;
  std::vector<SignedAttribute*> pointers_;
};

// A result record the library fills; what it places there is freed with it.
struct LibraryResult {
  DataBuffer record{};
  DataBuffer* pointer = &record;

  LibraryResult() = default;
  LibraryResult(const LibraryResult&) = delete;
  LibraryResult& operator=(const LibraryResult&) = delete;
  ~LibraryResult() {
    std::free(record.data);
    std::free(record.filePath);
  }
  std::string_view bytes() const noexcept {
    return record.data ? std::string_view(reinterpret_cast<const char*>(record.data),
                                          static_cast<std::size_t>(record.length))
                       : std::string_view();
  }
  std::string path() const { return os::toUtf8(os::wideView(record.filePath)); }
};

inline bool printText(std::string_view text) {
  std::cout << text;
  if (!text.empty() && !text.ends_with('\n')) std::cout << '\n';
  return static_cast<bool>(std::cout.flush());
}

// When a named file cannot be read, says which and why; true when it said something.
inline bool explainUnreadable(const std::string* path, std::string_view what,
                              std::string_view option) {
  if (!path || *path == "-") return false;
  std::error_code ec;
  if (std::filesystem::is_directory(*path, ec)) {
    std::cerr << "marqen: " << what << " " << *path << " (--" << option << ") is a folder\n";
    return true;
  }
  if (::access(path->c_str(), R_OK) == 0) return false;
  std::cerr << "marqen: cannot read " << what << " " << *path << " (--" << option
            << "): " << std::strerror(errno) << '\n';
  return true;
}

// When an output path cannot take a file, says why; true when it said something.
inline bool explainUnwritable(const std::string* path, std::string_view option) {
  if (!path || *path == "-") return false;
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::is_directory(*path, ec)) {
    std::cerr << "marqen: the output path " << *path << " (--" << option
              << ") is a folder: name a file in it\n";
    return true;
  }
  const fs::path folder = fs::path(*path).parent_path();
  if (!folder.empty() && !fs::is_directory(folder, ec)) {
    std::cerr << "marqen: the folder of " << *path << " (--" << option << ") does not exist\n";
    return true;
  }
  return false;
}

// Unix seconds as the library takes them, from Unix seconds or an ISO 8601 UTC time.
inline std::optional<std::string> signingTimeSeconds(const std::string& text) {
  long long seconds = 0;
  const char* end = text.data() + text.size();
  if (const auto [stop, error] = std::from_chars(text.data(), end, seconds);
      error == std::errc() && stop == end && !text.empty() && text[0] != '-')
    return seconds <= INT32_MAX ? std::optional(text) : std::nullopt;
  std::tm parts{};
  const char* rest = ::strptime(text.c_str(), "%Y-%m-%dT%H:%M:%SZ", &parts);
  if (!rest || *rest != '\0') return std::nullopt;
  const std::time_t utc = ::timegm(&parts);
  if (utc < 0 || utc > INT32_MAX) return std::nullopt;
  return std::to_string(utc);
}

// The signed attributes a user sets by option: --document-name, --comments, --signing-time.
// Nothing (the reason printed) when --signing-time does not parse.
inline std::optional<AttributeList> optionAttributes(const ParsedArguments& p) {
  AttributeList attributes;
  if (const auto* name = p.option("document-name"))
    attributes.add(crypto::kDocumentNameOid, *name, ATTR_OCTET_STRING);
  if (const auto* comments = p.option("comments"))
    attributes.add(crypto::kCommentsOid, *comments, ATTR_OCTET_STRING);
  if (const std::string* time = p.option("signing-time")) {
    const auto seconds = signingTimeSeconds(*time);
    if (!seconds) {
      std::cerr << "marqen: --signing-time takes Unix seconds or a UTC time such as "
                   "2026-01-31T12:00:00Z, not '"
                << *time << "'\n";
      return std::nullopt;
    }
    attributes.add(crypto::kSigningTimeOid, *seconds, ATTR_TIME);
  }
  return attributes;
}

// --hash by name; MD5 and SHA-1 asked for by name get a warning.
inline std::optional<int32_t> hashChoice(const ParsedArguments& p, int32_t fallback) {
  const auto hash = choice(p, "hash",
                           {{"sha256", HASH_SHA256},
                            {"sha384", HASH_SHA384},
                            {"sha512", HASH_SHA512},
                            {"sha1", HASH_SHA1},
                            {"md5", HASH_MD5}},
                           fallback);
  if (hash && p.option("hash") && (*hash == HASH_SHA1 || *hash == HASH_MD5))
    std::cerr << "marqen: warning: " << (*hash == HASH_MD5 ? "MD5" : "SHA-1")
              << " is broken and many verifiers refuse it; prefer --hash sha256\n";
  return hash;
}

inline bool givesPassword(const ParsedArguments& p) {
  return p.option("password") || p.option("password-file") || p.option("password-env");
}

// --serial as the stores print it; empty (the reason printed) when it is no hex number.
inline std::optional<std::string> serialFrom(const ParsedArguments& p) {
  const std::string* typed = p.option("serial");
  if (!typed) return std::nullopt;
  auto serial = normaliseSerial(*typed);
  if (!serial)
    std::cerr << "marqen: --serial takes the serial number in hexadecimal, not '" << *typed
              << "'\n";
  return serial;
}

inline std::optional<int32_t> storeChoice(const ParsedArguments& p) {
  return choice(p, "store", {{"my", STORE_PERSONAL}, {"addressbook", STORE_OTHER_PEOPLE}},
                STORE_PERSONAL);
}

// A certificate file as the library takes a certificate string: DER bytes, or the Base64 text
// inside PEM armour.
inline std::optional<std::string> certificateString(const std::string& path) {
  const auto bytes = os::readSmallFile(path);
  if (!bytes) {
    std::cerr << "marqen: cannot read the certificate file " << path << " (--cert)\n";
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

// Unix seconds as a UTC time, e.g. "2026-01-31 12:00:00 UTC".
inline std::string utcText(std::int64_t unixSeconds) {
  const auto t = static_cast<std::time_t>(unixSeconds);
  std::tm parts{};
  if (!::gmtime_r(&t, &parts)) return "?";
  char text[32];
  if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts) == 0) return "?";
  return text;
}

// Says in the user's terms why the signer's PFX or store certificate failed; true when it did.
inline bool explainSignerFailure(ErrorCode code, const ParsedArguments& p,
                                 const std::string* serial) {
  const std::string* pfx = p.option("pfx");
  if (explainUnreadable(pfx, "the PFX file", "pfx")) return true;
  if (pfx && code == MARQEN_E_NOT_PFX_FILE) {
    std::cerr << "marqen: " << *pfx << " (--pfx) is not a PFX (PKCS#12) file\n";
    return true;
  }
  if (pfx && code == MARQEN_E_PFX_IMPORT) {
    std::cerr << "marqen: wrong password for the PFX file " << *pfx << ", or the file is damaged\n";
    return true;
  }
  const std::string* issuer = p.option("issuer");
  if (!pfx && serial && issuer && code == MARQEN_E_CERT_CONTEXT) {
    std::cerr << "marqen: no certificate in MY has serial " << *serial << " and issuer \""
              << *issuer
              << "\"; 'marqen certstore list --store MY' shows the serials and issuers there\n";
    return true;
  }
  return false;
}

}  // namespace marqen::tool
