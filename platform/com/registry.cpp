#include "platform/com/registry.h"

#include <fcntl.h>
#include <sys/file.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <nlohmann/json.hpp>
#include <span>
#include <system_error>

#include "platform/os/file_access.h"
#include "platform/os/host_program.h"

namespace marqen::com {
namespace {

using Json = nlohmann::json;

char fold(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalFolded(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return fold(x) == fold(y); });
}

// True when `key` is `parent` itself or lies below it.
bool isAtOrBelow(std::string_view key, std::string_view parent) {
  if (key.size() < parent.size() || !equalFolded(key.substr(0, parent.size()), parent))
    return false;
  return key.size() == parent.size() || key[parent.size()] == '\\';
}

RegistryError notARegistry(const std::string& file, std::string_view where) {
  std::string message = file;
  message.append(": not a registry file (").append(where).append(")");
  return RegistryError(message);
}

RegistryKeys parse(std::string_view text, const std::string& file) {
  const Json root = Json::parse(text, nullptr, false);
  if (root.is_discarded() || !root.is_object()) throw notARegistry(file, "cannot be parsed");
  RegistryKeys keys;
  for (const auto& [path, values] : root.items()) {
    if (!values.is_object() || keys.keys().contains(path)) throw notARegistry(file, "key " + path);
    RegistryKey& key = keys.keys()[path];
    for (const auto& [name, value] : values.items()) {
      const bool dword = value.is_number_unsigned() &&
                         value.get<std::uint64_t>() <= std::numeric_limits<std::uint32_t>::max();
      if ((!value.is_string() && !dword) || key.contains(name)) {
        std::string where = "value ";
        where.append(path).append("\\").append(name);
        throw notARegistry(file, where);
      }
      if (dword)
        key.emplace(name, value.get<std::uint32_t>());
      else
        key.emplace(name, value.get<std::string>());
    }
  }
  return keys;
}

std::string serialise(const RegistryKeys& keys, const std::string& file) {
  Json root = Json::object();
  for (const auto& [path, values] : keys.keys()) {
    Json& key = root[path] = Json::object();
    for (const auto& entry : values)
      std::visit([&key, &entry](const auto& v) { key[entry.first] = v; }, entry.second);
  }
  try {
    return root.dump(2) + '\n';
  } catch (const Json::exception&) {
    throw RegistryError(file + ": a key or value is not UTF-8 text");
  }
}

RegistryKeys readFile(const std::filesystem::path& path) {
  const std::string file = path.string();
  if (!os::pathExists(file)) return {};
  const auto bytes = os::readSmallFile(file);
  if (!bytes) throw RegistryError(file + ": cannot be read");
  return parse({reinterpret_cast<const char*>(bytes->data()), bytes->size()}, file);
}

}  // namespace

bool CaseInsensitiveLess::operator()(std::string_view a, std::string_view b) const noexcept {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return fold(x) < fold(y); });
}

void RegistryKeys::createKey(std::string_view key) {
  if (!keys_.contains(key)) keys_.emplace(std::string(key), RegistryKey());
}

void RegistryKeys::setValue(std::string_view key, std::string_view name, RegistryValue value) {
  createKey(key);
  keys_.find(key)->second.insert_or_assign(std::string(name), std::move(value));
}

const RegistryValue* RegistryKeys::value(std::string_view key, std::string_view name) const {
  const auto k = keys_.find(key);
  if (k == keys_.end()) return nullptr;
  const auto v = k->second.find(name);
  return v == k->second.end() ? nullptr : &v->second;
}

std::optional<std::string> RegistryKeys::text(std::string_view key, std::string_view name) const {
  const RegistryValue* v = value(key, name);
  if (!v || !std::holds_alternative<std::string>(*v)) return std::nullopt;
  return std::get<std::string>(*v);
}

bool RegistryKeys::hasKey(std::string_view key) const {
  // Keys below `key` sort right after it ('\\' sorts before letters and digits, but so may
  // other characters, so scan from the first key not less than `key`).
  for (auto it = keys_.lower_bound(key); it != keys_.end(); ++it) {
    if (isAtOrBelow(it->first, key)) return true;
    if (!equalFolded(std::string_view(it->first).substr(0, std::min(key.size(), it->first.size())),
                     key))
      break;
  }
  return false;
}

void RegistryKeys::deleteTree(std::string_view key, std::string_view keep) {
  const std::string kept =
      keep.empty() ? std::string() : std::string(key) + '\\' + std::string(keep);
  std::erase_if(keys_, [&](const auto& entry) {
    return isAtOrBelow(entry.first, key) && (kept.empty() || !isAtOrBelow(entry.first, kept));
  });
}

std::filesystem::path Registry::defaultPath() {
  if (const char* file = std::getenv("MARQEN_REGISTRY"); file && *file) return file;
  const std::string config = os::userConfigFolder();
  return std::filesystem::path(config.empty() ? "./.config" : config) / "marqen" / "registry.json";
}

RegistryKeys Registry::read() const {
  return readFile(file_);
}

void Registry::update(const std::function<void(RegistryKeys&)>& change) const {
  const std::string file = file_.string();
  std::error_code ec;
  if (file_.has_parent_path()) std::filesystem::create_directories(file_.parent_path(), ec);
  // The lock is a file of its own: the registry file itself is replaced on every write.
  const std::string lockName = file + ".lock";
  const os::UniqueFd lock(::open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!lock) throw RegistryError(lockName + ": cannot be opened");
  int locked = -1;
  do {
    locked = ::flock(lock.get(), LOCK_EX);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) throw RegistryError(lockName + ": cannot be locked");

  RegistryKeys keys = readFile(file_);
  change(keys);
  const std::string text = serialise(keys, file);
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  if (!os::writeFileAtomically(file, std::span(bytes, text.size()), 0600))
    throw RegistryError(file + ": cannot be written");
  // Closing the descriptor releases the lock.
}

}  // namespace marqen::com
