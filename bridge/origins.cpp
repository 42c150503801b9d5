#include "bridge/origins.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <nlohmann/json.hpp>
#include <system_error>

#include "platform/os/host_program.h"

namespace marqen::bridge {
namespace {

std::string lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

bool isHostChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
}

}  // namespace

std::optional<std::string> canonicalOrigin(std::string_view text) {
  const std::size_t sep = text.find("://");
  if (sep == std::string_view::npos) return std::nullopt;
  const std::string scheme = lower(text.substr(0, sep));
  if (scheme != "http" && scheme != "https") return std::nullopt;
  std::string_view rest = text.substr(sep + 3);
  std::string_view host = rest;
  std::string_view port;
  if (rest.starts_with('[')) {
    const std::size_t close = rest.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = rest.substr(0, close + 1);
    const std::string_view after = rest.substr(close + 1);
    if (!after.empty()) {
      if (after[0] != ':') return std::nullopt;
      port = after.substr(1);
    }
    if (host.find_first_not_of("[]:0123456789abcdefABCDEF.") != std::string_view::npos)
      return std::nullopt;
  } else {
    const std::size_t colon = rest.find(':');
    if (colon != std::string_view::npos) {
      host = rest.substr(0, colon);
      port = rest.substr(colon + 1);
    }
    if (!std::all_of(host.begin(), host.end(), isHostChar)) return std::nullopt;
  }
  if (host.empty()) return std::nullopt;
  std::string origin = scheme + "://" + lower(host);
  if (!port.empty() || rest.ends_with(':')) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (ec != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535)
      return std::nullopt;
    // Browsers leave the scheme's own port out.
    if (!((scheme == "http" && value == 80) || (scheme == "https" && value == 443)))
      origin.append(":").append(std::to_string(value));
  }
  return origin;
}

bool isLoopbackHost(std::string_view host, unsigned short port) {
  const std::string name = lower(host);
  const auto colon = name.rfind(':');
  if (colon == std::string::npos || name.substr(colon + 1) != std::to_string(port)) return false;
  const std::string_view address = std::string_view(name).substr(0, colon);
  return address == "127.0.0.1" || address == "localhost";
}

std::filesystem::path OriginList::defaultPath() {
  const std::string config = os::userConfigFolder();
  return std::filesystem::path(config.empty() ? ".config" : config) / "marqen" / "origins.json";
}

std::vector<std::string> OriginList::read() const {
  std::ifstream in(file_);
  if (!in) return {};
  const auto json = nlohmann::json::parse(in, nullptr, false);
  std::vector<std::string> origins;
  if (!json.is_array()) return origins;
  for (const auto& item : json)
    if (item.is_string()) origins.push_back(item.get<std::string>());
  return origins;
}

bool OriginList::contains(std::string_view origin) const {
  const auto origins = read();
  return std::find(origins.begin(), origins.end(), origin) != origins.end();
}

bool OriginList::add(const std::string& origin) const {
  auto origins = read();
  if (std::find(origins.begin(), origins.end(), origin) != origins.end()) return true;
  origins.push_back(origin);
  return write(origins);
}

bool OriginList::remove(std::string_view origin) const {
  auto origins = read();
  origins.erase(std::remove(origins.begin(), origins.end(), origin), origins.end());
  return write(origins);
}

bool OriginList::write(const std::vector<std::string>& origins) const {
  std::error_code ec;
  std::filesystem::create_directories(file_.parent_path(), ec);
  // A whole new file renamed over the old one, so a handshake never reads half a list.
  const std::filesystem::path temporary = file_.string() + ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << nlohmann::json(origins).dump(2) << '\n';
    if (!out.flush()) return false;
  }
  std::filesystem::rename(temporary, file_, ec);
  return !ec;
}

}  // namespace marqen::bridge
