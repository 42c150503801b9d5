// Names as DER, rendered as the text the library gives callers for issuers and subjects. The
// rendering may refuse a value it cannot encode (std::runtime_error), never anything worse, and
// it is empty exactly when the name has no attribute.

#include <openssl/x509.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/crypto/name_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > LONG_MAX) return 0;
  const unsigned char* p = data;
  const std::unique_ptr<X509_NAME, decltype(&X509_NAME_free)> name(
      d2i_X509_NAME(nullptr, &p, static_cast<long>(size)), X509_NAME_free);
  if (!name) return 0;
  try {
    const std::string text = marqen::crypto::nameToText(name.get());
    marqen::fuzz::require(text.empty() == (X509_NAME_entry_count(name.get()) == 0),
                          "name text empty for a name with attributes, or the reverse");
  } catch (const std::runtime_error&) {
    // A value that cannot be shown; the library reports it as a failed lookup.
  }
  return 0;
}
