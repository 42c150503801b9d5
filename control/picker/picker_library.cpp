#include "control/picker/picker_library.h"

#include <cstdlib>
#include <memory>

#include "platform/os/text.h"

namespace marqen::picker {
namespace {

// A listing as the library hands it over: every string, summary and the array are the
// caller's to free. The array ends with a null entry whatever the count says.
struct ListingDeleter {
  void operator()(CertificateSummary** list) const noexcept {
    for (std::size_t i = 0; list[i]; ++i) {
      std::free(list[i]->issuerName);
      std::free(list[i]->serialNumberHex);
      std::free(list[i]->subjectName);
      std::free(list[i]);
    }
    std::free(static_cast<void*>(list));
  }
};

// Longest issuer text handed to the viewer, as the fixed buffers of the control allow.
constexpr std::size_t kMaxIssuerUnits = 1024;

}  // namespace

std::vector<Row> PickerLibrary::listSigningCertificates() const {
  const auto library = os::SharedLibrary::load(fileName_);
  if (!library) return {};
  const auto list =
      library->function<decltype(::listAllCertificatesFromStore)>("listAllCertificatesFromStore");
  if (!list) return {};
  CertificateSummary** entries = nullptr;
  std::int32_t count = -1;
  list(SIGNING_CERTIFICATE, STORE_PERSONAL, &entries, &count);
  if (!entries) return {};
  const std::unique_ptr<CertificateSummary*, ListingDeleter> owned(entries);
  return rowsOf(entries, count);
}

bool PickerLibrary::viewCertificate(const std::string& issuerDetails,
                                    const std::string& serialNumber) const {
  const auto library = os::SharedLibrary::load(fileName_);
  if (!library) return false;
  const auto view = library->function<decltype(::viewCertificate)>("viewCertificate");
  if (!view || issuerDetails.empty() || serialNumber.empty()) return false;
  std::u16string issuer = os::toUtf16(issuerDetails);
  if (issuer.size() > kMaxIssuerUnits) issuer.resize(kMaxIssuerUnits);
  return view(issuer.c_str(), serialNumber.c_str(), STORE_PERSONAL, nullptr, nullptr, nullptr, 0,
              SIGNING_CERTIFICATE) == 0;
}

}  // namespace marqen::picker
