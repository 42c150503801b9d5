#pragma once
// Servers on 127.0.0.1 for the download tests: a real HTTP server for ordinary responses, and
// raw sockets for what a well-behaved server never sends.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/os/file_access.h"

namespace marqen::test {

using os::UniqueFd;

// An HTTP server on a free loopback port, running until destroyed. Routes may be added at any
// time; a path without a route answers 404.
class HttpTestServer {
 public:
  HttpTestServer();
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  int port() const noexcept;
  std::string url(const std::string& path) const;  // path starts with '/'

  void serve(const std::string& path, std::vector<unsigned char> bytes,
             const std::string& contentType = "application/pkix-crl", int status = 200);
  // Announces the length, then writes the body pieceSize bytes at a time.
  void serveInPieces(const std::string& path, std::vector<unsigned char> bytes,
                     std::size_t pieceSize);
  // Chunked transfer: no Content-Length.
  void serveChunked(const std::string& path, std::vector<unsigned char> bytes);
  void redirect(const std::string& path, const std::string& location, int status = 302);

  // Requests received for a path so far, routed or not.
  int hits(const std::string& path) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Answers every connection on a free loopback port with the same raw bytes, after reading the
// request head, then closes it.
class RawHttpResponder {
 public:
  explicit RawHttpResponder(std::string response);
  ~RawHttpResponder();
  RawHttpResponder(const RawHttpResponder&) = delete;
  RawHttpResponder& operator=(const RawHttpResponder&) = delete;

  int port() const noexcept;
  std::string url(const std::string& path) const;
  int connections() const;  // accepted so far

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Listens on a free loopback port and never accepts: connections complete in the backlog and
// then wait for an answer that never comes.
class SilentServer {
 public:
  SilentServer();
  ~SilentServer() = default;
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;

  int port() const noexcept { return port_; }
  std::string url(const std::string& path) const;

 private:
  int port_ = 0;  // set while socket_ is made
  UniqueFd socket_;
};

// A loopback port that is bound but not listening, so connecting to it is refused; holding it
// keeps another program from taking the port meanwhile.
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort() = default;
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;

  int port() const noexcept { return port_; }
  std::string url(const std::string& path) const;

 private:
  int port_ = 0;  // set while socket_ is made
  UniqueFd socket_;
};

}  // namespace marqen::test
