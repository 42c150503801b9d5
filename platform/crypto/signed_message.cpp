#include "platform/crypto/signed_message.h"

#include <openssl/err.h>
#include <openssl/objects.h>

#include <climits>
#include <ctime>

#include "platform/crypto/failure_reason.h"

namespace marqen::crypto {
namespace {

// Writes the content through a chain of digest BIOs, a block at a time.
bool feed(BIO* chain, const os::ContentSource& content) {
  return content.forEachBlock([chain](std::span<const unsigned char> block) {
    const int n = static_cast<int>(block.size());
    return BIO_write(chain, block.data(), n) == n;
  });
}

bool addAttributes(CMS_SignerInfo* si, const std::vector<MessageAttribute>& attributes,
                   bool isSigned) {
  for (const auto& attribute : attributes) {
    const Asn1ObjectPtr oid(OBJ_txt2obj(attribute.oid.c_str(), 1));
    if (!oid || attribute.data.size() > static_cast<std::size_t>(INT_MAX)) return false;
    const auto length = static_cast<int>(attribute.data.size());
    const int ok = isSigned ? CMS_signed_add1_attr_by_OBJ(si, oid.get(), attribute.type,
                                                          attribute.data.data(), length)
                            : CMS_unsigned_add1_attr_by_OBJ(si, oid.get(), attribute.type,
                                                            attribute.data.data(), length);
    if (ok != 1) return false;
  }
  return true;
}

std::string dottedOid(const ASN1_OBJECT* object) {
  char text[128];
  const int n = OBJ_obj2txt(text, sizeof text, object, 1);
  return n > 0 ? std::string(text, static_cast<std::size_t>(std::min<int>(n, sizeof text - 1)))
               : std::string();
}

template <typename Count, typename Get>
std::vector<FoundAttribute> collect(const CMS_SignerInfo* si, Count count, Get get) {
  std::vector<FoundAttribute> found;
  const int n = count(si);
  for (int i = 0; i < n; ++i) {
    X509_ATTRIBUTE* attribute = get(si, i);
    FoundAttribute entry{dottedOid(X509_ATTRIBUTE_get0_object(attribute)), {}};
    for (int v = 0; v < X509_ATTRIBUTE_count(attribute); ++v) {
      unsigned char* der = nullptr;
      const int length = i2d_ASN1_TYPE(X509_ATTRIBUTE_get0_type(attribute, v), &der);
      if (length <= 0) continue;
      OpenSslMemory<unsigned char> owned(der);
      entry.values.emplace_back(der, der + length);
    }
    found.push_back(std::move(entry));
  }
  return found;
}

}  // namespace

std::optional<MessageAttribute> signingTimeAttribute(std::int64_t unixSeconds) {
  Asn1TimePtr time(ASN1_TIME_adj(nullptr, static_cast<time_t>(unixSeconds), 0, 0));
  keepFailureReason();
  if (!time) return std::nullopt;
  const unsigned char* text = ASN1_STRING_get0_data(time.get());
  return MessageAttribute{kSigningTimeOid, ASN1_STRING_type(time.get()),
                          Bytes(text, text + ASN1_STRING_length(time.get()))};
}

MessageAttribute octetStringAttribute(std::string oid, std::span<const unsigned char> bytes) {
  return {std::move(oid), V_ASN1_OCTET_STRING, Bytes(bytes.begin(), bytes.end())};
}

std::optional<MessageAttribute> integerAttribute(std::string oid, std::int64_t value) {
  const UniquePtr<ASN1_INTEGER> number(ASN1_INTEGER_new());
  if (!number || ASN1_INTEGER_set_int64(number.get(), value) != 1) {
    keepFailureReason();
    return std::nullopt;
  }
  const unsigned char* bytes = ASN1_STRING_get0_data(number.get());
  return MessageAttribute{std::move(oid), V_ASN1_INTEGER,
                          Bytes(bytes, bytes + ASN1_STRING_length(number.get()))};
}

BorrowedContent::~BorrowedContent() {
  if (!slot_) return;
  slot_->data = nullptr;
  slot_->length = 0;
}

bool BorrowedContent::lend(CMS_ContentInfo* cms, std::span<const unsigned char> content) {
  ASN1_OCTET_STRING** slot = CMS_get0_content(cms);
  if (!slot || content.size() > static_cast<std::size_t>(INT_MAX)) return false;
  ASN1_OCTET_STRING_free(*slot);
  *slot = ASN1_OCTET_STRING_new();
  if (!*slot) return false;
  ASN1_STRING_set0(*slot, const_cast<unsigned char*>(content.data()),
                   static_cast<int>(content.size()));
  slot_ = *slot;
  return true;
}

std::size_t MessageEncoding::size() const {
  const int length = i2d_CMS_ContentInfo(cms_.get(), nullptr);
  return length > 0 ? static_cast<std::size_t>(length) : 0U;
}

bool MessageEncoding::writeTo(unsigned char* out) const {
  unsigned char* p = out;
  return i2d_CMS_ContentInfo(cms_.get(), &p) > 0;
}

std::optional<Bytes> MessageEncoding::toBytes() const {
  Bytes der(size());
  if (der.empty() || !writeTo(der.data())) return std::nullopt;
  return der;
}

std::optional<MessageEncoding> signMessage(const os::ContentSource& content,
                                           const Certificate& signer, const PrivateKey& key,
                                           const SignParameters& parameters) {
  // Signed as detached, so the content is only hashed, never copied; an attached message
  // then points its content at the caller's bytes.
  const auto inMemory = content.memory();
  if (!parameters.detached && !inMemory) return std::nullopt;
  const unsigned flags = CMS_BINARY | CMS_PARTIAL | CMS_NOSMIMECAP | CMS_DETACHED;
  CmsPtr cms(CMS_sign(nullptr, nullptr, nullptr, nullptr, flags));
  const EVP_MD* md = evpDigest(parameters.digest);
  CMS_SignerInfo* si =
      cms ? CMS_add1_signer(cms.get(), signer.get(), key.key(), md, flags) : nullptr;
  bool made = si && addAttributes(si, parameters.signedAttributes, true) &&
              addAttributes(si, parameters.unsignedAttributes, false);
  // What CMS_final does, with the content written through the digests in blocks.
  BIO* chain = made ? CMS_dataInit(cms.get(), nullptr) : nullptr;
  made = chain && feed(chain, content) && BIO_flush(chain) == 1 &&
         CMS_dataFinal(cms.get(), chain) == 1;
  if (chain) BIO_free_all(chain);
  keepFailureReason();
  if (!made) return std::nullopt;
  BorrowedContent borrowed;
  if (!parameters.detached && !borrowed.lend(cms.get(), *inMemory)) return std::nullopt;
  return MessageEncoding(std::move(cms), std::move(borrowed));
}

std::optional<MessageEncoding> signMessage(std::span<const unsigned char> content,
                                           const Certificate& signer, const PrivateKey& key,
                                           const SignParameters& parameters) {
  return signMessage(os::ContentSource::inMemory(content), signer, key, parameters);
}

std::optional<SignedMessage> SignedMessage::decode(std::span<const unsigned char> der) {
  if (der.empty() || der.size() > static_cast<std::size_t>(LONG_MAX)) return std::nullopt;
  const unsigned char* p = der.data();
  CmsPtr cms(d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(der.size())));
  keepFailureReason();
  if (!cms || p != der.data() + der.size()) return std::nullopt;
  return SignedMessage(std::move(cms));
}

bool SignedMessage::isSignedData() const {
  return OBJ_obj2nid(CMS_get0_type(cms_.get())) == NID_pkcs7_signed;
}

std::optional<std::span<const unsigned char>> SignedMessage::content() const {
  ASN1_OCTET_STRING** slot = CMS_get0_content(cms_.get());
  if (!slot || !*slot) return std::nullopt;
  return std::span(ASN1_STRING_get0_data(*slot),
                   static_cast<std::size_t>(ASN1_STRING_length(*slot)));
}

int SignedMessage::signerCount() const {
  if (!isSignedData()) return 0;
  const auto* infos = CMS_get0_SignerInfos(cms_.get());
  return infos ? sk_CMS_SignerInfo_num(infos) : 0;
}

CMS_SignerInfo* SignedMessage::signerInfo(int index) const {
  if (index < 0 || index >= signerCount()) return nullptr;
  return sk_CMS_SignerInfo_value(CMS_get0_SignerInfos(cms_.get()), index);
}

std::vector<Certificate> SignedMessage::certificates() const {
  std::vector<Certificate> result;
  if (!isSignedData()) return result;
  X509StackPtr certs(CMS_get1_certs(cms_.get()));
  for (int i = 0; certs && i < sk_X509_num(certs.get()); ++i) {
    result.emplace_back(upRef(sk_X509_value(certs.get(), i)));
  }
  return result;
}

std::optional<Certificate> SignedMessage::signerCertificate(int index) const {
  CMS_SignerInfo* si = signerInfo(index);
  if (!si) return std::nullopt;
  for (auto& certificate : certificates())
    if (CMS_SignerInfo_cert_cmp(si, certificate.get()) == 0) return certificate;
  return std::nullopt;
}

std::string SignedMessage::digestAlgorithm(int index) const {
  CMS_SignerInfo* si = signerInfo(index);
  if (!si) return {};
  X509_ALGOR* digest = nullptr;
  CMS_SignerInfo_get0_algs(si, nullptr, nullptr, &digest, nullptr);
  const ASN1_OBJECT* oid = nullptr;
  X509_ALGOR_get0(&oid, nullptr, nullptr, digest);
  return oid ? dottedOid(oid) : std::string();
}

std::vector<FoundAttribute> SignedMessage::signedAttributes(int index) const {
  const CMS_SignerInfo* si = signerInfo(index);
  if (!si) return {};
  return collect(si, CMS_signed_get_attr_count, CMS_signed_get_attr);
}

std::vector<FoundAttribute> SignedMessage::unsignedAttributes(int index) const {
  const CMS_SignerInfo* si = signerInfo(index);
  if (!si) return {};
  return collect(si, CMS_unsigned_get_attr_count, CMS_unsigned_get_attr);
}

Bytes SignedMessage::signatureValue(int index) const {
  CMS_SignerInfo* si = signerInfo(index);
  if (!si) return {};
  const ASN1_OCTET_STRING* signature = CMS_SignerInfo_get0_signature(si);
  const unsigned char* data = ASN1_STRING_get0_data(signature);
  return Bytes(data, data + ASN1_STRING_length(signature));
}

bool SignedMessage::verifySigner(int index, const Certificate& certificate,
                                 const os::ContentSource* detached) const {
  CMS_SignerInfo* si = signerInfo(index);
  if (!si) return false;
  CMS_SignerInfo_set1_signer_cert(si, certificate.get());
  bool ok = CMS_signed_get_attr_count(si) < 0 || CMS_SignerInfo_verify(si) == 1;
  if (ok) {
    // The content, embedded or detached, is written through the digests into a sink, so the
    // embedded bytes are hashed where they lie and a file is read a block at a time. Once the
    // chain exists it owns the sink and frees it with itself.
    BioPtr sink(BIO_new(BIO_s_null()));
    BIO* chain = sink ? CMS_dataInit(cms_.get(), sink.get()) : nullptr;
    if (chain) sink.release();
    const os::ContentSource embedded = os::ContentSource::inMemory(
        detached ? std::span<const unsigned char>()
                 : content().value_or(std::span<const unsigned char>()));
    ok = chain && feed(chain, detached ? *detached : embedded) &&
         CMS_SignerInfo_verify_content(si, chain) == 1;
    if (chain) BIO_free_all(chain);
  }
  CMS_SignerInfo_set1_signer_cert(si, nullptr);
  keepFailureReason();
  return ok;
}

bool SignedMessage::verifySigner(int index, const Certificate& certificate,
                                 std::optional<std::span<const unsigned char>> detached) const {
  if (!detached) return verifySigner(index, certificate, nullptr);
  const auto source = os::ContentSource::inMemory(*detached);
  return verifySigner(index, certificate, &source);
}

}  // namespace marqen::crypto
