#pragma once
// The registry as a file: one JSON object whose member names are whole key paths in Windows
// form ("HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32") and whose values are objects of value
// name to value ("" is the default value; text, or a number for a DWORD value). Key and value
// names compare without regard to ASCII case, as Windows compares them.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

namespace marqen::com {

struct CaseInsensitiveLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept;
};

using RegistryValue = std::variant<std::string, std::uint32_t>;
using RegistryKey = std::map<std::string, RegistryValue, CaseInsensitiveLess>;

inline constexpr std::string_view kClassesRoot = "HKEY_CLASSES_ROOT\\";

class RegistryKeys {
 public:
  using Map = std::map<std::string, RegistryKey, CaseInsensitiveLess>;

  void createKey(std::string_view key);
  void setValue(std::string_view key, std::string_view name, RegistryValue value);
  // Null when the key or the value is missing.
  const RegistryValue* value(std::string_view key, std::string_view name = {}) const;
  // A text value; empty when missing or a number.
  std::optional<std::string> text(std::string_view key, std::string_view name = {}) const;
  // A key exists when it was created or when a key below it was.
  bool hasKey(std::string_view key) const;
  // Removes the key and every key below it, except `keep` (a subkey name) and what lies below
  // that.
  void deleteTree(std::string_view key, std::string_view keep = {});

  const Map& keys() const noexcept { return keys_; }
  Map& keys() noexcept { return keys_; }

 private:
  Map keys_;
};

// A registry file that cannot be read, parsed or written.
class RegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Registry {
 public:
  explicit Registry(std::filesystem::path file) : file_(std::move(file)) {}
  // $MARQEN_REGISTRY, else ${XDG_CONFIG_HOME:-$HOME/.config}/marqen/registry.json.
  static std::filesystem::path defaultPath();

  const std::filesystem::path& file() const noexcept { return file_; }

  // The keys as they stand; a missing file holds none. Throws RegistryError.
  RegistryKeys read() const;
  // Reads, changes and writes the keys under an exclusive lock, so that concurrent writers
  // never lose each other's changes; the new file replaces the old one by rename, so readers
  // see one or the other whole. A file that cannot be parsed is left as it is: throws
  // RegistryError without writing.
  void update(const std::function<void(RegistryKeys&)>& change) const;

 private:
  std::filesystem::path file_;
};

}  // namespace marqen::com
