#include <gtest/gtest.h>

#include "library/api/error_codes.h"
#include "library/cert/cert_lookup.h"
#include "tests/support/pki_builder.h"

namespace marqen {
namespace {

crypto::Certificate certificateWithUsage(std::optional<std::string> usage) {
  static const test::Issued root = test::makeRootCa("Usage Root");
  test::Issued issued = test::makeEndEntity("Usage", root, std::move(usage));
  return crypto::Certificate(std::move(issued.certificate));
}

TEST(KeyUsage, EachCheckLooksAtItsOwnBit) {
  const auto signing = certificateWithUsage("critical,digitalSignature");
  const auto encryption = certificateWithUsage("keyEncipherment");
  const auto both = certificateWithUsage("digitalSignature,keyEncipherment");
  EXPECT_EQ(checkDigitalSignatureUsage(&signing), err::kNoError);
  EXPECT_EQ(checkKeyEnciphermentUsage(&signing), err::kNoKeyEnciphermentUsage);
  EXPECT_EQ(checkDigitalSignatureUsage(&encryption), err::kNoDigitalSignatureUsage);
  EXPECT_EQ(checkKeyEnciphermentUsage(&encryption), err::kNoError);
  EXPECT_EQ(checkDigitalSignatureUsage(&both), err::kNoError);
  EXPECT_EQ(checkKeyEnciphermentUsage(&both), err::kNoError);
}

TEST(KeyUsage, MissingExtensionOrCertificate) {
  const auto none = certificateWithUsage(std::nullopt);
  EXPECT_EQ(checkDigitalSignatureUsage(&none), err::kNoKeyUsageExtension);
  EXPECT_EQ(checkKeyEnciphermentUsage(&none), err::kNoKeyUsageExtension);
  EXPECT_EQ(checkDigitalSignatureUsage(nullptr), err::kMissingArgument);
  // Bits in the second byte only (decipherOnly) leave the first byte empty.
  const auto decipherOnly = certificateWithUsage("keyAgreement,decipherOnly");
  EXPECT_EQ(checkDigitalSignatureUsage(&decipherOnly), err::kNoDigitalSignatureUsage);
}

}  // namespace
}  // namespace marqen
