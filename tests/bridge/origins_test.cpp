#include <gtest/gtest.h>

#include "bridge/origins.h"
#include "tests/support/temp_dir.h"

namespace marqen::bridge {
namespace {

TEST(Origins, CanonicalFormOrRefusal) {
  const struct {
    const char* text;
    const char* origin;  // null: refused
  } cases[] = {
      {"https://Example.COM", "https://example.com"},
      {"HTTP://localhost:8080", "http://localhost:8080"},
      {"https://example.com:443", "https://example.com"},
      {"http://example.com:80", "http://example.com"},
      {"http://example.com:443", "http://example.com:443"},
      {"http://[::1]:9000", "http://[::1]:9000"},
      {"null", nullptr},
      {"file:///tmp/page.html", nullptr},
      {"https://example.com/path", nullptr},
      {"https://", nullptr},
      {"https://example.com:0", nullptr},
      {"https://example.com:65536", nullptr},
      {"https://example.com:80x", nullptr},
      {"https://user@example.com", nullptr},
  };
  for (const auto& c : cases) {
    const auto origin = canonicalOrigin(c.text);
    if (c.origin)
      EXPECT_EQ(origin.value_or("(refused)"), c.origin) << c.text;
    else
      EXPECT_FALSE(origin) << c.text;
  }
}

TEST(Origins, HostMustNameTheLoopbackAndPort) {
  EXPECT_TRUE(isLoopbackHost("127.0.0.1:47215", 47215));
  EXPECT_TRUE(isLoopbackHost("LocalHost:47215", 47215));
  for (const char* host : {"127.0.0.1", "localhost:47216", "evil.example:47215", "127.0.0.2:47215",
                           "", "localhost.:47215", "[::1]:47215"})
    EXPECT_FALSE(isLoopbackHost(host, 47215)) << host;
}

TEST(Origins, ApproveRevokeAndListKeepOneEntryEach) {
  test::TempDir dir;
  const OriginList list(dir.path() / "sub" / "origins.json");
  EXPECT_TRUE(list.read().empty());
  ASSERT_TRUE(list.add("https://a.example"));
  ASSERT_TRUE(list.add("https://b.example"));
  ASSERT_TRUE(list.add("https://a.example"));
  EXPECT_EQ(list.read(), (std::vector<std::string>{"https://a.example", "https://b.example"}));
  EXPECT_TRUE(list.contains("https://b.example"));
  // Compared exactly: another scheme or port is another origin.
  EXPECT_FALSE(list.contains("http://b.example"));
  EXPECT_FALSE(list.contains("https://b.example:8443"));
  ASSERT_TRUE(list.remove("https://a.example"));
  EXPECT_EQ(list.read(), (std::vector<std::string>{"https://b.example"}));
}

}  // namespace
}  // namespace marqen::bridge
