#include "tests/support/http_test_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace marqen::test {
namespace {

using namespace std::chrono_literals;

[[noreturn]] void throwErrno(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

std::string normalPath(const std::string& path) {
  return !path.empty() && path.front() == '/' ? path : "/" + path;
}

std::string loopbackUrl(int port, const std::string& path) {
  return "http://127.0.0.1:" + std::to_string(port) + normalPath(path);
}

// A socket on 127.0.0.1 with a port the system picked; listening only when asked.
UniqueFd bindLoopback(bool listening, int& port) {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) throwErrno("socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    throwErrno("bind");
  }
  if (listening && ::listen(fd.get(), 16) != 0) throwErrno("listen");
  socklen_t size = sizeof address;
  if (::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    throwErrno("getsockname");
  }
  port = ntohs(address.sin_port);
  return fd;
}

// A client that gives up mid-body must not kill the test program when the server writes on.
void ignoreBrokenPipes() {
  static const bool ignored = [] {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    return ::sigaction(SIGPIPE, &action, nullptr) == 0;
  }();
  (void)ignored;
}

using Bytes = std::shared_ptr<const std::vector<unsigned char>>;

const char* chars(const Bytes& bytes, std::size_t offset) {
  return reinterpret_cast<const char*>(bytes->data()) + offset;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

struct HttpTestServer::Impl {
  using Route = std::function<void(httplib::Response&)>;

  httplib::Server server;
  std::thread thread;
  std::atomic<bool> finished{false};
  int port = 0;

  mutable std::mutex mutex;
  std::map<std::string, Route> routes;
  std::map<std::string, int> hits;

  void add(const std::string& path, Route route) {
    const std::lock_guard lock(mutex);
    routes[normalPath(path)] = std::move(route);
  }

  // One handler for every path, registered before the server starts: httplib's own route
  // table may not change while it serves, ours may.
  void handle(const httplib::Request& request, httplib::Response& response) {
    Route route;
    {
      const std::lock_guard lock(mutex);
      ++hits[request.path];
      if (const auto found = routes.find(request.path); found != routes.end()) {
        route = found->second;
      }
    }
    if (route) {
      route(response);
    } else {
      response.status = 404;
    }
  }
};

HttpTestServer::HttpTestServer() : impl_(std::make_unique<Impl>()) {
  ignoreBrokenPipes();
  Impl& impl = *impl_;
  // Short waits keep the destructor quick when a client leaves a connection open.
  impl.server.set_keep_alive_timeout(1);
  impl.server.set_read_timeout(1, 0);
  impl.server.set_write_timeout(1, 0);
  impl.server.Get(".*", [&impl](const httplib::Request& request, httplib::Response& response) {
    impl.handle(request, response);
  });
  impl.port = impl.server.bind_to_any_port("127.0.0.1");
  if (impl.port <= 0) throw std::runtime_error("HttpTestServer: no loopback port");
  impl.thread = std::thread([&impl] {
    impl.server.listen_after_bind();
    impl.finished = true;
  });
  // stop() is ignored until the accept loop runs, so wait for it; connections made meanwhile
  // wait in the backlog.
  while (!impl.server.is_running() && !impl.finished) {
    std::this_thread::sleep_for(1ms);
  }
  if (!impl.server.is_running()) {
    impl.thread.join();
    throw std::runtime_error("HttpTestServer: the server did not start");
  }
}

HttpTestServer::~HttpTestServer() {
  impl_->server.stop();
  impl_->thread.join();
}

int HttpTestServer::port() const noexcept {
  return impl_->port;
}

std::string HttpTestServer::url(const std::string& path) const {
  return loopbackUrl(impl_->port, path);
}

void HttpTestServer::serve(const std::string& path, std::vector<unsigned char> bytes,
                           const std::string& contentType, int status) {
  const auto body = std::make_shared<const std::vector<unsigned char>>(std::move(bytes));
  impl_->add(path, [body, contentType, status](httplib::Response& response) {
    response.status = status;
    response.set_content(chars(body, 0), body->size(), contentType);
  });
}

void HttpTestServer::serveInPieces(const std::string& path, std::vector<unsigned char> bytes,
                                   std::size_t pieceSize) {
  const auto body = std::make_shared<const std::vector<unsigned char>>(std::move(bytes));
  const std::size_t piece = std::max<std::size_t>(pieceSize, 1);
  impl_->add(path, [body, piece](httplib::Response& response) {
    response.set_content_provider(
        body->size(), "application/pkix-crl",
        [body, piece](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
          return sink.write(chars(body, offset), std::min(piece, length));
        });
  });
}

void HttpTestServer::serveChunked(const std::string& path, std::vector<unsigned char> bytes) {
  const auto body = std::make_shared<const std::vector<unsigned char>>(std::move(bytes));
  impl_->add(path, [body](httplib::Response& response) {
    response.set_chunked_content_provider("application/pkix-crl", [body](std::size_t offset,
                                                                         httplib::DataSink& sink) {
      if (offset >= body->size()) {
        sink.done();
        return true;
      }
      return sink.write(chars(body, offset), std::min<std::size_t>(1000, body->size() - offset));
    });
  });
}

void HttpTestServer::redirect(const std::string& path, const std::string& location, int status) {
  impl_->add(path, [location, status](httplib::Response& response) {
    response.set_redirect(location, status);
  });
}

int HttpTestServer::hits(const std::string& path) const {
  const std::lock_guard lock(impl_->mutex);
  const auto found = impl_->hits.find(normalPath(path));
  return found == impl_->hits.end() ? 0 : found->second;
}

// ---------------------------------------------------------------------------------------------

struct RawHttpResponder::Impl {
  std::string response;
  UniqueFd listener;
  UniqueFd wakeRead;
  UniqueFd wakeWrite;
  int port = 0;
  std::atomic<int> answered{0};  // connections accepted
  std::thread thread;

  // Waits for `fd` to become readable; false once the responder is stopping.
  bool waitReadable(int fd, int timeoutMs) const {
    pollfd fds[2] = {{fd, POLLIN, 0}, {wakeRead.get(), POLLIN, 0}};
    while (true) {
      const int ready = ::poll(fds, 2, timeoutMs);
      if (ready < 0 && errno == EINTR) continue;
      return ready > 0 && fds[1].revents == 0 && fds[0].revents != 0;
    }
  }

  void answer(const UniqueFd& connection) const {
    // Reads the request head only to know when to reply; its content does not matter.
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
      if (!waitReadable(connection.get(), 2000)) return;
      const ssize_t got = ::recv(connection.get(), buffer, sizeof buffer, 0);
      if (got <= 0) return;
      head.append(buffer, static_cast<std::size_t>(got));
    }
    std::size_t sent = 0;
    while (sent < response.size()) {
      const ssize_t put =
          ::send(connection.get(), response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
      if (put <= 0) return;
      sent += static_cast<std::size_t>(put);
    }
    ::shutdown(connection.get(), SHUT_WR);
  }

  void run() {
    while (waitReadable(listener.get(), -1)) {
      const UniqueFd connection(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
      if (!connection) continue;
      ++answered;  // before the reply, so a client that has it also sees the count
      answer(connection);
    }
  }
};

RawHttpResponder::RawHttpResponder(std::string response) : impl_(std::make_unique<Impl>()) {
  impl_->response = std::move(response);
  impl_->listener = bindLoopback(true, impl_->port);
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) throwErrno("pipe2");
  impl_->wakeRead = UniqueFd(ends[0]);
  impl_->wakeWrite = UniqueFd(ends[1]);
  impl_->thread = std::thread([impl = impl_.get()] { impl->run(); });
}

RawHttpResponder::~RawHttpResponder() {
  const char stop = 0;
  while (::write(impl_->wakeWrite.get(), &stop, 1) < 0 && errno == EINTR) {
  }
  impl_->thread.join();
}

int RawHttpResponder::port() const noexcept {
  return impl_->port;
}

std::string RawHttpResponder::url(const std::string& path) const {
  return loopbackUrl(impl_->port, path);
}

int RawHttpResponder::connections() const {
  return impl_->answered;
}

// ---------------------------------------------------------------------------------------------

SilentServer::SilentServer() : socket_(bindLoopback(true, port_)) {}

std::string SilentServer::url(const std::string& path) const {
  return loopbackUrl(port_, path);
}

RefusingPort::RefusingPort() : socket_(bindLoopback(false, port_)) {}

std::string RefusingPort::url(const std::string& path) const {
  return loopbackUrl(port_, path);
}

}  // namespace marqen::test
