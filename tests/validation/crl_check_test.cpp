#include <gtest/gtest.h>

#include <ctime>

#include "library/core/error_codes.h"
#include "library/validation/crl_check.h"
#include "tests/support/http_test_server.h"
#include "tests/support/pki_builder.h"
#include "tests/support/raised_code.h"
#include "tests/support/temp_cert_store.h"

namespace marqen {
namespace {

using test::Bytes;
namespace fs = std::filesystem;
using test::Issued;

std::int64_t now() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

Bytes bytesOf(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

class CrlCheck : public ::testing::Test {
 protected:
  test::TempCertStore store;
  test::HttpTestServer server;
  Issued root = withPoints("CRL Root", nullptr, true, {});
  Issued ca = withPoints("CRL CA", &root, true, {"URI:" + server.url("/root.crl")});

  void SetUp() override {
    store.add("ROOT", "root", root);
    store.add("CA", "ca", ca);
  }

  static Issued withPoints(const std::string& cn, const Issued* issuer, bool isCa,
                           std::vector<std::string> points) {
    test::CertificateOptions options;
    options.subject = test::makeName({"O=Marqen Test", "CN=" + cn});
    options.issuer = issuer;
    options.crlDistributionPoints = std::move(points);
    if (isCa) {
      options.basicConstraints = "critical,CA:TRUE";
      options.keyUsage = "critical,keyCertSign,cRLSign";
    }
    return test::issueCertificate(std::move(options));
  }
  Issued leaf(std::vector<std::string> points) {
    return withPoints("CRL User", &ca, false, std::move(points));
  }
  Bytes crlOf(const Issued& issuer, std::vector<Bytes> revoked = {}) {
    test::CrlOptions options;
    options.revokedSerials = std::move(revoked);
    return test::makeCrl(issuer, options);
  }
  ErrorCode check(const Issued& issued) {
    return test::raisedCode(
        [&] { checkCertificateRevocationByCrl(test::certificateOf(issued), currentFileTime()); });
  }
};

TEST_F(CrlCheck, DistributionPointsAreReadInOrder) {
  const auto c =
      test::certificateOf(leaf({"URI:http://127.0.0.1:1/a.crl", "dirName:/CN=Directory Point",
                                "URI:http://127.0.0.1:1/c.crl"}));
  EXPECT_EQ(getCrlDistributionPointCount(c), 3U);
  EXPECT_EQ(getCrlDistributionPointUrl(c, 0), "http://127.0.0.1:1/a.crl");
  EXPECT_EQ(getCrlDistributionPointUrl(c, 1), "") << "a directory name is no URL";
  EXPECT_EQ(getCrlDistributionPointUrl(c, 2), "http://127.0.0.1:1/c.crl");
  EXPECT_EQ(getCrlDistributionPointUrl(c, 3), "");
  EXPECT_EQ(getCrlDistributionPointCount(test::certificateOf(root)), 0U);
  EXPECT_EQ(check(root), err::NO_CRL_DISTRIBUTION_POINT);
  EXPECT_EQ(check(leaf({"dirName:/CN=Only A Directory"})), err::CRL_DISTRIBUTION_POINT_EXTRACT);
}

TEST_F(CrlCheck, ListedAndUnlistedCertificates) {
  const Issued cert = leaf({"URI:" + server.url("/ca.crl")});
  server.serve("/ca.crl", crlOf(ca));
  EXPECT_EQ(check(cert), err::NO_ERROR);
  server.serve("/ca.crl", crlOf(ca, {test::serialOf(cert)}));
  EXPECT_EQ(check(cert), err::TRUST_REVOKED);
}

TEST_F(CrlCheck, DerAndBothPemFormsGiveTheSameAnswer) {
  const Issued cert = leaf({"URI:" + server.url("/ca.crl")});
  const Bytes der = crlOf(ca, {test::serialOf(cert)});
  const std::string pem = test::crlPem(der);
  std::string shortPem = pem;
  shortPem.replace(shortPem.find("BEGIN X509 CRL"), 14, "BEGIN CRL");
  shortPem.replace(shortPem.find("END X509 CRL"), 12, "END CRL");
  for (const Bytes& body : {der, bytesOf(pem), bytesOf(shortPem)}) {
    server.serve("/ca.crl", body);
    EXPECT_EQ(check(cert), err::TRUST_REVOKED);
  }
  std::vector<unsigned char> fetched;
  server.serve("/ca.crl", bytesOf(pem));
  ASSERT_EQ(test::raisedCode([&] { fetched = downloadCrl(server.url("/ca.crl")); }), err::NO_ERROR);
  EXPECT_EQ(fetched, der);
}

TEST_F(CrlCheck, BrokenBodies) {
  const Issued cert = leaf({"URI:" + server.url("/ca.crl")});
  const std::string pem = test::crlPem(crlOf(ca));
  server.serve("/ca.crl", bytesOf(pem.substr(0, pem.find("-----END"))));
  EXPECT_EQ(check(cert), err::CRL_LOAD);
  server.serve("/ca.crl",
               bytesOf("-----BEGIN X509 CRL-----\n*not base64*\n-----END X509 CRL-----\n"));
  EXPECT_EQ(check(cert), err::CRL_FETCH);
  server.serve("/ca.crl", {});
  EXPECT_EQ(check(cert), err::CRL_FETCH) << "Content-Length 0";
  server.serve("/ca.crl", bytesOf("not a CRL at all"));
  EXPECT_EQ(check(cert), err::CRL_CONTEXT);
}

TEST_F(CrlCheck, UnusableResponsesAreConnectionFailures) {
  const Issued cert = leaf({"URI:" + server.url("/ca.crl")});
  server.serve("/ca.crl", crlOf(ca), "application/pkix-crl", 404);
  EXPECT_EQ(check(cert), err::CRL_CONNECT);
  server.serveChunked("/ca.crl", crlOf(ca));
  EXPECT_EQ(check(cert), err::CRL_CONNECT) << "no Content-Length";
  EXPECT_EQ(check(leaf({"URI:ldap://127.0.0.1/cn=CRL%20CA?certificateRevocationList"})),
            err::CRL_CONNECT);
  server.redirect("/ca.crl", "file:///etc/passwd");
  EXPECT_EQ(check(cert), err::CRL_CONNECT);
  test::RefusingPort closed;
  EXPECT_EQ(check(leaf({"URI:" + closed.url("/ca.crl")})), err::CRL_CONNECT);
}

TEST_F(CrlCheck, BodyInPiecesAndLyingLength) {
  const Issued cert = leaf({"URI:" + server.url("/ca.crl")});
  server.serveInPieces("/ca.crl", crlOf(ca, {test::serialOf(cert)}), 7);
  EXPECT_EQ(check(cert), err::TRUST_REVOKED);
  test::RawHttpResponder liar("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n0123456789");
  EXPECT_EQ(check(leaf({"URI:" + liar.url("/ca.crl")})), err::CRL_FETCH);
}

TEST_F(CrlCheck, FirstWorkingPointDecides) {
  test::RefusingPort down;
  const Issued downFirst =
      leaf({"URI:" + down.url("/first.crl"), "URI:" + server.url("/second.crl")});
  server.serve("/second.crl", crlOf(ca, {test::serialOf(downFirst)}));
  EXPECT_EQ(check(downFirst), err::TRUST_REVOKED);

  const Issued goodFirst = leaf({"URI:" + server.url("/first.crl"), "URI:" + down.url("/x.crl"),
                                 "URI:" + server.url("/never.crl")});
  server.serve("/first.crl", crlOf(ca));
  EXPECT_EQ(check(goodFirst), err::NO_ERROR);
  EXPECT_EQ(server.hits("/never.crl"), 0);

  // When every point fails, the last point's failure is the answer.
  const Issued allDown = leaf({"URI:" + down.url("/a.crl"), "dirName:/CN=Last Point"});
  EXPECT_EQ(check(allDown), err::CRL_DISTRIBUTION_POINT_EXTRACT);
}

TEST_F(CrlCheck, ForgedListOnTheFirstPointFallsThroughToTheNext) {
  const Issued cert = leaf({"URI:" + server.url("/forged.crl"), "URI:" + server.url("/real.crl")});
  server.serve("/forged.crl", crlOf(root));  // signed, but not by the certificate's issuer
  server.serve("/real.crl", crlOf(ca, {test::serialOf(cert)}));
  EXPECT_EQ(check(cert), err::TRUST_REVOKED);
}

TEST_F(CrlCheck, ExpiredAndFutureListsAreRefused) {
  const Issued cert = leaf({"URI:" + server.url("/ca.crl")});
  test::CrlOptions expired;
  expired.thisUpdate = now() - 7200;
  expired.nextUpdate = now() - 3600;
  server.serve("/ca.crl", test::makeCrl(ca, expired));
  EXPECT_EQ(check(cert), err::CRL_EXPIRED);
  test::CrlOptions future;
  future.thisUpdate = now() + 3600;
  future.nextUpdate = now() + 7200;
  server.serve("/ca.crl", test::makeCrl(ca, future));
  EXPECT_EQ(check(cert), err::CRL_NOT_YET_VALID);
}

TEST_F(CrlCheck, ListNotSignedByTheIssuerIsNotUsed) {
  const Issued cert = leaf({"URI:" + server.url("/ca.crl")});
  // Same issuer name, another key: it could hide a revocation or invent one.
  test::CertificateOptions forger;
  forger.subject = test::makeName({"O=Marqen Test", "CN=CRL CA"});
  forger.key = test::rsaKey(true);
  forger.basicConstraints = "critical,CA:TRUE";
  forger.keyUsage = "critical,keyCertSign,cRLSign";
  const Issued fake = test::issueCertificate(std::move(forger));
  server.serve("/ca.crl", crlOf(fake, {test::serialOf(cert)}));
  EXPECT_EQ(check(cert), err::CRL_CONTEXT);
  server.serve("/ca.crl", crlOf(root));  // signed, but by the wrong CA
  EXPECT_EQ(check(cert), err::CRL_CONTEXT);
}

TEST_F(CrlCheck, WholeChainUpToTheRoot) {
  const Issued cert = leaf({"URI:" + server.url("/ca.crl")});
  server.serve("/ca.crl", crlOf(ca));
  server.serve("/root.crl", crlOf(root));
  EXPECT_EQ(test::raisedCode([&] {
              checkChainRevocationByCrl(test::certificateOf(cert), REVOCATION_END_CERT,
                                        currentFileTime());
            }),
            err::NO_ERROR);
  // The root is checked like every issuer, and it has no distribution point here.
  EXPECT_EQ(test::raisedCode([&] {
              checkChainRevocationByCrl(test::certificateOf(cert), REVOCATION_CHAIN,
                                        currentFileTime());
            }),
            err::NO_CRL_DISTRIBUTION_POINT);
  EXPECT_EQ(server.hits("/root.crl"), 1);

  server.serve("/root.crl", crlOf(root, {test::serialOf(ca)}));
  EXPECT_EQ(test::raisedCode([&] {
              checkChainRevocationByCrl(test::certificateOf(cert), REVOCATION_CHAIN,
                                        currentFileTime());
            }),
            err::TRUST_REVOKED);
}

TEST_F(CrlCheck, IssuerInNoStoreEndsTheWalk) {
  const Issued strayCa = withPoints("Stray CA", &root, true, {});
  const Issued cert = withPoints("Stray User", &strayCa, false, {"URI:" + server.url("/s.crl")});
  server.serve("/s.crl", crlOf(strayCa));
  // The stray CA is in no store, so its list cannot be authenticated either.
  EXPECT_EQ(test::raisedCode([&] {
              checkCertificateRevocationByCrl(test::certificateOf(cert), currentFileTime());
            }),
            err::CRL_CONTEXT);
  store.add("ADDRESSBOOK", "stray", strayCa);
  EXPECT_EQ(test::raisedCode([&] {
              checkCertificateRevocationByCrl(test::certificateOf(cert), currentFileTime());
            }),
            err::NO_ERROR);
  fs::remove(store.root() / "ADDRESSBOOK" / "stray.cer");
  const Issued loneRoot = withPoints("Lone Root", nullptr, true, {});
  const Issued loneCa = withPoints("Lone CA", &loneRoot, true, {"URI:" + server.url("/l.crl")});
  store.add("CA", "lone-ca", loneCa);
  const Issued loneUser = withPoints("Lone User", &loneCa, false, {"URI:" + server.url("/u.crl")});
  server.serve("/u.crl", crlOf(loneCa));
  server.serve("/l.crl", crlOf(loneRoot));
  // The walk never reaches the missing root: the lone CA's list cannot be authenticated
  // without it, and that is reported first.
  EXPECT_EQ(test::raisedCode([&] {
              checkChainRevocationByCrl(test::certificateOf(loneUser), REVOCATION_END_CERT,
                                        currentFileTime());
            }),
            err::NO_ERROR);
  EXPECT_EQ(test::raisedCode([&] {
              checkChainRevocationByCrl(test::certificateOf(loneUser), REVOCATION_CHAIN,
                                        currentFileTime());
            }),
            err::CRL_CONTEXT);
}

}  // namespace
}  // namespace marqen
