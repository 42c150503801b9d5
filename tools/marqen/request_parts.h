#pragma once
// Pieces the signing commands share: option choices, the signer's locator, the attribute list
// and the library's result record, each owning what the request points into.

#include <openssl/crypto.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

}  // namespace marqen::tool
