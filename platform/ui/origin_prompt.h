#pragma once
// Asks the user whether a web page's origin may use the signing control. Without a graphical
// session nothing is shown and the answer is deny.

#include <chrono>
#include <string>

namespace marqen::ui {

enum class OriginAnswer { Deny, Once, Always };

std::string originPromptMessage(const std::string& origin);

// Waits for the user at most `wait`; no answer in time is deny.
OriginAnswer askAboutOrigin(const std::string& origin, std::chrono::seconds wait);

}  // namespace marqen::ui
