#include "tests/support/pki_builder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/bn.h>
#include <openssl/conf.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <array>
#include <cctype>
#include <ctime>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string_view>

namespace marqen::test {
namespace {

using crypto::UniquePtr;
using Asn1ObjectPtr = UniquePtr<ASN1_OBJECT>;
using Asn1StringPtr = UniquePtr<ASN1_STRING>;
using NameEntryPtr = UniquePtr<X509_NAME_ENTRY>;
using ConfPtr = UniquePtr<CONF>;
using RevokedPtr = UniquePtr<X509_REVOKED>;
using SafeBagsPtr = UniquePtr<STACK_OF(PKCS12_SAFEBAG)>;
using SafesPtr = UniquePtr<STACK_OF(PKCS7)>;

constexpr std::int64_t kDay = 24 * 60 * 60;
constexpr int kPfxIterations = PKCS12_DEFAULT_ITER;

// Throws with everything OpenSSL has queued, so a failing test shows the real cause.
[[noreturn]] void fail(const std::string& what) {
  std::string text;
  while (const unsigned long code = ERR_get_error()) {
    std::array<char, 256> buffer{};
    ERR_error_string_n(code, buffer.data(), buffer.size());
    text += text.empty() ? "" : "; ";
    text += buffer.data();
  }
  throw std::runtime_error("PKI builder: " + what + (text.empty() ? "" : ": " + text));
}

void require(bool ok, const std::string& what) {
  if (!ok) fail(what);
}

template <typename T>
Bytes toDer(const T* object, int (*i2d)(const T*, unsigned char**), const char* what) {
  const int length = i2d(object, nullptr);
  require(length > 0, what);
  Bytes out(static_cast<std::size_t>(length));
  unsigned char* p = out.data();
  require(i2d(object, &p) == length, what);
  return out;
}

crypto::BioPtr memoryBio() {
  crypto::BioPtr bio(BIO_new(BIO_s_mem()));
  require(bio != nullptr, "BIO_new");
  return bio;
}

std::string readAll(BIO* bio) {
  std::string text(BIO_ctrl_pending(bio), '\0');
  if (!text.empty())
    require(
        BIO_read(bio, text.data(), static_cast<int>(text.size())) == static_cast<int>(text.size()),
        "BIO_read");
  return text;
}

std::int64_t now() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

crypto::Asn1TimePtr makeTime(std::int64_t seconds) {
  crypto::Asn1TimePtr time(ASN1_TIME_set(nullptr, static_cast<time_t>(seconds)));
  require(time != nullptr, "time " + std::to_string(seconds));
  return time;
}

// An empty magnitude gives a random positive serial of exactly 16 bytes.
crypto::Asn1IntegerPtr makeSerial(const Bytes& magnitude) {
  Bytes bytes = magnitude;
  if (bytes.empty()) {
    bytes.resize(16);
    require(RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) == 1, "RAND_bytes");
    bytes[0] = static_cast<unsigned char>((bytes[0] & 0x7F) | 0x40);
  }
  crypto::BignumPtr number(BN_bin2bn(bytes.data(), static_cast<int>(bytes.size()), nullptr));
  require(number != nullptr, "BN_bin2bn");
  crypto::Asn1IntegerPtr serial(BN_to_ASN1_INTEGER(number.get(), nullptr));
  require(serial != nullptr, "BN_to_ASN1_INTEGER");
  return serial;
}

crypto::EvpPkeyPtr generateRsaKey() {
  crypto::EvpPkeyPtr key(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", std::size_t{2048}));
  require(key != nullptr, "RSA key generation");
  return key;
}

// A configuration value with every ASCII punctuation and space escaped, so it stands literally.
std::string confEscape(const std::string& value) {
  std::string out;
  for (const char c : value) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x80 && !std::isalnum(u)) out += '\\';
    out += c;
  }
  return out;
}

// Rewrites "dirName:/C=IN/O=Acme" items to "dirName:<section>" and adds that section to the
// configuration text OpenSSL reads directory names from.
std::string crlDistributionPointsValue(const std::vector<std::string>& items,
                                       std::string& confText) {
  static constexpr std::string_view kDirName = "dirName:";
  std::string value;
  int section = 0;
  for (const auto& item : items) {
    std::string rewritten = item;
    if (item.starts_with(kDirName)) {
      const std::string name = "crldp_dirname_" + std::to_string(section++);
      confText += "[" + name + "]\n";
      const std::string attributes = item.substr(kDirName.size());
      int index = 0;
      for (std::size_t start = 0; start < attributes.size();) {
        const std::size_t slash = attributes.find('/', start + 1);
        const std::string attribute = attributes.substr(
            start + 1, slash == std::string::npos ? std::string::npos : slash - start - 1);
        const std::size_t equals = attribute.find('=');
        if (attributes[start] != '/' || equals == std::string::npos)
          throw std::runtime_error("PKI builder: bad directory name " + item);
        // The numeric prefix keeps repeated attributes apart; OpenSSL drops it.
        confText += std::to_string(index++) + "." + attribute.substr(0, equals) + " = " +
                    confEscape(attribute.substr(equals + 1)) + "\n";
        start = slash == std::string::npos ? attributes.size() : slash;
      }
      rewritten = "dirName:" + name;
    }
    value += (value.empty() ? "" : ",") + rewritten;
  }
  return value;
}

ConfPtr loadConf(const std::string& text) {
  if (text.empty()) return nullptr;
  ConfPtr conf(NCONF_new(nullptr));
  require(conf != nullptr, "NCONF_new");
  crypto::BioPtr bio(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
  require(bio != nullptr, "BIO_new_mem_buf");
  long errorLine = 0;
  require(NCONF_load_bio(conf.get(), bio.get(), &errorLine) == 1,
          "extension sections, line " + std::to_string(errorLine));
  return conf;
}

crypto::X509ExtensionPtr makeExtension(X509V3_CTX& ctx, CONF* conf, const std::string& name,
                                       const std::string& value) {
  // Known extensions go by NID; an unknown dotted OID only works with a DER:/ASN1: value.
  const int nid = OBJ_txt2nid(name.c_str());
  crypto::X509ExtensionPtr extension(
      nid != NID_undef ? X509V3_EXT_nconf_nid(conf, &ctx, nid, value.c_str())
                       : X509V3_EXT_nconf(conf, &ctx, name.c_str(), value.c_str()));
  require(extension != nullptr, "extension " + name + " = " + value);
  return extension;
}

CertificateOptions caOptions(const std::string& commonName, const Issued* issuer) {
  CertificateOptions options;
  options.subject = makeName({"O=Marqen Test", "CN=" + commonName});
  options.issuer = issuer;
  options.basicConstraints = "critical,CA:TRUE";
  options.keyUsage = "critical,keyCertSign,cRLSign,digitalSignature";
  return options;
}

// Explicitly loading "legacy" stops the implicit load of "default", so both are loaded. They are
// unloaded again at exit, before OpenSSL's own clean-up, or the legacy provider's state leaks.
class Providers {
 public:
  Providers() {
    legacy_ = OSSL_PROVIDER_load(nullptr, "legacy");
    default_ = OSSL_PROVIDER_load(nullptr, "default");
    if (!legacy_ || !default_) {
      unload();
      fail("loading the legacy and default providers");
    }
  }
  ~Providers() { unload(); }
  Providers(const Providers&) = delete;
  Providers& operator=(const Providers&) = delete;

 private:
  void unload() noexcept {
    if (legacy_) OSSL_PROVIDER_unload(legacy_);
    if (default_) OSSL_PROVIDER_unload(default_);
  }
  OSSL_PROVIDER* legacy_ = nullptr;
  OSSL_PROVIDER* default_ = nullptr;
};

void loadProviders() {
  static const Providers providers;
}

}  // namespace

crypto::X509NamePtr makeName(const std::vector<NameEntry>& entries) {
  crypto::X509NamePtr name(X509_NAME_new());
  require(name != nullptr, "X509_NAME_new");
  for (const auto& entry : entries) {
    Asn1ObjectPtr object(OBJ_txt2obj(entry.field.c_str(), 0));
    require(object != nullptr, "name attribute " + entry.field);
    const auto* bytes = reinterpret_cast<const unsigned char*>(entry.value.data());
    int length = static_cast<int>(entry.value.size());
    int type = entry.type;
    Asn1StringPtr converted;
    if ((type & MBSTRING_FLAG) != 0) {
      // The attribute's usual string types, as X509_NAME_add_entry_by_txt picks them, but
      // without its length limits.
      const unsigned long defaultMask = ASN1_STRING_get_default_mask();
      unsigned long mask = DIRSTRING_TYPE & defaultMask;
      if (const ASN1_STRING_TABLE* table = ASN1_STRING_TABLE_get(OBJ_obj2nid(object.get()))) {
        mask = table->mask;
        if ((table->flags & STABLE_NO_MASK) == 0) mask &= defaultMask;
      }
      ASN1_STRING* out = nullptr;
      require(ASN1_mbstring_ncopy(&out, bytes, length, type, mask, 0, 0) > 0,
              "name value " + entry.field + "=" + entry.value);
      converted.reset(out);
      bytes = ASN1_STRING_get0_data(out);
      length = ASN1_STRING_length(out);
      type = ASN1_STRING_type(out);
    }
    NameEntryPtr nameEntry(
        X509_NAME_ENTRY_create_by_OBJ(nullptr, object.get(), type, bytes, length));
    require(nameEntry != nullptr, "name entry " + entry.field);
    const bool join = entry.sameRdnAsPrevious && X509_NAME_entry_count(name.get()) > 0;
    require(X509_NAME_add_entry(name.get(), nameEntry.get(), -1, join ? -1 : 0) == 1,
            "X509_NAME_add_entry");
  }
  return name;
}

crypto::X509NamePtr makeName(std::initializer_list<NameEntry> entries) {
  return makeName(std::vector<NameEntry>(entries));
}

crypto::X509NamePtr makeName(std::initializer_list<std::string> fieldEqualsValue) {
  std::vector<NameEntry> entries;
  for (const auto& item : fieldEqualsValue) {
    const std::size_t equals = item.find('=');
    if (equals == std::string::npos)
      throw std::runtime_error("PKI builder: name item without '=': " + item);
    entries.push_back({item.substr(0, equals), item.substr(equals + 1)});
  }
  return makeName(entries);
}

crypto::EvpPkeyPtr rsaKey(bool fresh) {
  if (fresh) return generateRsaKey();
  static std::mutex mutex;
  static std::array<crypto::EvpPkeyPtr, 4> pool;
  static std::size_t next = 0;
  const std::lock_guard lock(mutex);
  auto& slot = pool[next];
  next = (next + 1) % pool.size();
  if (!slot) slot = generateRsaKey();
  auto reference = crypto::upRef(slot.get());
  require(reference != nullptr, "EVP_PKEY_up_ref");
  return reference;
}

Bytes Issued::der() const {
  require(certificate != nullptr, "no certificate");
  return toDer(certificate.get(), i2d_X509, "i2d_X509");
}

std::string Issued::pem() const {
  require(certificate != nullptr, "no certificate");
  const auto bio = memoryBio();
  require(PEM_write_bio_X509(bio.get(), certificate.get()) == 1, "PEM_write_bio_X509");
  return readAll(bio.get());
}

std::string Issued::keyPem() const {
  require(key != nullptr, "no key");
  const auto bio = memoryBio();
  require(PEM_write_bio_PKCS8PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr,
                                        nullptr) == 1,
          "PEM_write_bio_PKCS8PrivateKey");
  return readAll(bio.get());
}

Issued issueCertificate(CertificateOptions options) {
  require(options.subject != nullptr, "a certificate needs a subject");
  const bool selfSigned = options.issuer == nullptr;
  if (!selfSigned)
    require(options.issuer->certificate && options.issuer->key, "issuer without certificate/key");
  crypto::EvpPkeyPtr key = options.key ? std::move(options.key) : rsaKey();
  X509* issuerCert = selfSigned ? nullptr : options.issuer->certificate.get();
  EVP_PKEY* signingKey = selfSigned ? key.get() : options.issuer->key.get();

  crypto::X509Ptr cert(X509_new());
  require(cert != nullptr, "X509_new");
  require(X509_set_version(cert.get(), X509_VERSION_3) == 1, "X509_set_version");
  require(X509_set_serialNumber(cert.get(), makeSerial(options.serial).get()) == 1,
          "X509_set_serialNumber");
  // Default validity hangs off one instant per process, so that a chain made over several
  // seconds still nests: an issuer is never outlived by what it issues.
  static const std::int64_t base = now();
  const std::int64_t notBefore = options.notBefore != 0 ? options.notBefore : base - kDay;
  const std::int64_t notAfter = options.notAfter != 0 ? options.notAfter : base + 365 * kDay;
  require(X509_set1_notBefore(cert.get(), makeTime(notBefore).get()) == 1, "notBefore");
  require(X509_set1_notAfter(cert.get(), makeTime(notAfter).get()) == 1, "notAfter");
  require(X509_set_subject_name(cert.get(), options.subject.get()) == 1, "subject");
  require(X509_set_issuer_name(cert.get(), selfSigned ? options.subject.get()
                                                      : X509_get_subject_name(issuerCert)) == 1,
          "issuer");
  require(X509_set_pubkey(cert.get(), key.get()) == 1, "X509_set_pubkey");

  std::string confText;
  const std::string crlDp = crlDistributionPointsValue(options.crlDistributionPoints, confText);
  const ConfPtr conf = loadConf(confText);
  X509V3_CTX ctx;
  X509V3_set_ctx(&ctx, selfSigned ? cert.get() : issuerCert, cert.get(), nullptr, nullptr, 0);
  if (conf) X509V3_set_nconf(&ctx, conf.get());
  // Lets OpenSSL compute a self-signed certificate's key identifier even without an SKI.
  if (selfSigned) require(X509V3_set_issuer_pkey(&ctx, key.get()) == 1, "issuer key");

  const auto add = [&](const std::string& name, const std::string& value) {
    const auto extension = makeExtension(ctx, conf.get(), name, value);
    require(X509_add_ext(cert.get(), extension.get(), -1) == 1, "X509_add_ext " + name);
  };
  if (options.basicConstraints) add("basicConstraints", *options.basicConstraints);
  if (options.keyUsage) add("keyUsage", *options.keyUsage);
  // The SKI goes first: the self-signed AKI is read from it.
  if (options.subjectKeyIdentifier) add("subjectKeyIdentifier", "hash");
  if (options.authorityKeyIdentifier) {
    const bool issuerHasKeyId = selfSigned || X509_get0_subject_key_id(issuerCert) != nullptr;
    add("authorityKeyIdentifier", issuerHasKeyId ? "keyid:always" : "issuer:always");
  }
  if (!crlDp.empty()) add("crlDistributionPoints", crlDp);
  if (!options.authorityInfoAccess.empty()) {
    std::string aia;
    for (const auto& item : options.authorityInfoAccess)
      aia += (aia.empty() ? "" : ",") + item;
    add("authorityInfoAccess", aia);
  }
  for (const auto& [name, value] : options.extraExtensions)
    add(name, value);

  const EVP_MD* digest = options.digest ? options.digest : EVP_sha256();
  require(X509_sign(cert.get(), signingKey, digest) > 0, "X509_sign");
  return Issued{std::move(cert), std::move(key)};
}

Issued makeRootCa(const std::string& commonName) {
  return issueCertificate(caOptions(commonName, nullptr));
}

Issued makeIntermediateCa(const std::string& commonName, const Issued& issuer) {
  return issueCertificate(caOptions(commonName, &issuer));
}

Issued makeEndEntity(const std::string& commonName, const Issued& issuer,
                     std::optional<std::string> keyUsage) {
  CertificateOptions options;
  options.subject = makeName({"O=Marqen Test", "CN=" + commonName});
  options.issuer = &issuer;
  options.keyUsage = std::move(keyUsage);
  return issueCertificate(std::move(options));
}

Bytes makeCrl(const Issued& issuer, const CrlOptions& options) {
  require(issuer.certificate && issuer.key, "CRL issuer without certificate/key");
  crypto::X509CrlPtr crl(X509_CRL_new());
  require(crl != nullptr, "X509_CRL_new");
  require(X509_CRL_set_version(crl.get(), X509_CRL_VERSION_2) == 1, "X509_CRL_set_version");
  require(X509_CRL_set_issuer_name(crl.get(), X509_get_subject_name(issuer.certificate.get())) == 1,
          "X509_CRL_set_issuer_name");
  const auto thisUpdate = makeTime(options.thisUpdate != 0 ? options.thisUpdate : now() - 3600);
  require(X509_CRL_set1_lastUpdate(crl.get(), thisUpdate.get()) == 1, "thisUpdate");
  if (options.nextUpdate >= 0) {
    const auto nextUpdate =
        makeTime(options.nextUpdate != 0 ? options.nextUpdate : now() + 7 * kDay);
    require(X509_CRL_set1_nextUpdate(crl.get(), nextUpdate.get()) == 1, "nextUpdate");
  }
  for (const auto& serial : options.revokedSerials) {
    RevokedPtr revoked(X509_REVOKED_new());
    require(revoked != nullptr, "X509_REVOKED_new");
    require(X509_REVOKED_set_serialNumber(revoked.get(), makeSerial(serial).get()) == 1,
            "revoked serial");
    require(X509_REVOKED_set_revocationDate(revoked.get(), thisUpdate.get()) == 1,
            "revocation date");
    require(X509_CRL_add0_revoked(crl.get(), revoked.get()) == 1, "X509_CRL_add0_revoked");
    static_cast<void>(revoked.release());  // now owned by the CRL
  }

  X509V3_CTX ctx;
  X509V3_set_ctx(&ctx, issuer.certificate.get(), nullptr, nullptr, crl.get(), 0);
  const bool issuerHasKeyId = X509_get0_subject_key_id(issuer.certificate.get()) != nullptr;
  const auto aki = makeExtension(ctx, nullptr, "authorityKeyIdentifier",
                                 issuerHasKeyId ? "keyid:always" : "issuer:always");
  require(X509_CRL_add_ext(crl.get(), aki.get(), -1) == 1, "X509_CRL_add_ext");
  crypto::Asn1IntegerPtr number(ASN1_INTEGER_new());
  require(number && ASN1_INTEGER_set(number.get(), 1) == 1, "CRL number");
  require(X509_CRL_add1_ext_i2d(crl.get(), NID_crl_number, number.get(), 0, 0) == 1, "CRL number");

  const EVP_MD* digest = options.digest ? options.digest : EVP_sha256();
  require(X509_CRL_sign(crl.get(), issuer.key.get(), digest) > 0, "X509_CRL_sign");
  return toDer(crl.get(), i2d_X509_CRL, "i2d_X509_CRL");
}

std::string crlPem(const Bytes& der) {
  const unsigned char* p = der.data();
  crypto::X509CrlPtr crl(d2i_X509_CRL(nullptr, &p, static_cast<long>(der.size())));
  require(crl != nullptr, "d2i_X509_CRL");
  const auto bio = memoryBio();
  require(PEM_write_bio_X509_CRL(bio.get(), crl.get()) == 1, "PEM_write_bio_X509_CRL");
  return readAll(bio.get());
}

Bytes makePfx(const PfxOptions& options) {
  const Issued* holder = options.holder;
  require(holder != nullptr && holder->certificate != nullptr, "a PFX needs a certificate");
  require(!options.includeKey || holder->key != nullptr, "a PFX with a key needs the key");
  loadProviders();
  const bool legacy = options.protection == PfxProtection::Legacy;
  const int certNid = legacy ? NID_pbe_WithSHA1And40BitRC2_CBC : NID_aes_256_cbc;
  const int keyNid = legacy ? NID_pbe_WithSHA1And3_Key_TripleDES_CBC : NID_aes_256_cbc;
  const EVP_MD* macDigest = legacy ? EVP_sha1() : EVP_sha256();
  const char* pass = options.password ? options.password->c_str() : nullptr;

  // The certificate and its key are tied by a local key ID, as PKCS12_create ties them.
  std::array<unsigned char, EVP_MAX_MD_SIZE> keyId{};
  unsigned int keyIdLength = 0;
  require(X509_digest(holder->certificate.get(), EVP_sha1(), keyId.data(), &keyIdLength) == 1,
          "X509_digest");
  const auto tieToKey = [&](PKCS12_SAFEBAG* bag) {
    require(PKCS12_add_localkeyid(bag, keyId.data(), static_cast<int>(keyIdLength)) == 1,
            "PKCS12_add_localkeyid");
  };

  // The bags go into the file in the order they are added here.
  SafeBagsPtr certBags(sk_PKCS12_SAFEBAG_new_null());
  require(certBags != nullptr, "sk_PKCS12_SAFEBAG_new_null");
  STACK_OF(PKCS12_SAFEBAG)* certBagsRaw = certBags.get();
  const auto addHolder = [&] {
    PKCS12_SAFEBAG* bag = PKCS12_add_cert(&certBagsRaw, holder->certificate.get());
    require(bag != nullptr, "PKCS12_add_cert");
    if (options.includeKey) tieToKey(bag);
  };
  const auto addCas = [&] {
    for (const Issued* ca : options.caCerts) {
      require(ca != nullptr && ca->certificate != nullptr, "a PFX CA entry without certificate");
      require(PKCS12_add_cert(&certBagsRaw, ca->certificate.get()) != nullptr, "PKCS12_add_cert");
    }
  };
  if (options.caFirst) {
    addCas();
    addHolder();
  } else {
    addHolder();
    addCas();
  }

  SafesPtr safes(sk_PKCS7_new_null());
  require(safes != nullptr, "sk_PKCS7_new_null");
  STACK_OF(PKCS7)* safesRaw = safes.get();
  require(PKCS12_add_safe(&safesRaw, certBagsRaw, certNid, kPfxIterations, pass) == 1,
          "PKCS12_add_safe (certificates)");
  if (options.includeKey) {
    SafeBagsPtr keyBags(sk_PKCS12_SAFEBAG_new_null());
    require(keyBags != nullptr, "sk_PKCS12_SAFEBAG_new_null");
    STACK_OF(PKCS12_SAFEBAG)* keyBagsRaw = keyBags.get();
    PKCS12_SAFEBAG* bag =
        PKCS12_add_key(&keyBagsRaw, holder->key.get(), 0, kPfxIterations, keyNid, pass);
    require(bag != nullptr, "PKCS12_add_key");
    tieToKey(bag);
    // The key bag is shrouded already; its safe stays plain data.
    require(PKCS12_add_safe(&safesRaw, keyBagsRaw, -1, 0, nullptr) == 1, "PKCS12_add_safe (key)");
  }
  crypto::Pkcs12Ptr pfx(PKCS12_add_safes(safesRaw, 0));
  require(pfx != nullptr, "PKCS12_add_safes");
  require(PKCS12_set_mac(pfx.get(), pass, -1, nullptr, 0, kPfxIterations, macDigest) == 1,
          "PKCS12_set_mac");
  return toDer(pfx.get(), i2d_PKCS12, "i2d_PKCS12");
}

std::filesystem::path addToStore(const std::filesystem::path& root, const std::string& store,
                                 const std::string& fileName, const Issued& issued, bool withKey) {
  const auto folder = root / store;
  std::filesystem::create_directories(folder);
  const auto certPath = folder / (fileName + ".cer");
  writeBytes(certPath, issued.der());
  if (withKey) {
    const std::string pem = issued.keyPem();
    const auto keyPath = folder / (fileName + ".key");
    // Created 0600 and forced to it, so the key is never readable by others, even briefly.
    const int fd = ::open(keyPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) throw std::runtime_error("PKI builder: cannot create " + keyPath.string());
    bool ok = ::fchmod(fd, 0600) == 0 &&
              ::write(fd, pem.data(), pem.size()) == static_cast<ssize_t>(pem.size());
    ok = ::close(fd) == 0 && ok;
    if (!ok) throw std::runtime_error("PKI builder: cannot write " + keyPath.string());
  }
  return certPath;
}

void writeBytes(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("PKI builder: cannot write " + path.string());
}

Bytes serialOf(const Issued& issued) {
  const crypto::BignumPtr number(
      ASN1_INTEGER_to_BN(X509_get0_serialNumber(issued.certificate.get()), nullptr));
  if (!number) throw std::runtime_error("serial number cannot be read");
  Bytes magnitude(static_cast<std::size_t>(BN_num_bytes(number.get())));
  BN_bn2bin(number.get(), magnitude.data());
  return magnitude;
}

crypto::Certificate certificateOf(const Issued& issued) {
  return crypto::Certificate(crypto::X509Ptr(X509_dup(issued.certificate.get())));
}

}  // namespace marqen::test
