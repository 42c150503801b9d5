// marqen pick    lets the user choose a signing certificate of MY in the picker dialog and
//                prints its Issued To, Issuer Details, Serial No. and Expiration Date, a line each

#include <iostream>

#include "control/picker/cert_picker_dialog.h"
#include "platform/ui/dialogs.h"
#include "tools/marqen/commands.h"

namespace marqen::tool {

int runPick(Arguments args) {
  const auto line = parseArguments(args, std::span<const Option>());
  if (!line || !line->positional.empty()) return reportUsage("pick");
  if (!ui::dialogsAvailable()) {
    std::cerr << "marqen: pick shows a dialog and needs a graphical session (DISPLAY or "
                 "WAYLAND_DISPLAY)\n";
    return kExitFailed;
  }
  picker::CertPickerDialog dialog;
  // Cancel, or a closed window, prints nothing.
  if (dialog.doModal() != picker::IDOK) return kExitFailed;
  std::cout << dialog.issuedTo() << '\n'
            << dialog.issuerDetails() << '\n'
            << dialog.serialNumber() << '\n'
            << dialog.expirationDate() << '\n';
  return std::cout.flush() ? kExitOk : kExitFailed;
}

}  // namespace marqen::tool
