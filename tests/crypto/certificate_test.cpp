#include <gtest/gtest.h>

#include "platform/crypto/certificate.h"
#include "tests/support/pki_builder.h"

namespace marqen::crypto {
namespace {

using test::Issued;

Issued withSerial(test::Bytes serial) {
  test::CertificateOptions options;
  options.subject = test::makeName({"CN=Serial"});
  options.serial = std::move(serial);
  return test::issueCertificate(std::move(options));
}

TEST(Certificate, SerialTextKeepsTheEncodedLeadingZero) {
  EXPECT_EQ(test::certificateOf(withSerial({0x2A, 0x01, 0x00})).serialText(), "2A0100");
  EXPECT_EQ(test::certificateOf(withSerial({0x80})).serialText(), "0080");
  EXPECT_EQ(test::certificateOf(withSerial({0x00, 0x12, 0xAB})).serialText(), "12AB");
}

TEST(Certificate, ParsesDerAndPemOnlyWhenComplete) {
  const Issued root = test::makeRootCa("Parse Root");
  auto der = root.der();
  ASSERT_TRUE(Certificate::fromDer(der).has_value());
  const std::string pem = root.pem();
  const auto fromPem = Certificate::fromDerOrPem(
      std::span(reinterpret_cast<const unsigned char*>(pem.data()), pem.size()));
  ASSERT_TRUE(fromPem.has_value());
  EXPECT_EQ(fromPem->der(), der);
  der.push_back(0);
  EXPECT_FALSE(Certificate::fromDer(der).has_value()) << "trailing bytes";
  der.resize(der.size() / 2);
  EXPECT_FALSE(Certificate::fromDer(der).has_value()) << "truncated";
  EXPECT_FALSE(Certificate::fromDer({}).has_value());
}

TEST(Certificate, ValidityBeyond2038AndBefore1970) {
  test::CertificateOptions options;
  options.subject = test::makeName({"CN=Long"});
  options.notBefore = -86400;     // 1969-12-31
  options.notAfter = 4102444800;  // 2100-01-01
  const auto cert = test::certificateOf(test::issueCertificate(std::move(options)));
  EXPECT_EQ(cert.notBefore(), -86400);
  EXPECT_EQ(cert.notAfter(), 4102444800);
  EXPECT_EQ(cert.timeValidity(-86401), -1);
  EXPECT_EQ(cert.timeValidity(0), 0);
  EXPECT_EQ(cert.timeValidity(4102444801), 1);
}

TEST(Certificate, CopiesShareAndCompare) {
  const Issued root = test::makeRootCa("Copy Root");
  const Certificate a = test::certificateOf(root);
  Certificate b = a;
  EXPECT_TRUE(b.sameAs(a));
  EXPECT_EQ(b.get(), a.get());
  b = test::certificateOf(test::makeRootCa("Another"));
  EXPECT_FALSE(b.sameAs(a));
  EXPECT_EQ(a.thumbprint().size(), 40U);
  EXPECT_TRUE(a.isSelfSigned());
  EXPECT_FALSE(test::certificateOf(test::makeEndEntity("Leaf", root)).isSelfSigned());
}

}  // namespace
}  // namespace marqen::crypto
