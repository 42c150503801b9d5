#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <string>
#include <vector>

#include "platform/crypto/base64.h"

namespace marqen::crypto {
namespace {

std::vector<unsigned char> bytesOf(std::string_view s) {
  return {s.begin(), s.end()};
}
std::string encode(std::string_view s) {
  return encodeBase64(bytesOf(s));
}
std::string decode(std::string_view text) {
  const auto bytes = decodeBase64(text);
  return {bytes.begin(), bytes.end()};
}

TEST(Base64Encode, SmallInputsAndPadding) {
  EXPECT_EQ(encode(""), "");
  EXPECT_EQ(encode("abc"), "YWJj");
  EXPECT_EQ(encode(std::string(1, '\0')), "AA==");
  EXPECT_EQ(encode("ab"), "YWI=");
}

TEST(Base64Encode, LineFeedAfterEverySixtyFourCharactersEvenAtTheEnd) {
  // 45 bytes: 15 groups, no line feed. 46, 47, 48: 16 groups, always a line feed.
  EXPECT_EQ(encode(std::string(45, 'x')).size(), 60U);
  for (const std::size_t n : {46U, 47U, 48U}) {
    const std::string text = encode(std::string(n, 'x'));
    ASSERT_EQ(text.size(), 65U) << n;
    EXPECT_EQ(text.back(), '\n') << n;
    EXPECT_EQ(text.find('\n'), 64U) << n;
  }
  const std::string text = encode(std::string(49, 'x'));
  EXPECT_EQ(text.size(), 65U + 4U);
  EXPECT_EQ(text.substr(65), "eA==");
}

TEST(Base64Encode, MatchesOpenSslOnAllByteValuesOnceLineFeedsAreRemoved) {
  std::vector<unsigned char> all(1000);
  for (std::size_t i = 0; i < all.size(); ++i)
    all[i] = static_cast<unsigned char>(i * 7 + 3);
  std::string ours = encodeBase64(all);
  std::string plain;
  for (char c : ours)
    if (c != '\n') plain.push_back(c);
  std::string reference(4 * ((all.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(reference.data()), all.data(),
                                static_cast<int>(all.size()));
  reference.resize(static_cast<std::size_t>(n));
  EXPECT_EQ(plain, reference);
  EXPECT_EQ(decodeBase64(ours), all);
}

TEST(Base64Decode, LineBreaksAnywhereAreIgnored) {
  EXPECT_EQ(decode("YWJj"), "abc");
  EXPECT_EQ(decode("\r\nY\rW\nJj\r\n"), "abc");
}

TEST(Base64Decode, AnyForeignCharacterGivesNothing) {
  EXPECT_TRUE(decodeBase64("YW*j").empty());
  EXPECT_TRUE(decodeBase64("YWJj YWJj").empty());  // a blank is foreign too
  EXPECT_TRUE(decodeBase64("YWJj\t").empty());
  EXPECT_TRUE(decodeBase64("-_").empty());  // the URL-safe alphabet is not ours
  EXPECT_TRUE(decodeBase64("").empty());
  EXPECT_TRUE(decodeBase64("\r\n").empty());
}

TEST(Base64Decode, MissingCharactersCountAsA) {
  EXPECT_EQ(decode("YQ"), std::string("a\0\0", 3));
  EXPECT_EQ(decode("YWJjZA"), std::string("abcd\0\0", 6));
  EXPECT_EQ(decode("Y"), std::string("`\0\0", 3));
}

TEST(Base64Decode, PaddingOnlyDropsBytesOfItsOwnGroup) {
  EXPECT_EQ(decode("YQ=="), "a");
  EXPECT_EQ(decode("YWI="), "ab");
  // An "=" inside the text does not stop decoding: the next group is decoded normally.
  EXPECT_EQ(decode("YQ==YWJj"), "aabc");
  // "=" in the first two positions counts as 63, like "/".
  EXPECT_EQ(decode("=A=="), decode("/A=="));
}

}  // namespace
}  // namespace marqen::crypto
