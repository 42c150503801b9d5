#include <gtest/gtest.h>

#include "library/cert/cert_lookup.h"
#include "library/core/error_codes.h"
#include "tests/support/pki_builder.h"
#include "tests/support/raised_code.h"

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
  EXPECT_EQ(test::raisedCode([&] { checkDigitalSignatureUsage(&signing); }), err::NO_ERROR);
  EXPECT_EQ(test::raisedCode([&] { checkKeyEnciphermentUsage(&signing); }),
            err::NO_KEY_ENCIPHERMENT_USAGE);
  EXPECT_EQ(test::raisedCode([&] { checkDigitalSignatureUsage(&encryption); }),
            err::NO_DIGITAL_SIGNATURE_USAGE);
  EXPECT_EQ(test::raisedCode([&] { checkKeyEnciphermentUsage(&encryption); }), err::NO_ERROR);
  EXPECT_EQ(test::raisedCode([&] { checkDigitalSignatureUsage(&both); }), err::NO_ERROR);
  EXPECT_EQ(test::raisedCode([&] { checkKeyEnciphermentUsage(&both); }), err::NO_ERROR);
}

TEST(KeyUsage, MissingExtensionOrCertificate) {
  const auto none = certificateWithUsage(std::nullopt);
  EXPECT_EQ(test::raisedCode([&] { checkDigitalSignatureUsage(&none); }),
            err::NO_KEY_USAGE_EXTENSION);
  EXPECT_EQ(test::raisedCode([&] { checkKeyEnciphermentUsage(&none); }),
            err::NO_KEY_USAGE_EXTENSION);
  EXPECT_EQ(test::raisedCode([&] { checkDigitalSignatureUsage(nullptr); }), err::MISSING_ARGUMENT);
  // Bits in the second byte only (decipherOnly) leave the first byte empty.
  const auto decipherOnly = certificateWithUsage("keyAgreement,decipherOnly");
  EXPECT_EQ(test::raisedCode([&] { checkDigitalSignatureUsage(&decipherOnly); }),
            err::NO_DIGITAL_SIGNATURE_USAGE);
}

}  // namespace
}  // namespace marqen
