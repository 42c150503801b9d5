#pragma once
// Test-support PKI: keys, certificates, CRLs and PFX files made at run time with OpenSSL, and
// certificate stores laid out as the library reads them. Nothing here is used by the product.

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/crypto/certificate.h"
#include "platform/crypto/openssl_ptr.h"

namespace marqen::test {

using Bytes = std::vector<unsigned char>;

// One attribute of a name. `sameRdnAsPrevious` joins it to the previous attribute's relative
// name (a multi-valued RDN). `field` is a short name ("CN", "O", "emailAddress", "DC") or a
// dotted OID; `type` is an OpenSSL string type (MBSTRING_UTF8, V_ASN1_PRINTABLESTRING,
// V_ASN1_IA5STRING, ...); an MBSTRING_ type picks the attribute's usual string type (UTF8String,
// PrintableString for C, IA5String for emailAddress and DC). Lengths are not limited, so empty
// and overlong values can be made.
struct NameEntry {
  std::string field;
  std::string value;
  int type = MBSTRING_UTF8;
  bool sameRdnAsPrevious = false;
};

// A name built entry by entry, in encoded order (the first entry is the outermost, e.g. C).
crypto::X509NamePtr makeName(const std::vector<NameEntry>& entries);
crypto::X509NamePtr makeName(std::initializer_list<NameEntry> entries);
// Shorthand: {"C=IN", "O=Acme", "CN=Alice"} in encoded order, UTF-8 values, one RDN each.
// (The overload above makes {{"CN", "Alice"}} ambiguous rather than a string built from two
// unrelated pointers: write {NameEntry{"CN", "Alice"}, ...} instead.)
crypto::X509NamePtr makeName(std::initializer_list<std::string> fieldEqualsValue);

// An RSA key. Keys are 2048 bits and drawn from a small per-process pool (key generation is
// slow under the sanitizers); `fresh` forces a new one.
crypto::EvpPkeyPtr rsaKey(bool fresh = false);

// A certificate together with its private key.
struct Issued {
  crypto::X509Ptr certificate;
  crypto::EvpPkeyPtr key;

  Bytes der() const;
  std::string pem() const;
  std::string keyPem() const;  // PKCS#8 PEM, unencrypted
};

struct CertificateOptions {
  crypto::X509NamePtr subject;     // required
  const Issued* issuer = nullptr;  // null: self-signed with the subject key
  crypto::EvpPkeyPtr key;          // subject key; null: rsaKey()
  Bytes serial;                    // magnitude, most significant first; empty: random
  std::int64_t notBefore = 0;      // Unix seconds; 0: now - 1 day
  std::int64_t notAfter = 0;       // Unix seconds; 0: now + 365 days
  // Extension values in OpenSSL's configuration syntax; nullopt leaves the extension out.
  std::optional<std::string> keyUsage = "critical,digitalSignature,keyEncipherment";
  std::optional<std::string> basicConstraints;  // e.g. "critical,CA:TRUE"
  // One distribution point per item: "URI:http://..." or "dirName:/C=IN/O=Acme/CN=CRL 1" (the
  // name's attributes in encoded order, each after a "/").
  std::vector<std::string> crlDistributionPoints;
  std::vector<std::string> authorityInfoAccess;  // e.g. "caIssuers;URI:http://..."
  // (name, value): a known extension by short or long name, or any OID (dotted too) with a
  // "DER:..." or "ASN1:..." value.
  std::vector<std::pair<std::string, std::string>> extraExtensions;
  bool subjectKeyIdentifier = true;  // "hash" of the subject key
  // The issuer's key identifier (a self-signed certificate's is computed from its key); for an
  // issuer certificate without one, the issuer's name and serial instead.
  bool authorityKeyIdentifier = true;
  const EVP_MD* digest = nullptr;  // null: SHA-256
};

Issued issueCertificate(CertificateOptions options);

// The certificate as the product's own type, sharing nothing with the Issued.
crypto::Certificate certificateOf(const Issued& issued);

// Common shapes. A CA gets basicConstraints CA:TRUE and keyCertSign/cRLSign usage.
Issued makeRootCa(const std::string& commonName);
Issued makeIntermediateCa(const std::string& commonName, const Issued& issuer);
Issued makeEndEntity(const std::string& commonName, const Issued& issuer,
                     std::optional<std::string> keyUsage = "critical,digitalSignature");

// A CRL signed by `issuer`, listing the given serials (magnitudes as in CertificateOptions).
struct CrlOptions {
  std::vector<Bytes> revokedSerials;
  std::int64_t thisUpdate = 0;  // 0: now - 1 hour
  std::int64_t nextUpdate = 0;  // 0: now + 7 days; negative: no nextUpdate field
  const EVP_MD* digest = nullptr;
};
Bytes makeCrl(const Issued& issuer, const CrlOptions& options = {});
// The serial magnitude of a certificate, as CrlOptions::revokedSerials takes it.
Bytes serialOf(const Issued& issued);
std::string crlPem(const Bytes& der);  // "-----BEGIN X509 CRL-----" form

enum class PfxProtection {
  Modern,  // AES-256-CBC with PBKDF2, SHA-256 MAC (OpenSSL 3 default)
  Legacy,  // RC2-40 for certificates, 3DES for the key, SHA-1 MAC (older Windows exports)
};

struct PfxOptions {
  const Issued* holder = nullptr;  // the certificate (and key, when includeKey)
  bool includeKey = true;
  std::vector<const Issued*> caCerts;   // further certificates, without keys
  bool caFirst = false;                 // put the CA certificates ahead of the holder's
  std::optional<std::string> password;  // nullopt: no password at all
  PfxProtection protection = PfxProtection::Modern;
};
Bytes makePfx(const PfxOptions& options);

// Store layout: <root>/<store>/<fileName>.cer (DER) and, when a key is given, <fileName>.key
// (PEM, mode 0600). Returns the certificate file's path.
std::filesystem::path addToStore(const std::filesystem::path& root, const std::string& store,
                                 const std::string& fileName, const Issued& issued,
                                 bool withKey = false);
void writeBytes(const std::filesystem::path& path, const Bytes& bytes);

}  // namespace marqen::test
