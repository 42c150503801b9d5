// The methods that only store what the page hands over, and the status text.

#include <cinttypes>
#include <cstdio>
#include <limits>
#include <stdexcept>

#include "control/script/marqen_ctrl.h"
#include "control/script/script_frame.h"
#include "control/script/script_text.h"
#include "platform/os/text.h"
#include "platform/ui/dialogs.h"

namespace marqen::control {
namespace {

constexpr const char* kCommentsOid = "1.3.6.1.4.1.311.88.2.2";
constexpr const char* kDocumentNameOid = "1.3.6.1.4.1.311.88.2.1";
constexpr const char* kTimeStampOid = "1.3.6.1.5.5.7.0.13";
constexpr const char* kSigningTimeOid = "1.2.840.113549.1.9.5";

// A length the library's 32-bit fields can state; longer text fails the method's catch-all.
std::int32_t recordLength(std::size_t length) {
  if (length > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
    throw std::length_error("too long for a library record");
  return static_cast<std::int32_t>(length);
}

}  // namespace

bool CMarqenCtrl::updateData(const ScriptString& strData) {
  return guarded(m_strStatus, "Exception in updateData", false, [&] {
    std::string text = scriptText(strData);
    if (text.empty()) {
      m_strStatus = "Empty Data.";
      return false;
    }
    const std::int32_t length = recordLength(text.size());
    m_data.setMemory(std::move(text), length);
    m_strStatus = kSuccess;
    return true;
  });
}

bool CMarqenCtrl::updateDataFile(const ScriptString& strInFile) {
  return guarded(m_strStatus, "Exception in updateDataFile", false, [&] {
    const std::string path = scriptText(strInFile);
    if (path.empty()) {
      m_strStatus = "Empty FilePath.";
      return false;
    }
    m_data.setFile(os::toUtf16(path));
    m_strStatus = kSuccess;
    return true;
  });
}

bool CMarqenCtrl::updateSignature(const ScriptString& strSignature) {
  return guarded(m_strStatus, "Exception in updateSignature", false, [&] {
    std::string text = scriptText(strSignature);
    if (text.empty()) {
      m_strStatus = "Empty signature.";
      return false;
    }
    // The signature's length counts its terminating zero.
    const std::int32_t length = recordLength(text.size() + 1);
    m_signature.setMemory(std::move(text), length);
    m_strStatus = kSuccess;
    return true;
  });
}

bool CMarqenCtrl::updateSignatureFile(const ScriptString& strInFile) {
  return guarded(m_strStatus, "Exception in updateSignatureFile", false, [&] {
    const std::string path = scriptText(strInFile);
    if (path.empty()) {
      m_strStatus = "Empty FilePath.";
      return false;
    }
    m_signature.setFile(os::toUtf16(path));
    m_strStatus = kSuccess;
    return true;
  });
}

bool CMarqenCtrl::setDetached(std::int32_t bIsDetached) {
  m_lSignatureMode = bIsDetached ? SIGNATURE_DETACHED : SIGNATURE_ATTACHED;
  m_strStatus = kSuccess;
  return true;
}

bool CMarqenCtrl::setSignatureFormat(std::int32_t lSigFormat) {
  if (lSigFormat != FORMAT_BASE64 && lSigFormat != FORMAT_DER) {
    m_strStatus = "Unsupported encoding format.";
    return false;
  }
  m_lSignatureFormat = lSigFormat;
  m_strStatus = kSuccess;
  return true;
}

bool CMarqenCtrl::SetLogo(std::int32_t iValue) {
  if (iValue != LOGO_LINK && iValue != LOGO_PLAIN && iValue != LOGO_HIDDEN) {
    m_strStatus = "Value entered for SetLogo is invalid";
    return false;
  }
  m_lLogoMode = iValue;
  m_strStatus = kSuccess;
  return true;
}

bool CMarqenCtrl::setComments(const ScriptString& strComments) {
  return guarded(m_strStatus, "Exception in setComments", false, [&] {
    if (!strComments) {
      m_strStatus = "Invalid signature comments.";
      return false;
    }
    std::string text = scriptText(strComments);
    if (text.empty()) {
      m_strStatus = "Invalid Signature Comments";
      return false;
    }
    // The value counts its terminating zero, which the library then signs too.
    const std::int32_t length = recordLength(text.size() + 1);
    m_attrComments.set(std::move(text), length, kCommentsOid, ATTR_OCTET_STRING);
    ++m_nAttributeUpdates;
    m_strStatus = kSuccess;
    return true;
  });
}

bool CMarqenCtrl::setDocumentName(const ScriptString& strDocumentName) {
  return guarded(m_strStatus, "Exception in setDocumentName.", false, [&] {
    std::string text = scriptText(strDocumentName);
    if (text.empty()) {
      m_strStatus = "Invalid document name.";
      return false;
    }
    const std::int32_t length = recordLength(text.size() + 1);
    m_attrDocumentName.set(std::move(text), length, kDocumentNameOid, ATTR_OCTET_STRING);
    ++m_nAttributeUpdates;
    m_strStatus = kSuccess;
    return true;
  });
}

bool CMarqenCtrl::setTimeStamp(const ScriptString& strTSResponse) {
  return guarded(m_strStatus, "Exception in setTimeStamp.", false, [&] {
    std::string text = scriptText(strTSResponse);
    if (text.empty()) {
      m_strStatus = "Invalid timestamp response.";
      return false;
    }
    const std::int32_t length = recordLength(text.size() + 1);
    m_attrTimeStamp.set(std::move(text), length, kTimeStampOid, ATTR_OCTET_STRING);
    ++m_nAttributeUpdates;
    m_strStatus = kSuccess;
    return true;
  });
}

bool CMarqenCtrl::setSigningTime(double dSignTime) {
  return guarded(m_strStatus, "Exception in setSigningTime.", false, [&] {
    // The script's date is its local time; the library reads true Unix seconds (UTC).
    const auto seconds = dSignTime == 0.0 ? std::nullopt : unixSecondsFromLocalDate(dSignTime);
    if (!seconds) {
      m_strStatus = "Invalid signing time.";
      return false;
    }
    char text[32] = {};
    const int length = std::snprintf(text, sizeof text, "%" PRId64, *seconds);
    if (length <= 0) throw std::runtime_error("signing time not formatted");
    m_attrSigningTime.set(std::string(text, static_cast<std::size_t>(length)), length,
                          kSigningTimeOid, ATTR_TIME);
    ++m_nAttributeUpdates;
    m_strStatus = kSuccess;
    return true;
  });
}

void CMarqenCtrl::validateCertBeforeSigning(std::int32_t bValidate) {
  m_bValidateCert = bValidate;
}

void CMarqenCtrl::askPinAlways(std::int32_t bIsAlways) {
  m_bAskPin = bIsAlways;
  m_strStatus = bIsAlways ? "askPinAlways is set to TRUE." : "askPinAlways is set to FALSE.";
}

bool CMarqenCtrl::setRevocationCheck(std::int32_t lCheckFlag) {
  // No range check here: the library answers an unknown level when validation runs.
  m_lRevocationLevel = lCheckFlag;
  return true;
}

bool CMarqenCtrl::setRevocationCheckOnline(std::int32_t bOnline) {
  m_lRevocationMode = bOnline ? REVOCATION_ONLINE : REVOCATION_OFFLINE;
  return true;
}

bool CMarqenCtrl::setHashAlgorithm(std::int32_t lHashAlg) {
  // Besides SHA-1 and MD5, the SHA-2 family by its CALG identifier: what public CAs and
  // verifiers expect today.
  if (lHashAlg != HASH_SHA1 && lHashAlg != HASH_MD5 && lHashAlg != HASH_SHA256 &&
      lHashAlg != HASH_SHA384 && lHashAlg != HASH_SHA512) {
    m_strStatus = "Unsupported Hash Algorithm.";
    return false;
  }
  m_lHashAlgorithm = lHashAlg;
  m_strStatus = "setHashAlgorithm successfully completed.";
  return true;
}

bool CMarqenCtrl::setCA(const ScriptString& /*strCAName*/) {
  // Trusted CA names are never handed to the library by the control.
  return true;
}

std::u16string CMarqenCtrl::getErrorMessage() const {
  return scriptString(m_strStatus);
}

void CMarqenCtrl::AboutBox() {
  // Nothing to report: without a display the box is simply not shown.
  try {
    ui::aboutBox();
  } catch (...) {  // NOLINT(bugprone-empty-catch): a script call never fails for a dialog
  }
}

}  // namespace marqen::control
