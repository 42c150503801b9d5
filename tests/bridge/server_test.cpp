#include <gtest/gtest.h>

#include <atomic>
#include <boost/asio/connect.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <thread>

#include "bridge/server.h"
#include "tests/support/temp_dir.h"

namespace marqen::bridge {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

constexpr const char* kPage = "http://page.example:8000";

// Stands in for the control: a counter per connection, so separate state shows.
class Counter : public CallTarget {
 public:
  Outcome call(const std::string& method, const std::vector<Json>& args) override {
    if (method == "count") return {false, ++count_, {}};
    if (method == "echo") return {false, args.empty() ? Json() : args[0], {}};
    if (method == "stall") {
      std::this_thread::sleep_for(std::chrono::milliseconds(600));
      return {false, true, {}};
    }
    return {true, nullptr, "the control has no method " + method};
  }

 private:
  int count_ = 0;
};

class BridgeServer : public testing::Test {
 protected:
  void start(Approval answer = Approval::Deny) {
    Limits limits;
    limits.connections = 4;
    limits.messageBytes = 4096;
    limits.call = std::chrono::milliseconds(200);
    server_.emplace(
        io_, 0, limits, origins_,
        [this, answer](const std::string&) {
          ++asked_;
          return answer;
        },
        [](std::string&) -> std::unique_ptr<CallTarget> { return std::make_unique<Counter>(); },
        worker_);
    server_->start();
    thread_ = std::thread([this] { io_.run(); });
  }
  void TearDown() override {
    io_.stop();
    if (thread_.joinable()) thread_.join();
    server_.reset();
    worker_.stop();
  }

  std::string host() const { return "127.0.0.1:" + std::to_string(server_->port()); }

  // A client's handshake; the error it met, if any.
  beast::error_code open(websocket::stream<tcp::socket>& ws, const std::string& hostHeader,
                         const char* origin) {
    ws.next_layer().connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), server_->port()));
    ws.set_option(websocket::stream_base::decorator([origin](websocket::request_type& request) {
      if (origin) request.set(http::field::origin, origin);
    }));
    beast::error_code ec;
    ws.handshake(hostHeader, "/control", ec);
    return ec;
  }

  Json call(websocket::stream<tcp::socket>& ws, const std::string& text) {
    ws.write(asio::buffer(text));
    beast::flat_buffer buffer;
    ws.read(buffer);
    return Json::parse(beast::buffers_to_string(buffer.data()));
  }

  test::TempDir dir_;
  OriginList origins_{dir_.path() / "origins.json"};
  // The worker outlives the connections the io context still holds.
  Worker worker_;
  asio::io_context io_;
  std::optional<Server> server_;
  std::thread thread_;
  std::atomic<int> asked_{0};
  asio::io_context client_;
};

TEST_F(BridgeServer, HandshakesWithoutApprovedOriginOrLoopbackHostAreRefused) {
  ASSERT_TRUE(origins_.add(kPage));
  start(Approval::Deny);
  const struct {
    std::string host;
    const char* origin;
  } refused[] = {
      {"evil.example:" + std::to_string(server_->port()), kPage},  // DNS rebinding
      {"127.0.0.1:1", kPage},
      {host(), nullptr},
      {host(), "http://other.example"},
      {host(), "null"},
  };
  for (const auto& c : refused) {
    websocket::stream<tcp::socket> ws(client_);
    EXPECT_EQ(open(ws, c.host, c.origin), websocket::error::upgrade_declined)
        << c.host << " " << (c.origin ? c.origin : "(no origin)");
  }
  // Only the well-formed unknown origin was put to the user.
  EXPECT_EQ(asked_, 1);
  websocket::stream<tcp::socket> ws(client_);
  EXPECT_FALSE(open(ws, "localhost:" + std::to_string(server_->port()), kPage));
}

TEST_F(BridgeServer, AnApprovalOnceIsNotKeptAndAlwaysIs) {
  for (const Approval answer : {Approval::Once, Approval::Always}) {
    if (server_) {
      io_.stop();
      thread_.join();
      server_.reset();
      io_.restart();
    }
    start(answer);
    websocket::stream<tcp::socket> ws(client_);
    EXPECT_FALSE(open(ws, host(), "https://asked.example"));
    EXPECT_EQ(origins_.contains("https://asked.example"), answer == Approval::Always);
  }
}

TEST_F(BridgeServer, ConnectionsKeepSeparateStateAndBadMessagesAreAnswered) {
  ASSERT_TRUE(origins_.add(kPage));
  start();
  websocket::stream<tcp::socket> a(client_);
  websocket::stream<tcp::socket> b(client_);
  ASSERT_FALSE(open(a, host(), kPage));
  ASSERT_FALSE(open(b, host(), kPage));
  EXPECT_EQ(call(a, R"({"id":1,"method":"count"})")["result"], 1);
  EXPECT_EQ(call(a, R"({"id":2,"method":"count"})")["result"], 2);
  EXPECT_EQ(call(b, R"({"id":1,"method":"count"})")["result"], 1);
  EXPECT_EQ(call(a, R"({"id":3,"method":"echo","args":["é"]})"),
            (Json{{"id", 3}, {"result", "é"}}));
  EXPECT_EQ(call(a, "{not json"),
            (Json{{"id", nullptr}, {"error", "the message is not a JSON object"}}));
  EXPECT_EQ(call(a, R"({"id":4,"method":"nothing"})"),
            (Json{{"id", 4}, {"error", "the control has no method nothing"}}));
  // Still open after both.
  EXPECT_EQ(call(a, R"({"id":5,"method":"count"})")["result"], 3);
}

TEST_F(BridgeServer, ABrokenBoundClosesOnlyThatConnection) {
  ASSERT_TRUE(origins_.add(kPage));
  start();
  websocket::stream<tcp::socket> good(client_);
  ASSERT_FALSE(open(good, host(), kPage));
  {
    websocket::stream<tcp::socket> big(client_);
    ASSERT_FALSE(open(big, host(), kPage));
    big.write(asio::buffer(std::string(5000, ' ')));
    beast::flat_buffer buffer;
    beast::error_code ec;
    big.read(buffer, ec);
    EXPECT_TRUE(ec);
  }
  {
    websocket::stream<tcp::socket> slow(client_);
    ASSERT_FALSE(open(slow, host(), kPage));
    slow.write(asio::buffer(std::string(R"({"id":1,"method":"stall"})")));
    beast::flat_buffer buffer;
    beast::error_code ec;
    slow.read(buffer, ec);
    EXPECT_TRUE(ec) << "a call past its time limit ends its connection";
  }
  EXPECT_EQ(call(good, R"({"id":1,"method":"count"})")["result"], 1);
}

TEST_F(BridgeServer, ConnectionsBeyondTheLimitAreClosedAndScriptIsServed) {
  ASSERT_TRUE(origins_.add(kPage));
  start();
  std::vector<std::unique_ptr<websocket::stream<tcp::socket>>> open4;
  for (int i = 0; i < 4; ++i) {
    open4.push_back(std::make_unique<websocket::stream<tcp::socket>>(client_));
    ASSERT_FALSE(open(*open4.back(), host(), kPage));
  }
  websocket::stream<tcp::socket> fifth(client_);
  EXPECT_TRUE(open(fifth, host(), kPage));
  open4.clear();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));

  tcp::socket socket(client_);
  socket.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), server_->port()));
  http::request<http::empty_body> request(http::verb::get, "/marqen.js", 11);
  request.set(http::field::host, host());
  http::write(socket, request);
  beast::flat_buffer buffer;
  http::response<http::string_body> response;
  http::read(socket, buffer, response);
  EXPECT_EQ(response.result(), http::status::ok);
  EXPECT_NE(response.body().find("MarqenI"), std::string::npos);
}

}  // namespace
}  // namespace marqen::bridge
