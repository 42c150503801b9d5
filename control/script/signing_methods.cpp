// Signing, co-signing, counter-signing and raw signing of the state the page has set.

#include <cstdlib>
#include <vector>

#include "control/script/marqen_ctrl.h"
#include "control/script/script_frame.h"
#include "control/script/script_text.h"
#include "platform/os/text.h"

namespace marqen::control {
namespace {

// The result record the control allocates; what the library hangs in it is freed with it.
struct ResultRecord {
  DataBuffer record{};
  DataBuffer* pointer = &record;

  ResultRecord() = default;
  ResultRecord(const ResultRecord&) = delete;
  ResultRecord& operator=(const ResultRecord&) = delete;
  ~ResultRecord() {
    std::free(record.data);
    std::free(record.filePath);
  }
};

constexpr const char* kInvalidInput = "Invalid input parameter.";
constexpr const char* kSignatureNotSet = " Signature not set.";
constexpr const char* kCountersignCertificateNotSet = " Certificate parameters not set.";

}  // namespace

std::optional<std::u16string> CMarqenCtrl::runSigning(Signing operation, const std::string& outFile,
                                                      std::int32_t signerIndex) {
  const bool toFile = !outFile.empty();
  // The output path is as long as the page gave it.
  std::u16string outputPath = toFile ? os::toUtf16(outFile) : std::u16string();
  char16_t* const outputPathField = toFile ? outputPath.data() : nullptr;
  const std::int32_t outputKind = toFile ? DATA_IN_FILE : DATA_IN_MEMORY;

  SignRequest request{};
  RawSignRequest rawRequest{};
  std::vector<SignedAttribute*> attributes;
  if (operation == Signing::Sign || operation == Signing::Cosign) {
    // Attributes go out once after a successful setter; then every one ever set, in this order.
    if (m_nAttributeUpdates > 0) {
      for (OwnedAttribute* attribute :
           {&m_attrComments, &m_attrSigningTime, &m_attrDocumentName, &m_attrTimeStamp})
        if (attribute->isSet()) attributes.push_back(attribute->record());
    }
    m_nAttributeUpdates = 0;
    request = SignRequest{m_data.record(),
                          m_locator.record(),
                          attributes.empty() ? nullptr : attributes.data(),
                          static_cast<std::int32_t>(attributes.size()),
                          m_lHashAlgorithm,
                          SIGNING_RSA,
                          m_lSignatureMode,
                          m_lSignatureFormat,
                          m_bValidateCert,
                          m_lRevocationMode,
                          m_lRevocationLevel,
                          m_bAskPin,
                          outputKind,
                          outputPathField};
  } else {
    rawRequest =
        RawSignRequest{m_data.record(), m_locator.record(), m_lHashAlgorithm,   m_lSignatureFormat,
                       m_bValidateCert, m_lRevocationMode,  m_lRevocationLevel, m_bAskPin,
                       outputKind,      outputPathField};
  }
  ResultRecord result;

  const BoundLibrary library(m_binding);
  std::optional<std::string> missing;
  switch (operation) {
    case Signing::Sign:
      missing = library.missing(&LibraryExports::sign, "sign");
      break;
    case Signing::Cosign:
      missing = library.missing(&LibraryExports::cosign, "cosign");
      break;
    case Signing::Countersign:
      missing = library.missing(&LibraryExports::countersign, "countersign");
      break;
    case Signing::Rawsign:
      missing = library.missing(&LibraryExports::rawsign, "rawsign");
      break;
  }
  if (missing) {
    m_strStatus = std::move(*missing);
    return std::nullopt;
  }
  const LibraryExports& exports = library.exports();
  ErrorCode code = 0;
  switch (operation) {
    case Signing::Sign:
      code = exports.sign(&request, &result.pointer);
      break;
    case Signing::Cosign:
      code = exports.cosign(&request, m_signature.record(), &result.pointer);
      break;
    case Signing::Countersign:
      code = exports.countersign(&rawRequest, m_signature.record(), signerIndex, &result.pointer);
      break;
    case Signing::Rawsign:
      code = exports.rawsign(&rawRequest, &result.pointer);
      break;
  }
  if (code != 0) {
    m_strStatus = library.message(code);
    return std::nullopt;
  }
  if (toFile || !result.record.data || result.record.length < 0) return std::u16string();
  const auto length = static_cast<std::size_t>(result.record.length);
  // DER goes to script whole, one unit per byte; Base64 is text.
  if (m_lSignatureFormat == FORMAT_DER) return binaryString(result.record.data, length);
  return scriptString(std::string_view(reinterpret_cast<const char*>(result.record.data), length));
}

std::u16string CMarqenCtrl::sign() {
  return guarded(m_strStatus, "Exception in sign", std::u16string(), [&] {
    if (!m_data.isSet()) {
      m_strStatus = "Data not updated or invalid data updated.";
      return std::u16string();
    }
    if (!m_locator.isSet()) {
      m_strStatus = "Signing certificate parameters are not set or invalid parameters set.";
      return std::u16string();
    }
    auto result = runSigning(Signing::Sign, {}, 0);
    if (!result) return std::u16string();
    m_strStatus = kSuccess;
    return std::move(*result);
  });
}

bool CMarqenCtrl::signToFile(const ScriptString& strOutFile) {
  return guarded(m_strStatus, "Exception in signToFile.", false, [&] {
    const std::string outFile = scriptText(strOutFile);
    if (outFile.empty()) {
      m_strStatus = kInvalidInput;
      return false;
    }
    if (!m_data.isSet()) {
      m_strStatus = "Data not updated or Invalid data updated.";
      return false;
    }
    if (!m_locator.isSet()) {
      m_strStatus = "Signing certificate parameters are not set or Invalid parameters set.";
      return false;
    }
    return runSigning(Signing::Sign, outFile, 0).has_value();
  });
}

std::u16string CMarqenCtrl::coSign() {
  return guarded(m_strStatus, "Exception in coSign", std::u16string(), [&] {
    if (!m_signature.isSet()) {
      m_strStatus = kSignatureNotSet;
      return std::u16string();
    }
    if (!m_locator.isSet()) {
      m_strStatus = "Certificate parameters not set.";
      return std::u16string();
    }
    auto result = runSigning(Signing::Cosign, {}, 0);
    if (!result) return std::u16string();
    m_strStatus = kSuccess;
    return std::move(*result);
  });
}

bool CMarqenCtrl::coSignToFile(const ScriptString& strOutFile) {
  return guarded(m_strStatus, "Exception in coSignToFile.", false, [&] {
    const std::string outFile = scriptText(strOutFile);
    if (outFile.empty()) {
      m_strStatus = kInvalidInput;
      return false;
    }
    if (!m_signature.isSet()) {
      m_strStatus = kSignatureNotSet;
      return false;
    }
    if (!m_locator.isSet()) {
      m_strStatus = " Certificate Parameters not set.";
      return false;
    }
    return runSigning(Signing::Cosign, outFile, 0).has_value();
  });
}

std::u16string CMarqenCtrl::counterSign(std::int32_t lSignerIndex) {
  return guarded(m_strStatus, "Exception in counterSign.", std::u16string(), [&] {
    if (!m_signature.isSet()) {
      m_strStatus = kSignatureNotSet;
      return std::u16string();
    }
    if (lSignerIndex < 0) {
      m_strStatus = "Invalid signer index not set.";
      return std::u16string();
    }
    if (!m_locator.isSet()) {
      m_strStatus = kCountersignCertificateNotSet;
      return std::u16string();
    }
    return runSigning(Signing::Countersign, {}, lSignerIndex).value_or(std::u16string());
  });
}

bool CMarqenCtrl::counterSignToFile(const ScriptString& strOutFile, std::int32_t lSignerIndex) {
  return guarded(m_strStatus, "Exception in counterSignToFile.", false, [&] {
    const std::string outFile = scriptText(strOutFile);
    if (outFile.empty()) {
      m_strStatus = kInvalidInput;
      return false;
    }
    if (!m_signature.isSet()) {
      m_strStatus = kSignatureNotSet;
      return false;
    }
    if (lSignerIndex < 0) {
      m_strStatus = "Signer index not set.";
      return false;
    }
    if (!m_locator.isSet()) {
      m_strStatus = kCountersignCertificateNotSet;
      return false;
    }
    return runSigning(Signing::Countersign, outFile, lSignerIndex).has_value();
  });
}

std::u16string CMarqenCtrl::rawSign() {
  return guarded(m_strStatus, "Eception in rawSign.", std::u16string(), [&] {
    if (!m_data.isSet()) {
      m_strStatus = "Data not updated or invalid data updated.";
      return std::u16string();
    }
    if (!m_locator.isSet()) {
      m_strStatus = "Signing certificate parameters are not set or invalid parameters set.";
      return std::u16string();
    }
    return runSigning(Signing::Rawsign, {}, 0).value_or(std::u16string());
  });
}

bool CMarqenCtrl::rawSignatureToFile(const ScriptString& strOutFile) {
  return guarded(m_strStatus, "Eception in rawSignToFile.", false, [&] {
    const std::string outFile = scriptText(strOutFile);
    if (outFile.empty()) {
      m_strStatus = kInvalidInput;
      return false;
    }
    if (!m_data.isSet()) {
      m_strStatus = "Data not updated or Invalid data updated.";
      return false;
    }
    if (!m_locator.isSet()) {
      m_strStatus = "Signing certificate parameters are not set or Invalid parameters set.";
      return false;
    }
    if (!runSigning(Signing::Rawsign, outFile, 0)) return false;
    m_strStatus = kSuccess;
    return true;
  });
}

}  // namespace marqen::control
