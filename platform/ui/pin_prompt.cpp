#include "platform/ui/pin_prompt.h"

#include <openssl/crypto.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>

#include "platform/os/shared_library.h"
#include "platform/ui/pin_dialog_module.h"

namespace marqen::ui {
namespace {

constexpr std::size_t kPinCapacity = 256;

bool isSet(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

struct DialogModule {
  std::optional<os::SharedLibrary> library;
  MarqenPinDialogFunction* show = nullptr;
};

// Loaded once, on the first prompt, and kept: GTK cannot be unloaded safely.
const DialogModule& dialogModule() {
  static std::once_flag tried;
  static DialogModule loaded;
  std::call_once(tried, [] {
    std::string problem;
    loaded.library = os::SharedLibrary::loadBesideForGood(kUiModuleFile, problem);
    if (loaded.library)
      loaded.show = loaded.library->function<MarqenPinDialogFunction>(kPinDialogEntryPoint);
  });
  return loaded;
}

}  // namespace

PinPromptText pinPromptText(const PinPromptRequest& request) {
  PinPromptText text;
  const std::string token = request.tokenLabel.empty() ? "the token" : request.tokenLabel;
  text.title = "PIN for " + token;
  text.message = "Enter the PIN of " + token;
  if (!request.certificateName.empty())
    text.message += " to sign with the certificate of " + request.certificateName;
  text.message += ".";
  if (request.finalTry) {
    text.warning = "This is the last try: one more wrong PIN locks the token.";
  } else if (request.countLow) {
    text.warning = "A wrong PIN was entered before; few tries are left.";
  }
  return text;
}

bool graphicalSessionAvailable() {
  return isSet("DISPLAY") || isSet("WAYLAND_DISPLAY");
}

PinPromptResult askForPin(const PinPromptRequest& request, std::string& pin) {
  if (!graphicalSessionAvailable()) return PinPromptResult::NoDisplay;
  const DialogModule& module = dialogModule();
  if (!module.show) return PinPromptResult::Unavailable;
  const PinPromptText text = pinPromptText(request);
  // GTK is used from one thread at a time.
  static std::mutex showing;
  std::lock_guard lock(showing);
  std::array<char, kPinCapacity> entered{};
  const std::int32_t result = module.show(text.title.c_str(), text.message.c_str(),
                                          text.warning.c_str(), entered.data(), entered.size());
  PinPromptResult answer = PinPromptResult::Unavailable;
  if (result == MARQEN_PIN_DIALOG_OK && entered[0] != '\0') {
    pin.assign(entered.data(), ::strnlen(entered.data(), entered.size()));
    answer = PinPromptResult::Given;
  } else if (result != MARQEN_PIN_DIALOG_FAILED) {
    answer = PinPromptResult::Cancelled;
  }
  OPENSSL_cleanse(entered.data(), entered.size());
  return answer;
}

}  // namespace marqen::ui
