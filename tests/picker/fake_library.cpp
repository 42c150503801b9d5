// Stands in for the signature library in the picker's tests: a listing of three certificates
// (FAKE_LISTING_COUNT takes fewer) and a viewer that writes what it was asked to show to the
// file named by FAKE_VIEW_LOG.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "library/include/Marqen_InterfaceV2.h"

namespace {

struct Entry {
  const char16_t* issuer;
  const char* serial;
  std::int32_t expiry;
  const char16_t* subject;
};

constexpr Entry kEntries[] = {
    {u"CN=Marqen Test CA, O=Marqen Tests, C=IN", "0A1B", 1230768000,
     u"CN=Test Signer, O=Marqen Tests, C=IN"},
    {u"O=Unnamed Authority, C=IN", "FF00", 1236262029, u"C=IN, O=Acme, CN=Last Signer"},
    {u"CN=Marqen Test CA, O=Marqen Tests, C=IN", "01", 1893456000, u"CN=Third Signer"},
};

template <typename Char>
Char* copy(const Char* text) {
  std::size_t length = 0;
  while (text[length])
    ++length;
  auto* out = static_cast<Char*>(std::calloc(length + 1, sizeof(Char)));
  std::memcpy(out, text, length * sizeof(Char));
  return out;
}

}  // namespace

extern "C" {

ErrorCode listAllCertificatesFromStore(int32_t certificateType, int32_t storeType,
                                       CertificateSummary*** list, int32_t* count) {
  if (certificateType != SIGNING_CERTIFICATE || storeType != STORE_PERSONAL) return 117;
  std::int32_t n = 3;
  if (const char* limit = std::getenv("FAKE_LISTING_COUNT")) n = std::atoi(limit);
  auto** entries = static_cast<CertificateSummary**>(
      std::calloc(static_cast<std::size_t>(n) + 1, sizeof(CertificateSummary*)));
  for (std::int32_t i = 0; i < n; ++i) {
    const Entry& e = kEntries[i];
    auto* summary = static_cast<CertificateSummary*>(std::calloc(1, sizeof(CertificateSummary)));
    summary->issuerName = copy(e.issuer);
    summary->serialNumberHex = copy(e.serial);
    summary->expiryTime = e.expiry;
    summary->subjectName = copy(e.subject);
    entries[i] = summary;
  }
  *list = entries;
  *count = n;
  return 0;
}

ErrorCode viewCertificate(const char16_t* issuerDN, const char* serialNumber, int32_t storeType,
                          const char16_t* pfxFilePath, const char16_t* pfxPassword,
                          const char* certificateString, int32_t certificateStringLength,
                          int32_t certificateType) {
  const char* log = std::getenv("FAKE_VIEW_LOG");
  if (!log) return 0;
  std::string issuer;
  for (const char16_t* c = issuerDN; c && *c; ++c)
    issuer += static_cast<char>(*c);
  std::ofstream(log, std::ios::app)
      << issuer << '|' << (serialNumber ? serialNumber : "(null)") << '|' << storeType << '|'
      << (pfxFilePath ? "path" : "no path") << '|' << (pfxPassword ? "password" : "no password")
      << '|' << (certificateString ? "string" : "no string") << '|' << certificateStringLength
      << '|' << certificateType << '\n';
  return 0;
}
}
