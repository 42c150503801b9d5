#pragma once
// The bridge's listener on 127.0.0.1: GET /marqen.js, and WebSocket connections on /control
// from approved origins, each with a control of its own.

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "bridge/origins.h"
#include "bridge/protocol.h"
#include "bridge/worker.h"

namespace marqen::bridge {

// What a connection calls: the control, or a stand-in.
class CallTarget {
 public:
  virtual ~CallTarget() = default;
  struct Outcome {
    bool refused = false;
    Json result;
    std::string error;
  };
  virtual Outcome call(const std::string& method, const std::vector<Json>& args) = 0;
};

// Makes one connection's target on the worker thread; empty with the reason on failure.
using TargetFactory = std::function<std::unique_ptr<CallTarget>(std::string& problem)>;

enum class Approval { Once, Always, Deny };
// Asks the user about an origin, on the worker thread; answers Deny without a display and when
// nobody answers in time.
using Approver = std::function<Approval(const std::string& origin)>;

struct Limits {
  std::size_t connections = 64;
  std::size_t messageBytes = 16 * 1024 * 1024;
  std::chrono::milliseconds call{60'000};
  std::chrono::milliseconds request{30'000};  // to send a whole HTTP request
};

// The methods that may wait for a person (a picker, a PIN, a viewer): not timed.
bool waitsForPerson(const std::string& method);

class Server {
 public:
  Server(boost::asio::io_context& io, unsigned short port, Limits limits, OriginList origins,
         Approver approver, TargetFactory factory, Worker& worker);
  // The port listened on (the one chosen by the system when 0 was asked).
  unsigned short port() const noexcept { return port_; }
  void start();

  // Shared with the connections.
  struct Context;

 private:
  void accept();
  boost::asio::io_context& io_;
  boost::asio::ip::tcp::acceptor acceptor_;
  unsigned short port_;
  std::shared_ptr<Context> context_;
};

}  // namespace marqen::bridge
