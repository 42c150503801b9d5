#include "library/api/signer_details.h"

#include <memory>
#include <vector>

#include "library/api/heap_buffer.h"

namespace marqen {
namespace {

struct SignerDetailsDeleter {
  void operator()(SignerDetails* details) const noexcept { freeSignerDetails(details); }
};
using OwnedSignerDetails = std::unique_ptr<SignerDetails, SignerDetailsDeleter>;

void freeAttribute(SignedAttribute* attribute) noexcept {
  if (!attribute) return;
  std::free(attribute->value);
  std::free(attribute->oid);
  std::free(attribute);
}

HeapPtr<SignedAttribute> attributeFor(const ParsedAttribute& parsed) {
  auto value = heapCopy(std::span<const unsigned char>(parsed.value));
  auto oid = heapCopy(std::string_view(parsed.oid));
  auto attribute = heapRecords<SignedAttribute>(1);
  attribute->value = value.release();
  attribute->valueLength = static_cast<int32_t>(parsed.value.size());
  attribute->oid = oid.release();
  attribute->authenticationType = parsed.authenticationType;
  attribute->dataType = parsed.dataType;
  return attribute;
}

// Base64 text and its length in characters; nothing when absent.
void setBase64(const std::optional<std::string>& text, char*& field, int32_t& length) {
  if (!text) return;
  field = heapCopy(std::string_view(*text)).release();
  length = static_cast<int32_t>(text->size());
}

OwnedSignerDetails detailsFor(const ParsedSigner& parsed) {
  // Each field is hung as soon as it exists, so the deleter frees whatever a failure leaves.
  OwnedSignerDetails details(heapRecords<SignerDetails>(1).release());
  SignerDetails& d = *details;
  setBase64(parsed.issuerCertificate, d.issuerCertificate, d.issuerCertificateLength);
  if (parsed.authorityInfoAccessUrl)
    d.authorityInfoAccessUrl =
        heapCopy(std::u16string_view(*parsed.authorityInfoAccessUrl)).release();
  setBase64(parsed.signerCertificate, d.signerCertificate, d.signerCertificateLength);
  d.subjectDN = heapCopy(std::u16string_view(parsed.subjectDN)).release();
  d.issuerDN = heapCopy(std::u16string_view(parsed.issuerDN)).release();
  d.serialNumber = heapCopy(std::string_view(parsed.serialNumber)).release();
  d.validTo = parsed.validTo;
  d.attributes = heapPointers<SignedAttribute>(parsed.attributeRoom + 1).release();
  for (const auto& attribute : parsed.attributes)
    d.attributes[d.attributeCount++] = attributeFor(attribute).release();
  return details;
}

}  // namespace

void freeSignerDetails(SignerDetails* details) noexcept {
  if (!details) return;
  std::free(details->issuerCertificate);
  std::free(details->authorityInfoAccessUrl);
  std::free(details->signerCertificate);
  std::free(details->subjectDN);
  std::free(details->issuerDN);
  std::free(details->serialNumber);
  if (details->attributes) {
    for (int32_t i = 0; i < details->attributeCount; ++i)
      freeAttribute(details->attributes[i]);
    std::free(static_cast<void*>(details->attributes));
  }
  std::free(details);
}

void deliverSignedDataInfo(const ParsedSignedData& parsed, SignedDataInfo& info) {
  std::vector<OwnedSignerDetails> entries;
  entries.reserve(parsed.signers.size());
  for (const auto& signer : parsed.signers)
    entries.push_back(signer ? detailsFor(*signer) : OwnedSignerDetails());
  auto array = heapPointers<SignerDetails>(entries.size() + 1);
  for (std::size_t i = 0; i < entries.size(); ++i)
    array.get()[i] = entries[i].release();
  info.signers = array.release();
  info.signerCount = static_cast<int32_t>(parsed.signers.size());
}

}  // namespace marqen
