// The PIN prompt's logic: what it says, and that without a graphical session it neither shows
// anything nor loads GTK.

#include "platform/ui/pin_prompt.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/os/shared_library.h"

namespace {

using marqen::ui::PinPromptRequest;

struct TextCase {
  const char* what;
  PinPromptRequest request;
  const char* title;
  const char* message;
  const char* warning;
};

TEST(PinPrompt, NamesTheTokenAndTheCertificateAndWarnsBeforeALock) {
  const TextCase cases[] = {
      {"plain",
       {"Work Card", "O=Acme, CN=Alice", false, false},
       "PIN for Work Card",
       "Enter the PIN of Work Card to sign with the certificate of O=Acme, CN=Alice.",
       ""},
      {"no certificate",
       {"Work Card", "", false, false},
       "PIN for Work Card",
       "Enter the PIN of Work Card.",
       ""},
      {"unlabelled token",
       {"", "CN=Bob", false, false},
       "PIN for the token",
       "Enter the PIN of the token to sign with the certificate of CN=Bob.",
       ""},
      {"tries low",
       {"T", "", true, false},
       "PIN for T",
       "Enter the PIN of T.",
       "A wrong PIN was entered before; few tries are left."},
      {"final try wins over low",
       {"T", "", true, true},
       "PIN for T",
       "Enter the PIN of T.",
       "This is the last try: one more wrong PIN locks the token."},
  };
  for (const auto& c : cases) {
    const auto text = marqen::ui::pinPromptText(c.request);
    EXPECT_EQ(text.title, c.title) << c.what;
    EXPECT_EQ(text.message, c.message) << c.what;
    EXPECT_EQ(text.warning, c.warning) << c.what;
  }
}

class Environment {
 public:
  Environment(const char* name, const char* value) : name_(name) {
    if (const char* before = std::getenv(name)) before_ = before;
    if (value)
      ::setenv(name, value, 1);
    else
      ::unsetenv(name);
  }
  ~Environment() {
    if (before_)
      ::setenv(name_, before_->c_str(), 1);
    else
      ::unsetenv(name_);
  }
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;

 private:
  const char* name_;
  std::optional<std::string> before_;
};

TEST(PinPrompt, WithoutAGraphicalSessionNothingIsShownAndGtkIsNotLoaded) {
  struct Session {
    const char* display;
    const char* wayland;
    bool available;
  };
  const Session sessions[] = {{nullptr, nullptr, false},
                              {"", "", false},
                              {":0", nullptr, true},
                              {nullptr, "wayland-0", true}};
  for (const auto& s : sessions) {
    const Environment display("DISPLAY", s.display);
    const Environment wayland("WAYLAND_DISPLAY", s.wayland);
    EXPECT_EQ(marqen::ui::graphicalSessionAvailable(), s.available)
        << (s.display ? s.display : "-") << " " << (s.wayland ? s.wayland : "-");
  }
  const Environment display("DISPLAY", nullptr);
  const Environment wayland("WAYLAND_DISPLAY", nullptr);
  std::string pin = "left alone";
  EXPECT_EQ(marqen::ui::askForPin({"Card", "CN=Alice"}, pin),
            marqen::ui::PinPromptResult::NoDisplay);
  EXPECT_EQ(pin, "left alone");
  EXPECT_FALSE(marqen::os::SharedLibrary::isLoaded("libmarqen_ui.so"));
  EXPECT_FALSE(marqen::os::SharedLibrary::isLoaded("libgtk-3.so.0"));
}

}  // namespace
