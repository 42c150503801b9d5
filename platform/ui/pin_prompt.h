#pragma once
// The PIN prompt: a modal dialog asking for a token's PIN, naming the token and the certificate
// it is wanted for. The dialog itself (GTK) lives in a module loaded on the first prompt, so
// programs that sign without a display never load GTK; without a graphical session nothing is
// tried at all.

#include <string>

namespace marqen::ui {

struct PinPromptRequest {
  std::string tokenLabel;
  std::string certificateName;
  bool countLow = false;  // a wrong PIN was entered before
  bool finalTry = false;  // one more wrong PIN locks the token
};

// What the dialog shows.
struct PinPromptText {
  std::string title;
  std::string message;
  std::string warning;  // empty when there is nothing to warn about
};

PinPromptText pinPromptText(const PinPromptRequest& request);

enum class PinPromptResult { Given, Cancelled, NoDisplay, Unavailable };

// True when DISPLAY or WAYLAND_DISPLAY names a graphical session.
bool graphicalSessionAvailable();

// Shows the prompt and waits for the user. On Given, `pin` holds what was typed (the caller
// wipes it); an empty entry counts as cancelled. Prompts are shown one at a time.
PinPromptResult askForPin(const PinPromptRequest& request, std::string& pin);

}  // namespace marqen::ui
