// Exports of the library frame: getErrorMessage, setTrustedCANames.

#include "library/core/error_table.h"
#include "library/core/library_error.h"
#include "library/core/signer_library.h"
#include "library/include/Marqen_InterfaceV2.h"

using namespace marqen;

extern "C" {

MARQEN_API const char* getErrorMessage(ErrorCode code) {
  return errorMessage(code);
}

MARQEN_API ErrorCode setTrustedCANames(const char16_t* const* names, int32_t count) {
  return runExport([&] { SignerLibrary::instance().setTrustedCANames(names, count); });
}

}  // extern "C"
