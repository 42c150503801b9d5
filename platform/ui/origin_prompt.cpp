#include "platform/ui/origin_prompt.h"

#include <mutex>
#include <optional>

#include "platform/os/shared_library.h"
#include "platform/ui/origin_dialog_module.h"
#include "platform/ui/pin_dialog_module.h"
#include "platform/ui/pin_prompt.h"

namespace marqen::ui {

std::string originPromptMessage(const std::string& origin) {
  return "The web page at " + origin +
         " asks to use your certificates and to sign with them.\n\nAllow it?";
}

OriginAnswer askAboutOrigin(const std::string& origin, std::chrono::seconds wait) {
  if (!graphicalSessionAvailable()) return OriginAnswer::Deny;
  static std::once_flag tried;
  static std::optional<os::SharedLibrary> library;
  static MarqenOriginDialogFunction* show = nullptr;
  std::call_once(tried, [] {
    std::string problem;
    library = os::SharedLibrary::loadBesideForGood(kUiModuleFile, problem);
    if (library) show = library->function<MarqenOriginDialogFunction>(kOriginDialogEntryPoint);
  });
  if (!show) return OriginAnswer::Deny;
  const std::string message = originPromptMessage(origin);
  switch (show("Signing request from a web page", message.c_str(),
               static_cast<std::uint32_t>(wait.count()))) {
    case MARQEN_ORIGIN_DIALOG_ALWAYS:
      return OriginAnswer::Always;
    case MARQEN_ORIGIN_DIALOG_ONCE:
      return OriginAnswer::Once;
    default:
      return OriginAnswer::Deny;
  }
}

}  // namespace marqen::ui
