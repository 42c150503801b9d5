#pragma once
// The origins the user let connect, kept as a JSON array of text in
// ${XDG_CONFIG_HOME:-$HOME/.config}/marqen/origins.json and read afresh at every handshake, so
// that approving or revoking takes effect on a running bridge.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marqen::bridge {

// The origin in the form browsers send it (scheme://host[:port], lower-case scheme and host, no
// path), or nothing when the text is not such an origin. "null" is never an origin to trust.
std::optional<std::string> canonicalOrigin(std::string_view text);

// True when a Host header names this bridge: 127.0.0.1:PORT or localhost:PORT.
bool isLoopbackHost(std::string_view host, unsigned short port);

class OriginList {
 public:
  explicit OriginList(std::filesystem::path file) : file_(std::move(file)) {}
  static std::filesystem::path defaultPath();
  const std::filesystem::path& file() const noexcept { return file_; }

  // The approved origins; a missing or unreadable file approves none.
  std::vector<std::string> read() const;
  bool contains(std::string_view origin) const;
  // False when the file cannot be written.
  bool add(const std::string& origin) const;
  bool remove(std::string_view origin) const;

 private:
  bool write(const std::vector<std::string>& origins) const;
  std::filesystem::path file_;
};

}  // namespace marqen::bridge
