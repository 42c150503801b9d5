// marqen-bridge [--port N]          serve pages on 127.0.0.1 (in the foreground)
// marqen-bridge approve|revoke ORIGIN, marqen-bridge list
// marqen-bridge install [--port N]  register the control and install the user unit

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <charconv>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "bridge/approval.h"
#include "bridge/control_session.h"
#include "bridge/origins.h"
#include "bridge/server.h"
#include "control/module/control_ids.h"
#include "platform/com/registry.h"
#include "platform/os/file_access.h"
#include "platform/os/host_program.h"
#include "platform/os/shared_library.h"

namespace {

using namespace marqen::bridge;

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr unsigned short kDefaultPort = 47215;

int usage() {
  std::cerr << "usage: marqen-bridge [--port N] | approve ORIGIN | revoke ORIGIN | list"
               " | install [--port N]\n";
  return kUsage;
}

bool parsePort(const std::string& text, unsigned short& port) {
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value > 65535) return false;
  port = static_cast<unsigned short>(value);
  return true;
}

class ControlTarget : public CallTarget {
 public:
  explicit ControlTarget(std::unique_ptr<ControlSession> session) : session_(std::move(session)) {}
  Outcome call(const std::string& method, const std::vector<Json>& args) override {
    auto outcome = session_->call(method, args);
    return {outcome.refused, std::move(outcome.result), std::move(outcome.error)};
  }

 private:
  std::unique_ptr<ControlSession> session_;
};

int serve(unsigned short port) {
  // The worker outlives the connections the io context still holds.
  Worker worker;
  boost::asio::io_context io(1);
  std::optional<Server> server;
  try {
    server.emplace(
        io, port, Limits{}, OriginList(OriginList::defaultPath()), askApproval,
        [](std::string& problem) -> std::unique_ptr<CallTarget> {
          auto session = ControlSession::create(problem);
          if (!session) return nullptr;
          return std::make_unique<ControlTarget>(std::move(session));
        },
        worker);
  } catch (const std::exception& e) {
    std::cerr << "marqen-bridge: cannot listen on 127.0.0.1:" << port << ": " << e.what() << '\n';
    return kFailed;
  }
  server->start();
  std::cout << "marqen-bridge: listening on 127.0.0.1:" << server->port() << std::endl;
  boost::asio::signal_set signals(io, SIGINT, SIGTERM);
  signals.async_wait([&io](const boost::system::error_code&, int) { io.stop(); });
  io.run();
  // Calls still queued finish first; the connections the io context holds then release
  // their controls as it goes.
  server.reset();
  worker.stop();
  return kOk;
}

std::filesystem::path selfPath() {
  std::error_code ec;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path("marqen-bridge") : path;
}

int install(unsigned short port) {
  const auto module = marqen::os::SharedLibrary::load("MarqenI.dll");
  using Register = std::int32_t();
  auto* registerServer = module ? module->function<Register>("DllRegisterServer") : nullptr;
  if (!registerServer || registerServer() != 0) {
    std::cerr << "marqen-bridge: the control could not be registered in "
              << marqen::com::Registry::defaultPath().string() << '\n';
    return kFailed;
  }
  const std::string config = marqen::os::userConfigFolder();
  if (config.empty()) return usage();
  const auto unit = std::filesystem::path(config) / "systemd" / "user" / "marqen-bridge.service";
  std::error_code ec;
  std::filesystem::create_directories(unit.parent_path(), ec);
  const std::string text =
      "[Unit]\n"
      "Description=Marqen signing bridge for web pages\n"
      "PartOf=graphical-session.target\n"
      "After=graphical-session.target\n\n"
      "[Service]\n"
      "ExecStart=" +
      selfPath().string() + " --port " + std::to_string(port) +
      "\n"
      "Restart=on-failure\n\n"
      "[Install]\n"
      "WantedBy=graphical-session.target\n";
  // Whole or not at all: systemd must never read half a unit.
  if (!marqen::os::writeFileAtomically(
          unit.string(), {reinterpret_cast<const unsigned char*>(text.data()), text.size()},
          0644)) {
    std::cerr << "marqen-bridge: " << unit.string() << " cannot be written\n";
    return kFailed;
  }
  std::cout << "registered " << marqen::control::kControlProgId << "\ninstalled " << unit.string()
            << "\nstart it with: systemctl --user daemon-reload && systemctl --user enable --now "
               "marqen-bridge.service\n";
  return kOk;
}

int run(const std::vector<std::string>& args) {
  const OriginList origins(OriginList::defaultPath());
  const auto portOption = [&args](std::size_t from, unsigned short& port) {
    if (args.size() == from) return true;
    return args.size() == from + 2 && args[from] == "--port" && parsePort(args[from + 1], port);
  };
  unsigned short port = kDefaultPort;
  if (args.empty() || args[0] == "--port") {
    if (!portOption(0, port)) return usage();
    return serve(port);
  }
  if ((args[0] == "approve" || args[0] == "revoke") && args.size() == 2) {
    const auto origin = canonicalOrigin(args[1]);
    if (!origin) {
      std::cerr << "marqen-bridge: " << args[1] << " is not an origin (scheme://host[:port])\n";
      return kUsage;
    }
    if (!(args[0] == "approve" ? origins.add(*origin) : origins.remove(*origin))) {
      std::cerr << "marqen-bridge: " << origins.file().string() << " cannot be written\n";
      return kFailed;
    }
    return kOk;
  }
  if (args[0] == "list" && args.size() == 1) {
    for (const auto& origin : origins.read())
      std::cout << origin << '\n';
    return std::cout.flush() ? kOk : kFailed;
  }
  if (args[0] == "install" && portOption(1, port)) return install(port);
  return usage();
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    // Out of memory, or a folder that cannot be read: say so rather than abort.
    std::cerr << "marqen-bridge: " << e.what() << '\n';
    return kFailed;
  }
}
