#pragma once
// One connection's control: an instance activated by ProgID through the registry, checked safe
// for scripting as a browser checks it, and called by name through IDispatch. Used from one
// thread only, like any apartment-threaded object.

#include <memory>
#include <string>
#include <vector>

#include "bridge/protocol.h"
#include "platform/com/activation.h"

namespace marqen::bridge {

struct CallOutcome {
  bool refused = false;  // the bridge refused the call: `error` says why
  Json result;
  std::string error;
};

class ControlSession {
 public:
  // Empty, with the reason in `problem`, when the control cannot be created or is not safe.
  static std::unique_ptr<ControlSession> create(std::string& problem);
  ControlSession(const ControlSession&) = delete;
  ControlSession& operator=(const ControlSession&) = delete;
  ~ControlSession() = default;

  CallOutcome call(const std::string& method, const std::vector<Json>& args);

 private:
  ControlSession(com::ActivatedObject object, com::ComPtr<com::IDispatch> dispatch)
      : object_(std::move(object)), dispatch_(std::move(dispatch)) {}
  // The interface before the object and its module.
  com::ActivatedObject object_;
  com::ComPtr<com::IDispatch> dispatch_;
};

}  // namespace marqen::bridge
