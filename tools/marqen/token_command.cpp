// marqen token: the PKCS#11 tokens (smart cards, USB tokens) this user can reach, and the
// certificates on them.
//
//   token list [URI]   tokens matching the URI (all by default), each with its certificates and
//                      whether the token holds their private keys (known once logged in)

#include <unistd.h>

#include <iostream>

#include "platform/crypto/token_key.h"
#include "platform/ui/pin_prompt.h"
#include "tools/marqen/commands.h"
#include "tools/marqen/password.h"
#include "tools/marqen/token_pin.h"

namespace marqen::tool {

crypto::PinAsker toolPinAsker() {
  return [](const crypto::PinQuery& query, std::string& pin) {
    if (::isatty(STDIN_FILENO)) {
      auto typed = askOnTerminal("PIN of token \"" + query.tokenLabel + "\"");
      if (!typed || typed->text().empty()) return crypto::PinAnswer::Cancelled;
      pin = typed->text();
      return crypto::PinAnswer::Given;
    }
    ui::PinPromptRequest request;
    request.tokenLabel = query.tokenLabel;
    request.countLow = query.countLow;
    request.finalTry = query.finalTry;
    switch (ui::askForPin(request, pin)) {
      case ui::PinPromptResult::Given:
        return crypto::PinAnswer::Given;
      case ui::PinPromptResult::Cancelled:
        return crypto::PinAnswer::Cancelled;
      case ui::PinPromptResult::NoDisplay:
        return crypto::PinAnswer::NoDisplay;
      case ui::PinPromptResult::Unavailable:
        break;
    }
    return crypto::PinAnswer::NoPrompt;
  };
}

namespace {

constexpr std::string_view kUsage = "token list [URI]";

int list(const std::string& uri) {
  const crypto::TokenSurvey survey = crypto::surveyTokens(uri, toolPinAsker());
  if (!survey.problem.empty()) {
    std::cerr << "marqen: " << survey.problem << '\n';
    return kExitFailed;
  }
  if (survey.tokens.empty()) {
    std::cerr << "marqen: no token matches " << uri << '\n';
    return kExitFailed;
  }
  for (const auto& token : survey.tokens) {
    std::cout << "token: " << token.label << '\n'
              << "  manufacturer: " << token.manufacturer << '\n'
              << "  model:        " << token.model << '\n'
              << "  serial:       " << token.serial << '\n'
              << "  logged in:    " << (token.loggedIn ? "yes" : "no");
    if (!token.loggedIn && !token.loginProblem.empty())
      std::cout << " (" << token.loginProblem << ')';
    std::cout << "\n  " << token.certificates.size() << " certificate(s)\n";
    for (const auto& entry : token.certificates) {
      const auto& c = entry.certificate;
      std::cout << "    subject: " << c.subjectText() << '\n'
                << "    issuer:  " << c.issuerText() << '\n'
                << "    serial:  " << c.serialText() << '\n'
                << "    label:   " << entry.label << '\n'
                << "    private key: "
                << (!entry.hasKey   ? "unknown (not logged in)"
                    : *entry.hasKey ? "yes"
                                    : "no")
                << '\n';
      if (entry.hasKey.value_or(false)) std::cout << "    key URI: " << entry.keyUri << '\n';
      std::cout << '\n';
    }
  }
  return kExitOk;
}

}  // namespace

int runToken(Arguments args) {
  const auto parsed = parseArguments(args, std::span<const Option>());
  if (!parsed || parsed->positional.empty()) return reportUsage(kUsage);
  if (parsed->positional[0] == "list" && parsed->positional.size() <= 2)
    return list(parsed->positional.size() == 2 ? parsed->positional[1] : "pkcs11:");
  return reportUsage(kUsage);
}

}  // namespace marqen::tool
