#pragma once
// PKCS#7 signed data (CMS SignedData version 1, signers named by issuer and serial number),
// made and read with OpenSSL's CMS implementation.

#include <openssl/cms.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/crypto/certificate.h"
#include "platform/crypto/digest.h"
#include "platform/crypto/oids.h"
#include "platform/crypto/openssl_ptr.h"
#include "platform/crypto/private_key.h"
#include "platform/os/content_source.h"

namespace marqen::crypto {

// One attribute with one value, given as an ASN.1 type and the bytes an ASN1_STRING of that
// type holds (content octets for OCTET STRING and INTEGER, the time text for a time).
struct MessageAttribute {
  std::string oid;
  int type = V_ASN1_OCTET_STRING;
  Bytes data;
};

// The value of a UTCTime or GeneralizedTime for a Unix time, as RFC 5652 wants a signing time
// (UTCTime from 1950 to 2049). Empty when the time cannot be represented.
std::optional<MessageAttribute> signingTimeAttribute(std::int64_t unixSeconds);
// An attribute whose value is an OCTET STRING of the bytes.
MessageAttribute octetStringAttribute(std::string oid, std::span<const unsigned char> bytes);
// An attribute whose value is an INTEGER; empty when it cannot be encoded.
std::optional<MessageAttribute> integerAttribute(std::string oid, std::int64_t value);

struct SignParameters {
  DigestAlgorithm digest = DigestAlgorithm::Sha1;
  bool detached = false;
  // With a signing time among them; content type and message digest are added as required.
  std::vector<MessageAttribute> signedAttributes;
  std::vector<MessageAttribute> unsignedAttributes;
};

// Lends a message the caller's content instead of a copy (a 256 MiB document is not copied to
// be encoded), and takes it back before the message is freed.
//
// This is safe because: ASN1_STRING_set0 only stores the pointer and length; encoding reads the
// bytes and never writes or frees them; and the destructor clears the string's fields directly
// (ASN1_STRING_set0 would free the old data) before the message is freed, so OpenSSL never frees
// memory it did not allocate. The content must outlive the message, which the owner of both
// (MessageEncoding, destroying this member before the message) ensures.
class BorrowedContent {
 public:
  BorrowedContent() = default;
  BorrowedContent(BorrowedContent&& other) noexcept : slot_(std::exchange(other.slot_, nullptr)) {}
  BorrowedContent& operator=(BorrowedContent&&) = delete;
  BorrowedContent(const BorrowedContent&) = delete;
  BorrowedContent& operator=(const BorrowedContent&) = delete;
  ~BorrowedContent();

  // Replaces the message's content with the caller's bytes; false when it cannot.
  bool lend(CMS_ContentInfo* cms, std::span<const unsigned char> content);

 private:
  ASN1_OCTET_STRING* slot_ = nullptr;
};

// A signed message ready to be encoded. An attached message refers to the caller's content
// instead of holding a copy of it, so the content must outlive this object.
class MessageEncoding {
 public:
  MessageEncoding(CmsPtr cms, BorrowedContent content) noexcept
      : cms_(std::move(cms)), content_(std::move(content)) {}
  MessageEncoding(MessageEncoding&&) noexcept = default;
  MessageEncoding& operator=(MessageEncoding&&) = delete;
  MessageEncoding(const MessageEncoding&) = delete;
  MessageEncoding& operator=(const MessageEncoding&) = delete;
  ~MessageEncoding() = default;

  // Length of the DER encoding; 0 when it cannot be encoded.
  std::size_t size() const;
  // Writes exactly size() bytes of DER.
  bool writeTo(unsigned char* out) const;
  std::optional<Bytes> toBytes() const;

 private:
  CmsPtr cms_;
  BorrowedContent content_;  // declared after cms_: returned before the message is freed
};

// Empty when OpenSSL cannot make the message, or the content cannot be read (which the source
// then reports). The content is hashed as it is read; an attached message needs it in memory.
std::optional<MessageEncoding> signMessage(const os::ContentSource& content,
                                           const Certificate& signer, const PrivateKey& key,
                                           const SignParameters& parameters);
std::optional<MessageEncoding> signMessage(std::span<const unsigned char> content,
                                           const Certificate& signer, const PrivateKey& key,
                                           const SignParameters& parameters);

// An attribute as found in a message: its type and the DER of each value.
struct FoundAttribute {
  std::string oid;
  std::vector<Bytes> values;
};

class SignedMessage {
 public:
  // Empty when the bytes are not one complete CMS/PKCS#7 structure.
  static std::optional<SignedMessage> decode(std::span<const unsigned char> der);

  bool isSignedData() const;
  // The embedded content; empty for a detached signature (or no content at all).
  std::optional<std::span<const unsigned char>> content() const;
  int signerCount() const;
  std::vector<Certificate> certificates() const;
  // The embedded certificate that matches the signer's identifier.
  std::optional<Certificate> signerCertificate(int index) const;
  // The signer's digest algorithm as a dotted OID.
  std::string digestAlgorithm(int index) const;
  std::vector<FoundAttribute> signedAttributes(int index) const;
  std::vector<FoundAttribute> unsignedAttributes(int index) const;
  Bytes signatureValue(int index) const;

  // Verifies the signer's signature with the certificate's key over the embedded content, or
  // over `detachedContent` when given: the signed attributes, then the content's digest.
  // The content is hashed as it is read.
  bool verifySigner(int index, const Certificate& certificate,
                    const os::ContentSource* detachedContent) const;
  bool verifySigner(int index, const Certificate& certificate,
                    std::optional<std::span<const unsigned char>> detachedContent) const;

 private:
  explicit SignedMessage(CmsPtr cms) : cms_(std::move(cms)) {}
  CMS_SignerInfo* signerInfo(int index) const;
  CmsPtr cms_;
};

}  // namespace marqen::crypto
