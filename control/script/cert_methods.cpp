// Choosing the signing certificate, and reading or showing certificates through the library.

#include <cstdlib>

#include <cerrno>
#include <utility>

#include "control/picker/cert_picker_dialog.h"
#include "control/script/marqen_ctrl.h"
#include "control/script/script_frame.h"
#include "control/script/script_text.h"
#include "platform/os/text.h"
#include "platform/ui/dialogs.h"

namespace marqen::control {
namespace {

enum : std::int32_t {
  CERT_PARAM_SUBJECT = 1,
  CERT_PARAM_ISSUER = 2,
  CERT_PARAM_SERIAL = 3,
  CERT_PARAM_EXPIRY = 4
};

// Store type for viewing from a PFX file: the library does not read it on that path.
constexpr std::int32_t kStoreTypeUnused = 3;

// A details record the control allocates; the strings the library hangs in it are freed with it.
struct DetailsRecord {
  CertificateDetails record{};
  CertificateDetails* pointer = &record;

  DetailsRecord() = default;
  DetailsRecord(const DetailsRecord&) = delete;
  DetailsRecord& operator=(const DetailsRecord&) = delete;
  ~DetailsRecord() {
    std::free(record.issuerName);
    std::free(record.serialNumberHex);
    std::free(record.subjectName);
  }
};

// The listing the library delivers: an array of summaries ending with a null entry, everything
// freed with the holder.
struct Listing {
  CertificateSummary** list = nullptr;

  Listing() = default;
  Listing(const Listing&) = delete;
  Listing& operator=(const Listing&) = delete;
  ~Listing() {
    if (!list) return;
    for (CertificateSummary** entry = list; *entry; ++entry) {
      std::free((*entry)->issuerName);
      std::free((*entry)->serialNumberHex);
      std::free((*entry)->subjectName);
      std::free(*entry);
    }
    std::free(static_cast<void*>(list));
  }
};

// A UTF-16 name from the library as 8-bit text and back, as script sees it.
std::u16string nameText(const char16_t* name) {
  return scriptString(os::toUtf8(os::wideView(name)));
}

// One detail of a certificate record; nullopt for a selector outside 1 to 4.
std::optional<std::u16string> detail(const CertificateDetails& details, std::int32_t selector) {
  switch (selector) {
    case CERT_PARAM_SUBJECT:
      return nameText(details.subjectName);
    case CERT_PARAM_ISSUER:
      return nameText(details.issuerName);
    case CERT_PARAM_SERIAL:
      return scriptString(details.serialNumberHex ? details.serialNumberHex : "");
    case CERT_PARAM_EXPIRY:
      return scriptString(localExpiryText(details.expiryTime));
    default:
      return std::nullopt;
  }
}

// A password as the library takes it: UTF-16, wiped with its holder.
struct Password {
  std::u16string text;
  explicit Password(const ScriptString& script) {
    std::string eight = scriptText(script);
    text = os::toUtf16(eight);
    wipe(eight);
  }
  Password(const Password&) = delete;
  Password& operator=(const Password&) = delete;
  ~Password() { wipe(text); }
};

// The two methods that choose from the store tell a person about an unexpected failure: the
// system's text for the last error, in a message box, when there is such a text.
template <typename Body>
bool guardedShowingError(std::string& status, const char* exceptionText, Body&& body) {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    const int lastError = errno;
    try {
      ui::showSystemError(lastError);
      status = exceptionText;
    } catch (...) {
      status.clear();
    }
    return false;
  }
}

}  // namespace

bool CMarqenCtrl::selectSigningCertFromUI() {
  return guardedShowingError(m_strStatus, "Exception in selectSigningCertFromUI", [&] {
    picker::CertPickerDialog dialog(m_binding.fileName());
    dialog.logoMode = m_lLogoMode;
    if (dialog.doModal() != picker::IDOK) {
      m_strStatus = "Error in selectSigningCertFromUI";
      return false;
    }
    m_strSelIssuedTo = dialog.issuedTo();
    m_strSelIssuerDN = dialog.issuerDetails();
    m_strSelSerialNo = dialog.serialNumber();
    m_strSelExpiry = dialog.expirationDate();
    // The row came from the same store a moment ago, so the selection is taken as made; a
    // failure here leaves its own reason in the status only until the line below.
    applySigningCertFromStore(m_strSelIssuerDN, m_strSelSerialNo);
    m_strStatus = kSuccess;
    return true;
  });
}

std::u16string CMarqenCtrl::getSelectedSignerCertDetails(std::int32_t lCertParam) {
  return guarded(m_strStatus, "Exception in getSelectedSignerCertDetails", std::u16string(), [&] {
    if (m_strSelIssuedTo.empty() || m_strSelIssuerDN.empty() || m_strSelSerialNo.empty() ||
        m_strSelExpiry.empty()) {
      m_strStatus = "Signer certificate is not set.";
      return std::u16string();
    }
    const std::string* texts[] = {&m_strSelIssuedTo, &m_strSelIssuerDN, &m_strSelSerialNo,
                                  &m_strSelExpiry};
    if (lCertParam < CERT_PARAM_SUBJECT || lCertParam > CERT_PARAM_EXPIRY) {
      m_strStatus = "Invalid input parameter.";
      return std::u16string();
    }
    std::u16string result = scriptString(*texts[lCertParam - 1]);
    m_strStatus = kSuccess;
    return result;
  });
}

bool CMarqenCtrl::setSigningCertFromStore(const ScriptString& strIssuer,
                                          const ScriptString& strSerialNo) {
  return guardedShowingError(m_strStatus, "Exception in setSigningCertFromStore", [&] {
    return applySigningCertFromStore(scriptText(strIssuer), scriptText(strSerialNo));
  });
}

bool CMarqenCtrl::applySigningCertFromStore(const std::string& issuer,
                                            const std::string& serialNumber) {
  if (issuer.empty() || serialNumber.empty()) {
    m_strStatus = "Invalid IssuerDN or SerialNo.";
    return false;
  }
  // Whether the certificate exists is the library's question, at signing time.
  m_locator.setStore(os::toUtf16(issuer), serialNumber);
  m_strStatus = kSuccess;
  return true;
}

bool CMarqenCtrl::setSigningCertFromFile(const ScriptString& strInFile,
                                         const ScriptString& strPassword) {
  return guarded(m_strStatus, "Exception in setSigningCertFromFile", false, [&] {
    const std::string path8 = scriptText(strInFile);
    if (path8.empty()) {
      m_strStatus = "Invalid file path.";
      return false;
    }
    Password password(strPassword);
    std::u16string path = os::toUtf16(path8);
    DetailsRecord details;

    const BoundLibrary library(m_binding);
    if (auto missing = library.missing(&LibraryExports::getCertificateDetailsFromFile,
                                       "getCertificateDetailsFromFile")) {
      m_strStatus = std::move(*missing);
      return false;
    }
    // Proves that the file opens with the password and holds a key the library signs with.
    const ErrorCode code = library.exports().getCertificateDetailsFromFile(
        path.c_str(), password.text.c_str(), SIGNING_CERTIFICATE, &details.pointer);
    if (code != 0) {
      m_strStatus = library.message(code);
      return false;
    }
    m_locator.setFile(std::move(path), password.text);
    m_strStatus = kSuccess;
    return true;
  });
}

std::int32_t CMarqenCtrl::getSignerCertCountFromStore() {
  return guarded(m_strStatus, "Exception in getSignerCertCountFromStore", std::int32_t{-1}, [&] {
    Listing listing;
    {
      const BoundLibrary library(m_binding);
      if (auto missing = library.missing(&LibraryExports::listAllCertificatesFromStore,
                                         "listAllCertificatesFromStore", false)) {
        m_strStatus = std::move(*missing);
        return m_nStoreCertCount;
      }
      // The code is not examined: a listing that fails before counting leaves the count as it
      // was.
      std::int32_t count = m_nStoreCertCount;
      library.exports().listAllCertificatesFromStore(SIGNING_CERTIFICATE, STORE_PERSONAL,
                                                     &listing.list, &count);
      m_nStoreCertCount = count;
    }
    m_strStatus = kSuccess;
    return m_nStoreCertCount;
  });
}

std::u16string CMarqenCtrl::getSignerCertDetailsFromStore(std::int32_t lCertIndex,
                                                          std::int32_t lCertParam) {
  return guarded(
      m_strStatus, "GetSignerCertDetailsFromStore::Exception in getSignerCertDetailsFromStore.",
      std::u16string(), [&] {
        Listing listing;
        std::optional<BoundLibrary> library(std::in_place, m_binding);
        if (auto missing = library->missing(&LibraryExports::listAllCertificatesFromStore,
                                            "listAllCertificatesFromStore", false)) {
          m_strStatus = std::move(*missing);
          return std::u16string();
        }
        std::int32_t count = m_nStoreCertCount;
        const ErrorCode code = library->exports().listAllCertificatesFromStore(
            SIGNING_CERTIFICATE, STORE_PERSONAL, &listing.list, &count);
        m_nStoreCertCount = count;
        if (lCertIndex < 0 || lCertIndex >= m_nStoreCertCount) {
          m_strStatus = "Invalid certificate  index.";
          return std::u16string();
        }
        if (code != 0 || !listing.list) {
          m_strStatus = "Certificate data structure not set.";
          return std::u16string();
        }
        library.reset();
        if (lCertParam < CERT_PARAM_SUBJECT) {
          m_strStatus = " Invalid certificate detail index.";
          return std::u16string();
        }
        // The index is below the count the library gave for this list.
        const CertificateSummary* entry = listing.list[lCertIndex];
        auto result = entry ? detail(*entry, lCertParam) : std::nullopt;
        if (!result) {
          m_strStatus = "Invalid input parameter.";
          return std::u16string();
        }
        m_strStatus = kSuccess;
        return std::move(*result);
      });
}

std::u16string CMarqenCtrl::getSignerCertDetailsFromFile(const ScriptString& strInFile,
                                                         const ScriptString& strPassword,
                                                         std::int32_t lCertParam) {
  return guarded(m_strStatus, "Exception in getSignerCertDetailsFromFile.", std::u16string(), [&] {
    const std::string path8 = scriptText(strInFile);
    if (path8.empty()) {
      m_strStatus = "Invalid certificate file path.";
      return std::u16string();
    }
    // Negative selectors pass here and are refused once the file has been read.
    if (lCertParam == 0) {
      m_strStatus = " Invalid certificate detail index.";
      return std::u16string();
    }
    const Password password(strPassword);
    const std::u16string path = os::toUtf16(path8);
    DetailsRecord details;

    const BoundLibrary library(m_binding);
    if (auto missing = library.missing(&LibraryExports::getCertificateDetailsFromFile,
                                       "getCertificateDetailsFromFile")) {
      m_strStatus = std::move(*missing);
      return std::u16string();
    }
    const ErrorCode code = library.exports().getCertificateDetailsFromFile(
        path.c_str(), password.text.c_str(), SIGNING_CERTIFICATE, &details.pointer);
    if (code != 0) {
      m_strStatus = library.message(code);
      return std::u16string();
    }
    auto result = detail(details.record, lCertParam);
    if (!result) {
      m_strStatus = "Invalid input parameter.";
      return std::u16string();
    }
    m_strStatus = kSuccess;
    return std::move(*result);
  });
}

bool CMarqenCtrl::viewSignerCertFromFile(const ScriptString& strInFile,
                                         const ScriptString& strPassword) {
  return guarded(m_strStatus, "Exception in viewSignerCertFromFile.", false, [&] {
    // Only a null path is refused here; an empty one is the library's to answer.
    if (!strInFile) {
      m_strStatus = "Invalid certificate file path.";
      return false;
    }
    const Password password(strPassword);
    const std::u16string path = os::toUtf16(scriptText(strInFile));

    const BoundLibrary library(m_binding);
    if (auto missing = library.missing(&LibraryExports::viewCertificate, "viewCertificate")) {
      m_strStatus = std::move(*missing);
      return false;
    }
    const ErrorCode code =
        library.exports().viewCertificate(nullptr, nullptr, kStoreTypeUnused, path.c_str(),
                                          password.text.c_str(), nullptr, 0, SIGNING_CERTIFICATE);
    if (code != 0) {
      m_strStatus = library.message(code);
      return false;
    }
    m_strStatus = kSuccess;
    return true;
  });
}

bool CMarqenCtrl::viewSignerCertFromStore(const ScriptString& strIssuer,
                                          const ScriptString& strSerialNo) {
  return guarded(m_strStatus, "Exception in viewSignerCertFromStore.", false, [&] {
    const std::string issuer8 = scriptText(strIssuer);
    if (issuer8.empty()) {
      m_strStatus = "Invalid IssuerDN.";
      return false;
    }
    const std::string serial = scriptText(strSerialNo);
    if (serial.empty()) {
      m_strStatus = "Invalid SerialNo.";
      return false;
    }
    const std::u16string issuer = os::toUtf16(issuer8);

    const BoundLibrary library(m_binding);
    if (auto missing = library.missing(&LibraryExports::viewCertificate, "viewCertificate")) {
      m_strStatus = std::move(*missing);
      return false;
    }
    const ErrorCode code =
        library.exports().viewCertificate(issuer.c_str(), serial.c_str(), STORE_PERSONAL, nullptr,
                                          nullptr, nullptr, 0, SIGNING_CERTIFICATE);
    if (code != 0) {
      m_strStatus = library.message(code);
      return false;
    }
    m_strStatus = kSuccess;
    return true;
  });
}

}  // namespace marqen::control
