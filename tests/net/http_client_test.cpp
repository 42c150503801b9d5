#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

#include "platform/net/http_client.h"
#include "tests/support/http_test_server.h"

namespace marqen::net {

// Readable failures instead of raw enum bytes.
[[maybe_unused]] static void PrintTo(HttpError error, std::ostream* out) {
  static const char* const names[] = {"UnsupportedUrl", "ConnectFailed", "TimedOut",   "TooLarge",
                                      "Incomplete",     "Failed",        "Unavailable"};
  *out << names[static_cast<int>(error)];
}

namespace {

using Bytes = std::vector<unsigned char>;
using Result = std::variant<HttpResponse, HttpError>;
using test::HttpTestServer;

// Bytes whose order shows: no run of them repeats at a piece or chunk boundary.
Bytes pattern(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<unsigned char>(i % 251);
  return bytes;
}

Bytes bytesOf(const std::string& text) {
  return {text.begin(), text.end()};
}

HttpLimits quick() {
  HttpLimits limits;
  limits.connectTimeout = std::chrono::seconds(5);
  limits.totalTimeout = std::chrono::seconds(10);
  return limits;
}

std::optional<HttpError> errorOf(const Result& result) {
  if (const auto* error = std::get_if<HttpError>(&result)) return *error;
  return std::nullopt;
}

HttpResponse fetch(const std::string& url, const HttpLimits& limits = quick()) {
  Result result = httpGet(url, limits);
  if (const auto* error = std::get_if<HttpError>(&result)) {
    ADD_FAILURE() << url << " failed: " << testing::PrintToString(*error);
    return {};
  }
  return std::get<HttpResponse>(std::move(result));
}

std::optional<std::string> header(const HttpResponse& response, const std::string& name) {
  for (const auto& [key, value] : response.headers) {
    if (key == name) return value;
  }
  return std::nullopt;
}

TEST(HttpGet, ReturnsStatusBodyLengthAndHeaders) {
  HttpTestServer server;
  const Bytes crl = pattern(3000);
  server.serve("/ca.crl", crl);

  const HttpResponse response = fetch(server.url("/ca.crl"));
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.body, crl);
  EXPECT_EQ(response.contentLength, 3000U);
  EXPECT_EQ(header(response, "Content-Type"), "application/pkix-crl");
  EXPECT_EQ(server.hits("/ca.crl"), 1);
}

TEST(HttpGet, ErrorStatusesAreResponsesNotFailures) {
  HttpTestServer server;
  server.serve("/gone.crl", bytesOf("no such list"), "text/plain", 404);

  const HttpResponse gone = fetch(server.url("/gone.crl"));
  EXPECT_EQ(gone.status, 404);
  EXPECT_EQ(gone.body, bytesOf("no such list"));
  EXPECT_EQ(fetch(server.url("/unrouted")).status, 404);
}

TEST(HttpGet, BodyShapes) {
  HttpTestServer server;
  const Bytes large = pattern(100'000);
  server.serveInPieces("/pieces.crl", large, 7000);
  server.serveChunked("/chunked.crl", large);
  server.serve("/empty.crl", {});

  const HttpResponse pieces = fetch(server.url("/pieces.crl"));
  EXPECT_EQ(pieces.body, large);
  EXPECT_EQ(pieces.contentLength, large.size());

  const HttpResponse chunked = fetch(server.url("/chunked.crl"));
  EXPECT_EQ(chunked.status, 200);
  EXPECT_EQ(chunked.body, large);
  EXPECT_FALSE(chunked.contentLength.has_value());

  const HttpResponse empty = fetch(server.url("/empty.crl"));
  EXPECT_EQ(empty.status, 200);
  EXPECT_TRUE(empty.body.empty());
  EXPECT_EQ(empty.contentLength, 0U);
}

TEST(HttpGet, FollowsRedirectsUpToTheLimit) {
  HttpTestServer server;
  server.serve("/ca.crl", bytesOf("list"));
  server.redirect("/old.crl", server.url("/moved.crl"), 301);
  server.redirect("/moved.crl", "/ca.crl");  // relative
  server.redirect("/loop", "/loop");

  const HttpResponse response = fetch(server.url("/old.crl"));
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.body, bytesOf("list"));
  EXPECT_EQ(server.hits("/moved.crl"), 1);

  HttpLimits limits = quick();
  limits.maxRedirects = 3;
  EXPECT_EQ(errorOf(httpGet(server.url("/loop"), limits)), HttpError::Failed);
  EXPECT_EQ(server.hits("/loop"), 4);  // the first request and three redirects
}

TEST(HttpGet, OnlyHttpAndHttpsUrlsAreFetched) {
  HttpTestServer server;
  const test::RefusingPort nobody;
  const std::string elsewhere = "127.0.0.1:" + std::to_string(nobody.port());
  for (const std::string& url : {"ftp://" + elsewhere + "/ca.crl",
                                 "ldap://" + elsewhere + "/cn=CA?certificateRevocationList",
                                 std::string("file:///etc/hostname"), elsewhere + "/ca.crl",
                                 std::string("http://"), std::string("not a url")}) {
    EXPECT_EQ(errorOf(httpGet(url, quick())), HttpError::UnsupportedUrl) << url;
  }

  // Nor on a redirect: the scheme is checked again for every hop.
  server.redirect("/to-file", "file:///etc/hostname");
  server.redirect("/to-ftp", "ftp://" + elsewhere + "/ca.crl");
  EXPECT_EQ(errorOf(httpGet(server.url("/to-file"), quick())), HttpError::UnsupportedUrl);
  EXPECT_EQ(errorOf(httpGet(server.url("/to-ftp"), quick())), HttpError::UnsupportedUrl);
}

TEST(HttpGet, BodyCapHoldsWhetherAnnouncedOrNot) {
  HttpTestServer server;
  server.serve("/exact.crl", pattern(1000));
  server.serve("/announced.crl", pattern(5000));
  server.serveChunked("/chunked.crl", pattern(5000));
  server.serveChunked("/chunked-exact.crl", pattern(1000));
  HttpLimits limits = quick();
  limits.maxBodyBytes = 1000;

  EXPECT_EQ(fetch(server.url("/exact.crl"), limits).body.size(), 1000U);
  EXPECT_EQ(fetch(server.url("/chunked-exact.crl"), limits).body.size(), 1000U);
  EXPECT_EQ(errorOf(httpGet(server.url("/announced.crl"), limits)), HttpError::TooLarge);
  EXPECT_EQ(errorOf(httpGet(server.url("/chunked.crl"), limits)), HttpError::TooLarge);

  // An announced length over the cap is refused before any body arrives: only ten bytes come.
  const test::RawHttpResponder boasting(
      "HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n0123456789");
  EXPECT_EQ(errorOf(httpGet(boasting.url("/ca.crl"), limits)), HttpError::TooLarge);
}

TEST(HttpGet, ShortBodyIsIncomplete) {
  const test::RawHttpResponder lying("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n0123456789");
  EXPECT_EQ(errorOf(httpGet(lying.url("/ca.crl"), quick())), HttpError::Incomplete);
  EXPECT_EQ(lying.connections(), 1);
}

TEST(HttpGet, SilentServerTimesOut) {
  const test::SilentServer silent;
  HttpLimits limits = quick();
  limits.totalTimeout = std::chrono::milliseconds(500);

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(errorOf(httpGet(silent.url("/ca.crl"), limits)), HttpError::TimedOut);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST(HttpGet, RefusedConnectionIsConnectFailed) {
  const test::RefusingPort closed;
  EXPECT_EQ(errorOf(httpGet(closed.url("/ca.crl"), quick())), HttpError::ConnectFailed);
}

}  // namespace
}  // namespace marqen::net
