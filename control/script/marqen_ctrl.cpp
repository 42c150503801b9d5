#include "control/script/marqen_ctrl.h"

#include <array>
#include <stdexcept>
#include <utility>
#include <variant>

#include "control/script/script_text.h"
#include "platform/ui/dialogs.h"

namespace marqen::control {
namespace {

using com::ParamKind;
using com::ResultKind;
using com::ScriptArg;
using com::ScriptMethod;

constexpr std::array<ParamKind, 0> kNone{};
constexpr std::array kString{ParamKind::String};
constexpr std::array kLong{ParamKind::Long};
constexpr std::array kDate{ParamKind::Date};
constexpr std::array kStringString{ParamKind::String, ParamKind::String};
constexpr std::array kLongLong{ParamKind::Long, ParamKind::Long};
constexpr std::array kStringLong{ParamKind::String, ParamKind::Long};
constexpr std::array kStringStringLong{ParamKind::String, ParamKind::String, ParamKind::Long};

// The dispatch interface: names, DISPIDs, parameter and result kinds. Booleans are Long.
constexpr std::array<ScriptMethod, 38> kMethods{{
    {u"updateData", 1, kString, ResultKind::Bool},
    {u"updateDataFile", 2, kString, ResultKind::Bool},
    {u"updateSignature", 3, kString, ResultKind::Bool},
    {u"updateSignatureFile", 4, kString, ResultKind::Bool},
    {u"setDetached", 5, kLong, ResultKind::Bool},
    {u"setSignatureFormat", 6, kLong, ResultKind::Bool},
    {u"selectSigningCertFromUI", 7, kNone, ResultKind::Bool},
    {u"getSelectedSignerCertDetails", 8, kLong, ResultKind::String},
    {u"setSigningCertFromStore", 9, kStringString, ResultKind::Bool},
    {u"setSigningCertFromFile", 10, kStringString, ResultKind::Bool},
    {u"setComments", 11, kString, ResultKind::Bool},
    {u"setDocumentName", 12, kString, ResultKind::Bool},
    {u"SetLogo", 13, kLong, ResultKind::Bool},
    {u"setSigningTime", 14, kDate, ResultKind::Bool},
    {u"setTimeStamp", 15, kString, ResultKind::Bool},
    {u"validateCertBeforeSigning", 16, kLong, ResultKind::None},
    {u"askPinAlways", 17, kLong, ResultKind::None},
    {u"Base64ToDER", 18, kStringString, ResultKind::Bool},
    {u"DERToBase64", 19, kString, ResultKind::String},
    {u"sign", 20, kNone, ResultKind::String},
    {u"coSign", 21, kNone, ResultKind::String},
    {u"getSignerCertCountFromStore", 22, kNone, ResultKind::Long},
    {u"getSignerCertDetailsFromStore", 23, kLongLong, ResultKind::String},
    {u"getSignerCertDetailsFromFile", 24, kStringStringLong, ResultKind::String},
    {u"viewSignerCertFromFile", 25, kStringString, ResultKind::Bool},
    {u"viewSignerCertFromStore", 26, kStringString, ResultKind::Bool},
    {u"getErrorMessage", 27, kNone, ResultKind::String},
    {u"coSignToFile", 28, kString, ResultKind::Bool},
    {u"signToFile", 29, kString, ResultKind::Bool},
    {u"rawSign", 30, kNone, ResultKind::String},
    {u"rawSignatureToFile", 31, kString, ResultKind::Bool},
    {u"counterSign", 32, kLong, ResultKind::String},
    {u"counterSignToFile", 33, kStringLong, ResultKind::Bool},
    {u"setRevocationCheck", 34, kLong, ResultKind::Bool},
    {u"setRevocationCheckOnline", 35, kLong, ResultKind::Bool},
    {u"setHashAlgorithm", 36, kLong, ResultKind::Bool},
    {u"setCA", 37, kString, ResultKind::Bool},
    {u"AboutBox", -552, kNone, ResultKind::None},
}};

bool matches(ParamKind kind, const ScriptArg& arg) {
  switch (kind) {
    case ParamKind::String:
      return std::holds_alternative<ScriptString>(arg);
    case ParamKind::Long:
      return std::holds_alternative<std::int32_t>(arg);
    case ParamKind::Date:
      return std::holds_alternative<double>(arg);
  }
  return false;
}

const ScriptMethod& entryFor(std::int32_t dispid, std::span<const ScriptArg> args) {
  for (const ScriptMethod& method : kMethods) {
    if (method.dispid != dispid) continue;
    bool fits = method.params.size() == args.size();
    for (std::size_t i = 0; fits && i < args.size(); ++i)
      fits = matches(method.params[i], args[i]);
    if (!fits) throw std::invalid_argument("arguments do not match the method's declaration");
    return method;
  }
  throw std::invalid_argument("no method has this dispid");
}

}  // namespace

void OwnedDataBuffer::setMemory(std::string text, std::int32_t length) {
  bytes_ = std::move(text);
  path_.clear();
  record_ =
      DataBuffer{nullptr, reinterpret_cast<unsigned char*>(bytes_.data()), length, DATA_IN_MEMORY};
}

void OwnedDataBuffer::setFile(std::u16string path) {
  path_ = std::move(path);
  bytes_.clear();
  record_ = DataBuffer{path_.data(), nullptr, 0, DATA_IN_FILE};
}

void OwnedAttribute::set(std::string value, std::int32_t valueLength, std::string_view oid,
                         std::int32_t dataType) {
  value_ = std::move(value);
  oid_ = oid;
  record_ = SignedAttribute{reinterpret_cast<unsigned char*>(value_.data()), valueLength,
                            oid_.data(), ATTR_AUTHENTICATED, dataType};
}

void OwnedLocator::setStore(std::u16string issuerDN, std::string serialNumber) {
  clear();
  issuerDN_ = std::move(issuerDN);
  serialNumber_ = std::move(serialNumber);
  record_ =
      CertificateLocator{issuerDN_.data(), serialNumber_.data(), nullptr, nullptr, LOCATION_STORE};
}

void OwnedLocator::setFile(std::u16string path, std::u16string password) {
  clear();
  pfxFilePath_ = std::move(path);
  pfxPassword_ = std::move(password);
  record_ = CertificateLocator{nullptr, nullptr, pfxFilePath_.data(), pfxPassword_.data(),
                               LOCATION_PFX_FILE};
}

void OwnedLocator::clear() noexcept {
  wipe(pfxPassword_);
  pfxPassword_.clear();
  issuerDN_.clear();
  serialNumber_.clear();
  pfxFilePath_.clear();
  record_ = CertificateLocator{nullptr, nullptr, nullptr, nullptr, kNotSet};
}

CMarqenCtrl::CMarqenCtrl(std::string libraryFileName) : m_binding(std::move(libraryFileName)) {}

bool CMarqenCtrl::draw(void* cairoContext, double x, double y, double width, double height) {
  return ui::drawControl(static_cast<cairo_t*>(cairoContext), {x, y, width, height});
}

std::span<const com::ScriptMethod> CMarqenCtrl::methods() const {
  return kMethods;
}

com::ScriptResult CMarqenCtrl::invoke(std::int32_t dispid, std::span<const ScriptArg> args) {
  entryFor(dispid, args);
  const auto text = [&](std::size_t i) -> const ScriptString& {
    return std::get<ScriptString>(args[i]);
  };
  const auto number = [&](std::size_t i) { return std::get<std::int32_t>(args[i]); };
  switch (dispid) {
    case 1:
      return updateData(text(0));
    case 2:
      return updateDataFile(text(0));
    case 3:
      return updateSignature(text(0));
    case 4:
      return updateSignatureFile(text(0));
    case 5:
      return setDetached(number(0));
    case 6:
      return setSignatureFormat(number(0));
    case 7:
      return selectSigningCertFromUI();
    case 8:
      return getSelectedSignerCertDetails(number(0));
    case 9:
      return setSigningCertFromStore(text(0), text(1));
    case 10:
      return setSigningCertFromFile(text(0), text(1));
    case 11:
      return setComments(text(0));
    case 12:
      return setDocumentName(text(0));
    case 13:
      return SetLogo(number(0));
    case 14:
      return setSigningTime(std::get<double>(args[0]));
    case 15:
      return setTimeStamp(text(0));
    case 16:
      validateCertBeforeSigning(number(0));
      return std::monostate{};
    case 17:
      askPinAlways(number(0));
      return std::monostate{};
    case 18:
      return Base64ToDER(text(0), text(1));
    case 19:
      return DERToBase64(text(0));
    case 20:
      return sign();
    case 21:
      return coSign();
    case 22:
      return getSignerCertCountFromStore();
    case 23:
      return getSignerCertDetailsFromStore(number(0), number(1));
    case 24:
      return getSignerCertDetailsFromFile(text(0), text(1), number(2));
    case 25:
      return viewSignerCertFromFile(text(0), text(1));
    case 26:
      return viewSignerCertFromStore(text(0), text(1));
    case 27:
      return getErrorMessage();
    case 28:
      return coSignToFile(text(0));
    case 29:
      return signToFile(text(0));
    case 30:
      return rawSign();
    case 31:
      return rawSignatureToFile(text(0));
    case 32:
      return counterSign(number(0));
    case 33:
      return counterSignToFile(text(0), number(1));
    case 34:
      return setRevocationCheck(number(0));
    case 35:
      return setRevocationCheckOnline(number(0));
    case 36:
      return setHashAlgorithm(number(0));
    case 37:
      return setCA(text(0));
    default:  // -552
      AboutBox();
      return std::monostate{};
  }
}

}  // namespace marqen::control
