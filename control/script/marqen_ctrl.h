#pragma once
// The control object behind the script interface: the state a page hands over one method at a
// time, and the methods that sign, inspect certificates and convert through the library.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "control/script/library_binding.h"
#include "library/include/Marqen_InterfaceV2.h"
#include "platform/com/script_method.h"

namespace marqen::control {

// A script string argument: std::nullopt for a null string.
using ScriptString = std::optional<std::u16string>;

// Logo modes handed to the certificate picker.
enum : std::int32_t { LOGO_LINK = 901, LOGO_PLAIN = 902, LOGO_HIDDEN = 903 };

// A DataBuffer together with the memory its pointers refer to. kind -1 means "not set".
class OwnedDataBuffer {
 public:
  OwnedDataBuffer() = default;
  OwnedDataBuffer(const OwnedDataBuffer&) = delete;
  OwnedDataBuffer& operator=(const OwnedDataBuffer&) = delete;

  // `text` is kept with a terminating zero; `length` is what the record states.
  void setMemory(std::string text, std::int32_t length);
  void setFile(std::u16string path);
  bool isSet() const noexcept { return record_.kind != -1; }
  DataBuffer* record() noexcept { return &record_; }

 private:
  std::string bytes_;
  std::u16string path_;
  DataBuffer record_{nullptr, nullptr, -1, -1};
};

// A SignedAttribute together with its value and OID. authenticationType -1 means "not set".
class OwnedAttribute {
 public:
  OwnedAttribute() = default;
  OwnedAttribute(const OwnedAttribute&) = delete;
  OwnedAttribute& operator=(const OwnedAttribute&) = delete;

  void set(std::string value, std::int32_t valueLength, std::string_view oid,
           std::int32_t dataType);
  bool isSet() const noexcept { return record_.authenticationType != -1; }
  SignedAttribute* record() noexcept { return &record_; }

 private:
  std::string value_;
  std::string oid_;
  SignedAttribute record_{nullptr, -1, nullptr, -1, -1};
};

// The signing certificate: in the personal store by issuer and serial, or in a PFX file with
// its password. locationType "not set" until a selection succeeds. The password is wiped when
// it is replaced and when the control goes away.
class OwnedLocator {
 public:
  OwnedLocator() = default;
  OwnedLocator(const OwnedLocator&) = delete;
  OwnedLocator& operator=(const OwnedLocator&) = delete;
  ~OwnedLocator() { clear(); }

  void setStore(std::u16string issuerDN, std::string serialNumber);
  void setFile(std::u16string path, std::u16string password);
  bool isSet() const noexcept { return record_.locationType != kNotSet; }
  CertificateLocator* record() noexcept { return &record_; }

 private:
  static constexpr std::uint32_t kNotSet = 0xFFFFFFFFU;
  void clear() noexcept;

  std::u16string issuerDN_;
  std::string serialNumber_;
  std::u16string pfxFilePath_;
  std::u16string pfxPassword_;
  CertificateLocator record_{nullptr, nullptr, nullptr, nullptr, kNotSet};
};

class CMarqenCtrl final : public com::DrawableScriptObject {
 public:
  // The library is loaded by this file name; tests name one that is missing or incomplete.
  explicit CMarqenCtrl(std::string libraryFileName = std::string(kLibraryFileName));
  CMarqenCtrl(const CMarqenCtrl&) = delete;
  CMarqenCtrl& operator=(const CMarqenCtrl&) = delete;
  ~CMarqenCtrl() override = default;

  std::span<const com::ScriptMethod> methods() const override;
  // Throws std::invalid_argument for a dispid outside the table or arguments that do not match
  // its entry (the dispatch layer never passes them).
  com::ScriptResult invoke(std::int32_t dispid, std::span<const com::ScriptArg> args) override;
  // The picture design tools show (the control is invisible at run time): a white fill and the
  // ellipse inscribed in the bounds. False when the dialog module cannot be loaded.
  bool draw(void* cairoContext, double x, double y, double width, double height) override;

  // Input and state.
  bool updateData(const ScriptString& strData);
  bool updateDataFile(const ScriptString& strInFile);
  bool updateSignature(const ScriptString& strSignature);
  bool updateSignatureFile(const ScriptString& strInFile);
  bool setDetached(std::int32_t bIsDetached);
  bool setSignatureFormat(std::int32_t lSigFormat);
  bool setComments(const ScriptString& strComments);
  bool setDocumentName(const ScriptString& strDocumentName);
  bool SetLogo(std::int32_t iValue);
  bool setSigningTime(double dSignTime);
  bool setTimeStamp(const ScriptString& strTSResponse);
  void validateCertBeforeSigning(std::int32_t bValidate);
  void askPinAlways(std::int32_t bIsAlways);
  bool setRevocationCheck(std::int32_t lCheckFlag);
  bool setRevocationCheckOnline(std::int32_t bOnline);
  bool setHashAlgorithm(std::int32_t lHashAlg);
  bool setCA(const ScriptString& strCAName);
  std::u16string getErrorMessage() const;
  void AboutBox();

  // Signer selection and inspection.
  bool selectSigningCertFromUI();
  std::u16string getSelectedSignerCertDetails(std::int32_t lCertParam);
  bool setSigningCertFromStore(const ScriptString& strIssuer, const ScriptString& strSerialNo);
  bool setSigningCertFromFile(const ScriptString& strInFile, const ScriptString& strPassword);
  std::int32_t getSignerCertCountFromStore();
  std::u16string getSignerCertDetailsFromStore(std::int32_t lCertIndex, std::int32_t lCertParam);
  std::u16string getSignerCertDetailsFromFile(const ScriptString& strInFile,
                                              const ScriptString& strPassword,
                                              std::int32_t lCertParam);
  bool viewSignerCertFromFile(const ScriptString& strInFile, const ScriptString& strPassword);
  bool viewSignerCertFromStore(const ScriptString& strIssuer, const ScriptString& strSerialNo);

  // Signing.
  std::u16string sign();
  bool signToFile(const ScriptString& strOutFile);
  std::u16string coSign();
  bool coSignToFile(const ScriptString& strOutFile);
  std::u16string counterSign(std::int32_t lSignerIndex);
  bool counterSignToFile(const ScriptString& strOutFile, std::int32_t lSignerIndex);
  std::u16string rawSign();
  bool rawSignatureToFile(const ScriptString& strOutFile);

  // Conversion.
  bool Base64ToDER(const ScriptString& strInBase64, const ScriptString& strOutFile);
  std::u16string DERToBase64(const ScriptString& strInFile);

 private:
  enum class Signing : std::uint8_t { Sign, Cosign, Countersign, Rawsign };
  // Runs one signing export on the current state; the text of an in-memory result, or nullopt
  // when the export failed or could not be called (m_strStatus then says why). An empty
  // `outFile` asks for the result in memory.
  std::optional<std::u16string> runSigning(Signing operation, const std::string& outFile,
                                           std::int32_t signerIndex);
  bool applySigningCertFromStore(const std::string& issuer, const std::string& serialNumber);

  LibraryBinding m_binding;
  std::int32_t m_lLogoMode = LOGO_LINK;
  std::string m_strStatus;
  OwnedDataBuffer m_data;
  OwnedDataBuffer m_signature;
  std::int32_t m_lSignatureMode = SIGNATURE_ATTACHED;
  std::int32_t m_lHashAlgorithm = HASH_SHA1;
  std::int32_t m_lSignatureFormat = FORMAT_BASE64;
  OwnedAttribute m_attrComments;
  OwnedAttribute m_attrDocumentName;
  OwnedAttribute m_attrSigningTime;
  OwnedAttribute m_attrTimeStamp;
  std::int32_t m_bAskPin = 0;
  std::int32_t m_nStoreCertCount = -1;
  std::string m_strSelIssuedTo;
  std::string m_strSelIssuerDN;
  std::string m_strSelSerialNo;
  std::string m_strSelExpiry;
  OwnedLocator m_locator;
  std::int32_t m_nAttributeUpdates = 0;
  std::int32_t m_bValidateCert = 0;
  std::int32_t m_lRevocationMode = REVOCATION_OFFLINE;
  std::int32_t m_lRevocationLevel = REVOCATION_NONE;
};

}  // namespace marqen::control
