#pragma once
#include <filesystem>
#include <string>
#include <string_view>

namespace marqen::test {

// A fresh folder under the system temporary folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const noexcept { return path_; }
  std::string file(std::string_view name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

void writeFile(const std::string& path, std::string_view content);
std::string readFile(const std::string& path);

}  // namespace marqen::test
