// The registry file: values kept as written, changes serialised and atomic, a corrupt file
// never overwritten.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/com/registry.h"
#include "tests/support/temp_dir.h"

namespace marqen::test {
namespace {

using com::Registry;
using com::RegistryError;
using com::RegistryKeys;

TEST(RegistryTest, ValuesAreKeptAsWrittenAndFoundWithoutRegardToCase) {
  TempDir dir;
  const Registry registry(dir.path() / "sub" / "registry.json");
  EXPECT_TRUE(registry.read().keys().empty());  // no file yet: no keys

  registry.update([](RegistryKeys& keys) {
    keys.setValue("HKEY_CLASSES_ROOT\\CLSID\\{A}\\InprocServer32", "", std::string("/m.so"));
    keys.setValue("HKEY_CLASSES_ROOT\\CLSID\\{A}\\InprocServer32", "ThreadingModel",
                  std::string("Apartment"));
    keys.setValue("HKEY_CLASSES_ROOT\\X", "Flags", std::uint32_t{4294967295U});
    keys.createKey("HKEY_CLASSES_ROOT\\Empty");
  });
  const RegistryKeys keys = registry.read();
  EXPECT_EQ(keys.text("hkey_classes_root\\clsid\\{a}\\inprocserver32"), "/m.so");
  EXPECT_EQ(keys.text("HKEY_CLASSES_ROOT\\CLSID\\{A}\\InprocServer32", "threadingmodel"),
            "Apartment");
  ASSERT_NE(keys.value("HKEY_CLASSES_ROOT\\X", "Flags"), nullptr);
  EXPECT_EQ(std::get<std::uint32_t>(*keys.value("HKEY_CLASSES_ROOT\\X", "Flags")), 4294967295U);
  EXPECT_FALSE(keys.text("HKEY_CLASSES_ROOT\\X", "Flags"));  // a number, not text
  EXPECT_TRUE(keys.hasKey("HKEY_CLASSES_ROOT\\Empty"));
  EXPECT_TRUE(keys.hasKey("HKEY_CLASSES_ROOT\\CLSID\\{A}"));  // a parent of a key
  EXPECT_FALSE(keys.hasKey("HKEY_CLASSES_ROOT\\CLSID\\{"));   // a prefix, not a parent

  struct stat info {};
  ASSERT_EQ(::stat(registry.file().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600U);
}

TEST(RegistryTest, DeletingATreeCanKeepOneSubkey) {
  RegistryKeys keys;
  for (const char* key :
       {"R\\C\\{A}", "R\\C\\{A}\\InprocServer32", "R\\C\\{A}\\Implemented Categories\\{1}",
        "R\\C\\{A}\\Implemented Categories\\{2}", "R\\C\\{AB}", "R\\C\\{A}x"})
    keys.createKey(key);
  keys.deleteTree("R\\C\\{a}", "implemented categories");
  std::vector<std::string> left;
  for (const auto& [key, values] : keys.keys())
    left.push_back(key);
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left,
            (std::vector<std::string>{"R\\C\\{AB}", "R\\C\\{A}\\Implemented Categories\\{1}",
                                      "R\\C\\{A}\\Implemented Categories\\{2}", "R\\C\\{A}x"}));
}

TEST(RegistryTest, ACorruptFileIsNeverOverwritten) {
  const char* corrupt[] = {
      "",                              // empty
      "not json",                      // no JSON at all
      "[]",                            // not an object
      "{\"K\": 1}",                    // a key that is not an object
      "{\"K\": {\"v\": [1]}}",         // a value of another kind
      "{\"K\": {\"v\": -1}}",          // not a DWORD
      "{\"K\": {\"v\": 4294967296}}",  // beyond 32 bits
      "{\"K\": {}, \"k\": {}}",        // one key twice
      "{\"K\": {\"v\": \"a\"}",        // cut short
  };
  for (const char* content : corrupt) {
    SCOPED_TRACE(content);
    TempDir dir;
    const std::string file = dir.file("registry.json");
    writeFile(file, content);
    const Registry registry(file);
    EXPECT_THROW(registry.read(), RegistryError);
    bool changed = false;
    EXPECT_THROW(registry.update([&changed](RegistryKeys&) { changed = true; }), RegistryError);
    EXPECT_FALSE(changed);
    EXPECT_EQ(readFile(file), content);
  }
}

TEST(RegistryTest, ConcurrentWritersLoseNoChangeAndLeaveNoTemporaryFile) {
  TempDir dir;
  const Registry registry(dir.path() / "registry.json");
  constexpr int kThreads = 6;
  constexpr int kWrites = 15;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t)
    writers.emplace_back([&registry, t] {
      for (int i = 0; i < kWrites; ++i)
        registry.update([t, i](RegistryKeys& keys) {
          keys.setValue("K\\" + std::to_string(t) + "\\" + std::to_string(i), "", std::string("v"));
        });
    });
  // Readers meanwhile always see a whole file.
  for (int i = 0; i < 50; ++i)
    EXPECT_NO_THROW(registry.read());
  for (auto& writer : writers)
    writer.join();
  EXPECT_EQ(registry.read().keys().size(), static_cast<std::size_t>(kThreads * kWrites));
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    files.push_back(entry.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"registry.json", "registry.json.lock"}));
}

TEST(RegistryTest, TheFileComesFromTheEnvironment) {
  ::setenv("MARQEN_REGISTRY", "/x/r.json", 1);
  EXPECT_EQ(Registry::defaultPath(), "/x/r.json");
  ::unsetenv("MARQEN_REGISTRY");
  ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(Registry::defaultPath(), "/cfg/marqen/registry.json");
  ::unsetenv("XDG_CONFIG_HOME");
  ::setenv("HOME", "/home/u", 1);
  EXPECT_EQ(Registry::defaultPath(), "/home/u/.config/marqen/registry.json");
}

}  // namespace
}  // namespace marqen::test
