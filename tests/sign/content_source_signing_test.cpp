// Content read from a file a block at a time must give exactly what the same bytes in memory
// give, whatever the block boundaries.

#include <gtest/gtest.h>

#include <string>

#include "platform/crypto/cosigned_message.h"
#include "platform/crypto/raw_signature.h"
#include "platform/crypto/signed_message.h"
#include "tests/support/pki_builder.h"
#include "tests/support/temp_dir.h"

namespace marqen::crypto {
namespace {

using test::Issued;

constexpr std::size_t kBlock = 64;

class FileContent : public ::testing::Test {
 protected:
  test::TempDir dir;
  Issued root = test::makeRootCa("Block Root");
  Issued signer = test::makeEndEntity("Block Signer", root);
  SoftwareKey key{upRef(signer.key.get())};

  static Bytes pattern(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
      bytes[i] = static_cast<unsigned char>(i * 31 + 7);
    return bytes;
  }
  os::ContentSource fileWith(const Bytes& content, const char* name = "content") {
    const std::string path = dir.file(name);
    test::writeFile(path, {reinterpret_cast<const char*>(content.data()), content.size()});
    struct stat info {};
    os::UniqueFd file = os::openRegularFileForReading(path, info);
    EXPECT_TRUE(file);
    return os::ContentSource::inFile(std::move(file), content.size(), kBlock);
  }
  static SignParameters detached(DigestAlgorithm digest) {
    SignParameters p;
    p.detached = true;
    p.digest = digest;
    p.signedAttributes.push_back(*signingTimeAttribute(1700000000));
    return p;
  }
  Bytes signed_(const os::ContentSource& content, const SignParameters& p) {
    const auto message = signMessage(content, test::certificateOf(signer), key, p);
    const auto der = message ? message->toBytes() : std::nullopt;
    return der ? *der : Bytes{};
  }
};

TEST_F(FileContent, EveryPathGivesTheSameBytesAsMemoryAroundTheBlockSize) {
  for (const std::size_t size : {1UL, kBlock - 1, kBlock, kBlock + 1, 3 * kBlock + 5}) {
    for (const auto digest : {DigestAlgorithm::Sha1, DigestAlgorithm::Sha256}) {
      SCOPED_TRACE(testing::Message() << size << " bytes, digest " << static_cast<int>(digest));
      const Bytes content = pattern(size);
      const auto memory = os::ContentSource::inMemory(content);
      const auto file = fileWith(content);

      const Bytes fromMemory = signed_(memory, detached(digest));
      ASSERT_FALSE(fromMemory.empty());
      EXPECT_EQ(signed_(file, detached(digest)), fromMemory);
      const auto message = SignedMessage::decode(fromMemory);
      ASSERT_TRUE(message.has_value());
      EXPECT_TRUE(message->verifySigner(0, test::certificateOf(signer), &file));

      SignParameters second = detached(digest);
      const auto cosignedFromMemory =
          addSigner(fromMemory, &memory, test::certificateOf(signer), key, second);
      const auto cosignedFromFile =
          addSigner(fromMemory, &file, test::certificateOf(signer), key, second);
      ASSERT_TRUE(std::holds_alternative<Bytes>(cosignedFromMemory));
      EXPECT_EQ(cosignedFromFile, cosignedFromMemory);
      const auto cosigned = SignedMessage::decode(std::get<Bytes>(cosignedFromFile));
      ASSERT_TRUE(cosigned.has_value());
      EXPECT_TRUE(cosigned->verifySigner(1, test::certificateOf(signer), content));

      const auto raw = rawSign(key, digest, memory);
      ASSERT_TRUE(std::holds_alternative<Bytes>(raw));
      EXPECT_EQ(rawSign(key, digest, file), raw);
      EXPECT_FALSE(rawVerify(test::certificateOf(signer), digest, file, std::get<Bytes>(raw)));
    }
  }
}

TEST_F(FileContent, AChangedFileNoLongerVerifies) {
  const Bytes content = pattern(3 * kBlock);
  const auto message = SignedMessage::decode(
      signed_(os::ContentSource::inMemory(content), detached(DigestAlgorithm::Sha256)));
  ASSERT_TRUE(message.has_value());
  const auto raw = rawSign(key, DigestAlgorithm::Sha256, content);
  ASSERT_TRUE(std::holds_alternative<Bytes>(raw));
  // One bit in each block in turn, the size unchanged: a digest mismatch, no read failure.
  for (const std::size_t at : {0UL, kBlock, 3 * kBlock - 1}) {
    SCOPED_TRACE(at);
    Bytes changed = content;
    changed[at] ^= 1;
    const auto file = fileWith(changed);
    EXPECT_FALSE(message->verifySigner(0, test::certificateOf(signer), &file));
    EXPECT_EQ(
        rawVerify(test::certificateOf(signer), DigestAlgorithm::Sha256, file, std::get<Bytes>(raw)),
        RawSignatureFailure::Signature);
    EXPECT_FALSE(file.readFailed());
  }
  // Cut short after opening: the read fails and nothing verifies.
  const auto file = fileWith(content, "shortened");
  ASSERT_EQ(::truncate(dir.file("shortened").c_str(), static_cast<off_t>(kBlock)), 0);
  EXPECT_FALSE(message->verifySigner(0, test::certificateOf(signer), &file));
  EXPECT_TRUE(file.readFailed());
}

TEST_F(FileContent, AnAttachedMessageNeedsItsContentInMemory) {
  SignParameters p = detached(DigestAlgorithm::Sha1);
  p.detached = false;
  const auto file = fileWith(pattern(10));
  EXPECT_FALSE(signMessage(file, test::certificateOf(signer), key, p).has_value());
}

}  // namespace
}  // namespace marqen::crypto
