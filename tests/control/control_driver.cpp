#include "tests/control/control_driver.h"

#include <openssl/asn1.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "platform/os/text.h"
#include "tests/support/hex.h"
#include "tests/support/process.h"

namespace marqen::test {
namespace {

bool sameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char16_t c) {
      return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
    };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

struct CmsFree {
  void operator()(CMS_ContentInfo* cms) const { CMS_ContentInfo_free(cms); }
};
using CmsPtr = std::unique_ptr<CMS_ContentInfo, CmsFree>;

CmsPtr parse(const Bytes& der) {
  const unsigned char* p = der.data();
  CmsPtr cms(d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(der.size())));
  if (!cms) throw std::runtime_error("not a CMS message");
  return cms;
}

std::string dotted(const ASN1_OBJECT* object) {
  char text[128] = {};
  OBJ_obj2txt(text, sizeof text, object, 1);
  return text;
}

}  // namespace

ScriptArg str(std::u16string_view text) {
  return ScriptArg{std::optional<std::u16string>(std::u16string(text))};
}
ScriptArg str(std::string_view utf8Text) {
  return ScriptArg{std::optional<std::u16string>(os::toUtf16(utf8Text))};
}
ScriptArg nullStr() {
  return ScriptArg{std::optional<std::u16string>()};
}
ScriptArg num(std::int32_t value) {
  return ScriptArg{value};
}
ScriptArg date(double value) {
  return ScriptArg{value};
}

ScriptResult ControlDriver::call(std::u16string_view name, const std::vector<ScriptArg>& args) {
  for (const com::ScriptMethod& method : control_.methods())
    if (sameName(method.name, name)) return control_.invoke(method.dispid, args);
  throw std::invalid_argument("no such method: " + os::toUtf8(name));
}

bool ControlDriver::boolean(std::u16string_view name, const std::vector<ScriptArg>& args) {
  return std::get<bool>(call(name, args));
}

std::u16string ControlDriver::string(std::u16string_view name, const std::vector<ScriptArg>& args) {
  return std::get<std::u16string>(call(name, args));
}

std::int32_t ControlDriver::number(std::u16string_view name, const std::vector<ScriptArg>& args) {
  return std::get<std::int32_t>(call(name, args));
}

std::string ControlDriver::status() {
  return utf8(string(u"getErrorMessage"));
}

ScopedTimeZone::ScopedTimeZone(const char* zone) {
  if (const char* previous = std::getenv("TZ")) previous_ = previous;
  ::setenv("TZ", zone, 1);
  ::tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
  if (previous_)
    ::setenv("TZ", previous_->c_str(), 1);
  else
    ::unsetenv("TZ");
  ::tzset();
}

std::string utf8(const std::u16string& text) {
  return os::toUtf8(text);
}

Bytes bytesOf(const std::u16string& binary) {
  Bytes bytes;
  for (const char16_t unit : binary) {
    if (unit > 0xFF) throw std::runtime_error("not a binary string");
    bytes.push_back(static_cast<unsigned char>(unit));
  }
  return bytes;
}

Bytes base64Decode(const std::string& text) {
  std::string compact;
  for (const char c : text)
    if (c != '\n' && c != '\r') compact += c;
  Bytes out(compact.size() / 4 * 3 + 3);
  const int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(compact.data()),
                                static_cast<int>(compact.size()));
  if (n < 0) throw std::runtime_error("not Base64");
  std::size_t length = static_cast<std::size_t>(n);
  for (auto it = compact.rbegin(); it != compact.rend() && *it == '='; ++it)
    --length;
  out.resize(length);
  return out;
}

TestSigner& TestSigner::get() {
  static TestSigner signer;
  return signer;
}

TestSigner::TestSigner() {
  store.add("ROOT", "root", root);
  store.add("MY", "signer", holder, true);
  serial = hexOf(serialOf(holder));
  pfxPath = dir.file("signer.pfx");
  PfxOptions options;
  options.holder = &holder;
  options.password = password;
  writeBytes(pfxPath, makePfx(options));
  rootPem = dir.file("root.pem");
  writeFile(rootPem, root.pem());
}

Verification opensslVerify(const Bytes& der, const std::optional<std::string>& detachedContent) {
  const TestSigner& signer = TestSigner::get();
  const TempDir dir;
  const std::string in = dir.file("message.p7");
  const std::string out = dir.file("content.bin");
  writeBytes(in, der);
  std::vector<std::string> args = {"cms", "-verify", "-binary", "-inform",      "DER",
                                   "-in", in,        "-CAfile", signer.rootPem, "-purpose",
                                   "any", "-out",    out};
  if (detachedContent) {
    const std::string content = dir.file("detached.bin");
    writeFile(content, *detachedContent);
    args.insert(args.end(), {"-content", content});
  }
  const ProcessResult result = runProcess(OPENSSL_CLI, args);
  Verification verification;
  verification.verified = result.exitCode == 0;
  verification.log = result.out + result.err;
  if (std::filesystem::exists(out)) verification.content = readFile(out);
  return verification;
}

std::optional<std::string> SignerAttributes::octetString(const std::string& oid) const {
  for (const auto& [name, value] : octetStrings)
    if (name == oid) return value;
  return std::nullopt;
}

SignerAttributes signedAttributes(const Bytes& der) {
  const CmsPtr cms = parse(der);
  STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(cms.get());
  if (!signers || sk_CMS_SignerInfo_num(signers) < 1) throw std::runtime_error("no signer");
  CMS_SignerInfo* signer = sk_CMS_SignerInfo_value(signers, 0);
  SignerAttributes attributes;
  for (int i = 0; i < CMS_signed_get_attr_count(signer); ++i) {
    X509_ATTRIBUTE* attribute = CMS_signed_get_attr(signer, i);
    const std::string oid = dotted(X509_ATTRIBUTE_get0_object(attribute));
    attributes.oids.push_back(oid);
    ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(attribute, 0);
    if (!value) continue;
    if (value->type == V_ASN1_OCTET_STRING) {
      const ASN1_OCTET_STRING* octets = value->value.octet_string;
      attributes.octetStrings.emplace_back(
          oid, std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(octets)),
                           static_cast<std::size_t>(ASN1_STRING_length(octets))));
    } else if (oid == "1.2.840.113549.1.9.5" &&
               (value->type == V_ASN1_UTCTIME || value->type == V_ASN1_GENERALIZEDTIME)) {
      std::tm fields{};
      if (ASN1_TIME_to_tm(value->value.utctime, &fields) == 1)
        attributes.signingTime = ::timegm(&fields);
    }
  }
  return attributes;
}

int signerCount(const Bytes& der) {
  const CmsPtr cms = parse(der);
  STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(cms.get());
  return signers ? sk_CMS_SignerInfo_num(signers) : 0;
}

}  // namespace marqen::test
