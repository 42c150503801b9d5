#include "bridge/server.h"

#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <deque>
#include <iostream>
#include <mutex>
#include <string_view>

#include "bridge/script_text.h"

namespace marqen::bridge {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

struct Server::Context {
  asio::io_context& io;
  unsigned short port;
  Limits limits;
  OriginList origins;
  Approver approver;
  TargetFactory factory;
  Worker& worker;
  std::atomic<std::size_t> connections{0};
};

bool waitsForPerson(const std::string& method) {
  static const std::set<std::string, std::less<>> methods = {"selectSigningCertFromUI",
                                                             "viewSignerCertFromFile",
                                                             "viewSignerCertFromStore",
                                                             "AboutBox",
                                                             "sign",
                                                             "coSign",
                                                             "signToFile",
                                                             "coSignToFile",
                                                             "rawSign",
                                                             "rawSignatureToFile",
                                                             "counterSign",
                                                             "counterSignToFile"};
  return methods.contains(method);
}

namespace {

// One connection's target, touched on the worker thread only; `closed` stops calls still
// queued for a connection that has gone.
struct TargetSlot {
  std::unique_ptr<CallTarget> target;
  std::string problem;
  std::atomic<bool> closed{false};
};

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(tcp::socket socket, std::shared_ptr<Server::Context> context)
      : stream_(std::move(socket)), context_(std::move(context)), timer_(context_->io) {}
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection() {
    if (slot_) {
      slot_->closed = true;
      // Released on the thread it was made on, after anything it is still doing.
      context_->worker.post([slot = slot_] { slot->target.reset(); });
    }
    --context_->connections;
  }

  void start() {
    parser_.header_limit(16 * 1024);
    parser_.body_limit(1024);
    stream_.expires_after(context_->limits.request);
    http::async_read(stream_, buffer_, parser_,
                     [self = shared_from_this()](beast::error_code ec, std::size_t) {
                       if (!ec) self->onRequest();
                     });
  }

 private:
  void respond(http::status status, std::string body, const char* type = "text/plain") {
    auto response = std::make_shared<http::response<http::string_body>>(status, 11);
    response->set(http::field::content_type, type);
    response->set(http::field::cache_control, "no-store");
    response->keep_alive(false);
    response->body() = std::move(body);
    response->prepare_payload();
    stream_.expires_after(context_->limits.request);
    http::async_write(stream_, *response,
                      [self = shared_from_this(), response](beast::error_code, std::size_t) {
                        beast::error_code ignored;
                        self->stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
                      });
  }

  void refuse() { respond(http::status::forbidden, "refused\n"); }

  void onRequest() {
    const auto& request = parser_.get();
    // A page elsewhere must not reach us through a name that resolves to the loopback.
    const auto host = request[http::field::host];
    if (!isLoopbackHost(std::string_view(host.data(), host.size()), context_->port))
      return refuse();
    const std::string target(request.target());
    if (target == "/marqen.js" && request.method() == http::verb::get)
      return respond(http::status::ok, std::string(kMarqenScript), "text/javascript");
    if (target != "/control") return respond(http::status::not_found, "not found\n");
    if (!websocket::is_upgrade(request)) return respond(http::status::bad_request, "upgrade\n");
    if (request.count(http::field::origin) == 0) return refuse();
    const std::string origin(request[http::field::origin]);
    if (context_->origins.contains(origin)) return upgrade();
    if (!canonicalOrigin(origin)) return refuse();
    // The user is asked on the worker thread; this connection waits, the others go on.
    stream_.expires_never();
    context_->worker.post([self = shared_from_this(), origin] {
      // Another connection from the same page may have been let in for good meanwhile.
      const bool known = self->context_->origins.contains(origin);
      const Approval answer = known ? Approval::Once : self->context_->approver(origin);
      if (answer == Approval::Always) self->context_->origins.add(origin);
      asio::post(self->context_->io, [self, answer] {
        if (answer == Approval::Deny) return self->refuse();
        self->upgrade();
      });
    });
  }

  void upgrade() {
    stream_.expires_never();
    ws_.emplace(std::move(stream_));
    ws_->set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    ws_->read_message_max(context_->limits.messageBytes);
    slot_ = std::make_shared<TargetSlot>();
    context_->worker.post([slot = slot_, factory = context_->factory] {
      if (!slot->closed) slot->target = factory(slot->problem);
    });
    ws_->async_accept(parser_.get(), [self = shared_from_this()](beast::error_code ec) {
      if (!ec) self->read();
    });
  }

  void read() {
    ws_->async_read(incoming_, [self = shared_from_this()](beast::error_code ec, std::size_t) {
      if (ec) return self->close();
      self->onMessage();
    });
  }

  void onMessage() {
    const std::string text = beast::buffers_to_string(incoming_.data());
    incoming_.consume(incoming_.size());
    if (!ws_->got_text()) {
      send(errorMessage(nullptr, "messages are JSON text"));
      return read();
    }
    ParsedRequest parsed = parseRequest(text);
    if (!parsed.request) {
      send(errorMessage(parsed.id, parsed.error));
      return read();
    }
    dispatch(std::move(*parsed.request));
    read();
  }

  void dispatch(Request request) {
    const std::uint64_t sequence = ++calls_;
    context_->worker.post(
        [self = shared_from_this(), slot = slot_, sequence, request = std::move(request)] {
          if (slot->closed) return;
          CallTarget::Outcome outcome;
          if (!slot->target) {
            outcome = {true, nullptr, slot->problem};
          } else {
            const bool timed = !waitsForPerson(request.method);
            if (timed) asio::post(self->context_->io, [self, sequence] { self->arm(sequence); });
            outcome = slot->target->call(request.method, request.args);
          }
          std::string message = outcome.refused ? errorMessage(request.id, outcome.error)
                                                : resultMessage(request.id, outcome.result);
          asio::post(self->context_->io, [self, sequence, message = std::move(message)]() mutable {
            self->finished(sequence);
            self->send(std::move(message));
          });
        });
  }

  // A call that does not wait for a person may take the call limit, then its connection goes.
  void arm(std::uint64_t sequence) {
    if (sequence <= done_) return;
    timed_ = sequence;
    timer_.expires_after(context_->limits.call);
    timer_.async_wait([self = shared_from_this(), sequence](beast::error_code ec) {
      if (ec || self->done_ >= sequence) return;
      self->close();
    });
  }

  void finished(std::uint64_t sequence) {
    done_ = sequence;
    if (timed_ == sequence) timer_.cancel();
  }

  void send(std::string message) {
    if (closing_) return;
    outgoing_.push_back(std::move(message));
    if (outgoing_.size() == 1) write();
  }

  void write() {
    ws_->text(true);
    ws_->async_write(asio::buffer(outgoing_.front()),
                     [self = shared_from_this()](beast::error_code ec, std::size_t) {
                       if (ec) return self->close();
                       self->outgoing_.pop_front();
                       if (!self->outgoing_.empty()) self->write();
                     });
  }

  void close() {
    if (closing_) return;
    closing_ = true;
    if (slot_) slot_->closed = true;
    timer_.cancel();
    beast::error_code ignored;
    beast::get_lowest_layer(*ws_).socket().shutdown(tcp::socket::shutdown_both, ignored);
    beast::get_lowest_layer(*ws_).socket().close(ignored);
  }

  beast::tcp_stream stream_;
  std::optional<websocket::stream<beast::tcp_stream>> ws_;
  beast::flat_buffer buffer_;
  beast::flat_buffer incoming_;
  http::request_parser<http::string_body> parser_;
  std::shared_ptr<Server::Context> context_;
  std::shared_ptr<TargetSlot> slot_;
  std::deque<std::string> outgoing_;
  asio::steady_timer timer_;
  std::uint64_t calls_ = 0;
  std::uint64_t done_ = 0;
  std::uint64_t timed_ = 0;
  bool closing_ = false;
};

}  // namespace

Server::Server(asio::io_context& io, unsigned short port, Limits limits, OriginList origins,
               Approver approver, TargetFactory factory, Worker& worker)
    : io_(io),
      acceptor_(io, tcp::endpoint(asio::ip::make_address_v4("127.0.0.1"), port)),
      port_(acceptor_.local_endpoint().port()),
      context_(new Context{io, port_, limits, std::move(origins), std::move(approver),
                           std::move(factory), worker}) {}

void Server::start() {
  accept();
}

void Server::accept() {
  acceptor_.async_accept(io_, [this](beast::error_code ec, tcp::socket socket) {
    if (!ec) {
      if (context_->connections.load() >= context_->limits.connections) {
        beast::error_code ignored;
        socket.close(ignored);
      } else {
        ++context_->connections;
        std::make_shared<Connection>(std::move(socket), context_)->start();
      }
    }
    accept();
  });
}

}  // namespace marqen::bridge
