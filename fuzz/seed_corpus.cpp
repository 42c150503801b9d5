// Writes the fuzz targets' fixtures and seed corpus below the folder given as the argument:
// fixtures/ (a certificate store, the root and signer certificates, the signer's PFX) and
// corpus/<target>/ (a few inputs per target). Everything is made afresh with the test PKI
// builder, so no binary file lives in the repository.

#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Marqen_InterfaceV2.h"
#include "fuzz/fuzz_support.h"
#include "platform/os/text.h"
#include "tests/support/pki_builder.h"

namespace {

namespace fs = std::filesystem;
namespace test = marqen::test;
using marqen::fuzz::Bytes;
using test::NameEntry;

Bytes bytesOf(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

Bytes utf16Bytes(std::u16string_view text) {
  const auto* raw = reinterpret_cast<const unsigned char*>(text.data());
  return Bytes(raw, raw + text.size() * sizeof(char16_t));
}

class Corpus {
 public:
  explicit Corpus(fs::path folder) : folder_(std::move(folder)) {}
  void add(const std::string& target, const Bytes& bytes) {
    const fs::path dir = folder_ / target;
    fs::create_directories(dir);
    test::writeBytes(dir / ("seed-" + std::to_string(++count_)), bytes);
  }

 private:
  fs::path folder_;
  int count_ = 0;
};

std::string base64(const Bytes& der, std::size_t width, std::string_view lineEnd) {
  std::string text(4 * ((der.size() + 2) / 3) + 1, '\0');
  text.resize(static_cast<std::size_t>(EVP_EncodeBlock(
      reinterpret_cast<unsigned char*>(text.data()), der.data(), static_cast<int>(der.size()))));
  std::string wrapped;
  for (std::size_t at = 0; at < text.size(); at += width)
    wrapped += text.substr(at, width) + std::string(lineEnd);
  return wrapped;
}

Bytes nameDer(const X509_NAME* name) {
  const int length = i2d_X509_NAME(name, nullptr);
  if (length <= 0) throw std::runtime_error("i2d_X509_NAME");
  Bytes der(static_cast<std::size_t>(length));
  unsigned char* p = der.data();
  i2d_X509_NAME(name, &p);
  return der;
}

// Names that exercise the rendering and the matching: quoting, multi-valued relative names,
// keys outside the short list, string types other than UTF-8, empty and non-ASCII values.
std::vector<std::vector<NameEntry>> unusualNames() {
  return {
      {{"C", "IN"}, {"O", "Acme, Inc."}, {"CN", "Smith, John"}},
      {{"C", "IN"},
       {"O", "Org"},
       {"OU", "Unit"},
       {"CN", "Multi"},
       {"emailAddress", "multi@example.com", MBSTRING_UTF8, true}},
      {{"DC", "com"}, {"DC", "example"}, {"2.5.4.17", "560001"}, {"CN", "Postal"}},
      {{"O", "  spaced  "}, {"OU", "a=b;c"}, {"CN", "\"quoted\" + plus # hash"}},
      {{"C", "DE"},
       {"ST", "Bayern"},
       {"L", "M\xC3\xBCnchen"},
       {"street",
        "Hauptstra\xC3\x9F"
        "e 1"},
       {"title", "Dr"},
       {"GN", "Zo\xC3\xAB"},
       {"SN", "\xC3\x85ngstr\xC3\xB6m"},
       {"initials", "Z\xC3\x85"},
       {"CN", "Zo\xC3\xAB \xC3\x85ngstr\xC3\xB6m"}},
      {{"O", std::string("\0Z\0o\0\xEB", 6), V_ASN1_BMPSTRING},
       {"OU", std::string("\0\0\0U\0\0\0n", 8), V_ASN1_UNIVERSALSTRING},
       {"L", "Caf\xE9", V_ASN1_T61STRING},
       {"CN", ""}},
  };
}

void addDetailsCorpus(Corpus& corpus, const test::Issued& signer, const test::Issued& root) {
  const Bytes der = signer.der();
  corpus.add("cert_string", der);
  corpus.add("cert_string", bytesOf(base64(der, 64, "\n")));
  corpus.add("cert_string", bytesOf(base64(der, 76, "\r\n")));
  corpus.add("cert_string", bytesOf(signer.pem()));
  corpus.add("cert_string", root.der());
  test::CertificateOptions bare;
  bare.subject = test::makeName({"CN=No Key Usage"});
  bare.issuer = &root;
  bare.keyUsage = std::nullopt;
  bare.crlDistributionPoints = {"URI:http://127.0.0.1:9/none.crl", "dirName:/C=IN/CN=CRL 1"};
  bare.authorityInfoAccess = {"caIssuers;URI:http://127.0.0.1:9/ca.cer"};
  corpus.add("cert_string", test::issueCertificate(std::move(bare)).der());
  corpus.add("cert_string", test::makeEndEntity("Encryption", root, "keyEncipherment").der());
}

void addPfxCorpus(Corpus& corpus, const test::Issued& signer, const test::Issued& root) {
  const std::string password = marqen::os::toUtf8(marqen::fuzz::kPfxPassword);
  for (const auto protection : {test::PfxProtection::Modern, test::PfxProtection::Legacy}) {
    test::PfxOptions options;
    options.holder = &signer;
    options.caCerts = {&root};
    options.password = password;
    options.protection = protection;
    corpus.add("pfx", test::makePfx(options));
  }
  test::PfxOptions withoutKey;
  withoutKey.holder = &signer;
  withoutKey.includeKey = false;
  withoutKey.password = password;
  withoutKey.protection = test::PfxProtection::Legacy;
  corpus.add("pfx", test::makePfx(withoutKey));
  test::PfxOptions caFirst;
  caFirst.holder = &signer;
  caFirst.caCerts = {&root};
  caFirst.caFirst = true;
  caFirst.password = "another password";
  corpus.add("pfx", test::makePfx(caFirst));
}

void addCrlCorpus(Corpus& corpus, const test::Issued& signer, const test::Issued& root) {
  test::CrlOptions revoked;
  revoked.revokedSerials = {test::serialOf(signer), {0x01}, {0x7F, 0xFF, 0xFF}};
  const Bytes listing = test::makeCrl(root, revoked);
  corpus.add("crl", listing);
  corpus.add("crl", bytesOf(test::crlPem(listing)));
  test::CrlOptions open;
  open.nextUpdate = -1;
  open.digest = EVP_sha1();
  corpus.add("crl", test::makeCrl(root, open));
  test::CrlOptions expired;
  expired.thisUpdate = 100000;
  expired.nextUpdate = 200000;
  corpus.add("crl", test::makeCrl(signer, expired));
}

// Signed with the library itself, so the seeds look like what callers hand back to it.
Bytes signWithLibrary(const fs::path& pfx, int32_t mode, int32_t format, int32_t hash) {
  std::string data(mode == SIGNATURE_DETACHED ? marqen::fuzz::kDetachedContent
                                              : "Attached content of a fuzz seed.\n");
  DataBuffer content{nullptr, reinterpret_cast<unsigned char*>(data.data()),
                     static_cast<int32_t>(data.size()), DATA_IN_MEMORY};
  std::u16string path = marqen::os::toUtf16(pfx.string());
  std::u16string password(marqen::fuzz::kPfxPassword);
  CertificateLocator locator{nullptr, nullptr, path.data(), password.data(), LOCATION_PFX_FILE};
  std::string documentName = "seed.txt";
  std::string oid = "1.3.6.1.4.1.311.88.2.1";
  SignedAttribute attribute{reinterpret_cast<unsigned char*>(documentName.data()),
                            static_cast<int32_t>(documentName.size()), oid.data(),
                            ATTR_AUTHENTICATED, ATTR_OCTET_STRING};
  SignedAttribute* attributes[] = {&attribute};
  const SignRequest request{&content,        &locator, attributes,     1,      hash,
                            SIGNING_RSA,     mode,     format,         0,      REVOCATION_OFFLINE,
                            REVOCATION_NONE, 0,        DATA_IN_MEMORY, nullptr};
  DataBuffer record{};
  DataBuffer* result = &record;
  const ErrorCode code = sign(&request, &result);
  if (code != 0) throw std::runtime_error("sign failed with " + std::to_string(code));
  Bytes message(record.data, record.data + record.length);
  std::free(record.data);
  return message;
}

Bytes cmsMessage(const test::Issued& signer, const test::Issued* second, unsigned flags) {
  const std::string data = "Signed with OpenSSL for a fuzz seed.";
  const std::unique_ptr<BIO, decltype(&BIO_free)> in(
      BIO_new_mem_buf(data.data(), static_cast<int>(data.size())), BIO_free);
  const std::unique_ptr<CMS_ContentInfo, decltype(&CMS_ContentInfo_free)> cms(
      CMS_sign(second ? nullptr : signer.certificate.get(), second ? nullptr : signer.key.get(),
               nullptr, in.get(), flags | CMS_BINARY | (second ? CMS_PARTIAL : 0U)),
      CMS_ContentInfo_free);
  if (!cms) throw std::runtime_error("CMS_sign");
  if (second) {
    for (const test::Issued* each : {&signer, second})
      if (!CMS_add1_signer(cms.get(), each->certificate.get(), each->key.get(), EVP_sha256(), 0))
        throw std::runtime_error("CMS_add1_signer");
    if (CMS_final(cms.get(), in.get(), nullptr, CMS_BINARY) != 1)
      throw std::runtime_error("CMS_final");
  }
  unsigned char* raw = nullptr;
  const int length = i2d_CMS_ContentInfo(cms.get(), &raw);
  if (length <= 0) throw std::runtime_error("i2d_CMS_ContentInfo");
  Bytes der(raw, raw + length);
  OPENSSL_free(raw);
  return der;
}

void addSignedMessageCorpus(Corpus& corpus, const fs::path& pfx, const test::Issued& signer,
                            const test::Issued& root) {
  corpus.add("signed_message", signWithLibrary(pfx, SIGNATURE_ATTACHED, FORMAT_DER, HASH_SHA1));
  corpus.add("signed_message", signWithLibrary(pfx, SIGNATURE_ATTACHED, FORMAT_BASE64, HASH_MD5));
  corpus.add("signed_message", signWithLibrary(pfx, SIGNATURE_DETACHED, FORMAT_DER, HASH_SHA1));
  const Bytes detachedText = signWithLibrary(pfx, SIGNATURE_DETACHED, FORMAT_BASE64, HASH_SHA1);
  corpus.add("signed_message", detachedText);
  corpus.add("signed_message", cmsMessage(signer, nullptr, CMS_NOCERTS));
  const test::Issued other = test::makeEndEntity("Second Signer", root);
  corpus.add("signed_message", cmsMessage(signer, &other, 0));
}

void addNameCorpora(Corpus& corpus, const fs::path& store) {
  // Every certificate in MY has the same serial number, so the issuer text alone decides.
  int index = 0;
  for (const auto& entries : unusualNames()) {
    const auto name = test::makeName(entries);
    corpus.add("name_text", nameDer(name.get()));
    test::CertificateOptions options;
    options.subject = test::makeName(entries);
    options.serial = {0x0F, 0x22};
    options.keyUsage = "critical,digitalSignature";
    const test::Issued issued = test::issueCertificate(std::move(options));
    test::addToStore(store, "MY", "named-" + std::to_string(index++), issued);
    const std::string text = test::certificateOf(issued).issuerText();
    corpus.add("dn_match", utf16Bytes(marqen::os::toUtf16(text)));
  }
  // Looser spellings of the same names: other separators, key case, blanks after "=".
  for (const std::u16string_view loose :
       {u"c=IN;o=Acme, Inc.;cn=Smith, John", u"CN= Postal, DC=example, DC=com, OID.2.5.4.17=560001",
        u"cn=Multi + E=multi@example.com; OU=Unit; O=Org; C=IN", u"givenname =Zo\u00EB",
        u"CN=\"quoted\" + plus # hash,OU=\"a=b;c\"", u"=", u"CN=A=B", u""}) {
    corpus.add("dn_match", utf16Bytes(loose));
  }
}

void addBase64Corpus(Corpus& corpus, const Bytes& der) {
  using namespace std::literals;
  for (const std::string_view text : {"YWJj"sv, "YQ"sv, "AA=="sv, "YW\r\nJj"sv, "YW=J"sv, "YW*j"sv,
                                      "="sv, "\r\n"sv, "YWJj\0tail"sv})
    corpus.add("base64", bytesOf(text));
  corpus.add("base64", bytesOf(base64(der, 64, "\n")));
  corpus.add("base64", bytesOf(base64(Bytes(der.begin(), der.begin() + 47), 76, "\r\n")));
}

void generate(const fs::path& out) {
  const fs::path fixtures = out / "fixtures";
  const fs::path corpusFolder = out / "corpus";
  fs::remove_all(fixtures);
  fs::remove_all(corpusFolder);
  fs::create_directories(fixtures);
  Corpus corpus(corpusFolder);

  const test::Issued root = test::makeRootCa(marqen::os::toUtf8(marqen::fuzz::kTrustedRootName));
  const test::Issued signer = test::makeEndEntity("Fuzz Signer", root);
  const fs::path store = fixtures / "store";
  test::addToStore(store, "ROOT", "root", root);
  test::writeBytes(fixtures / "root.der", root.der());
  test::writeBytes(fixtures / "signer.der", signer.der());
  test::PfxOptions pfxOptions;
  pfxOptions.holder = &signer;
  pfxOptions.caCerts = {&root};
  pfxOptions.password = marqen::os::toUtf8(marqen::fuzz::kPfxPassword);
  const fs::path pfx = fixtures / "signer.pfx";
  test::writeBytes(pfx, test::makePfx(pfxOptions));

  addBase64Corpus(corpus, signer.der());
  addNameCorpora(corpus, store);
  addDetailsCorpus(corpus, signer, root);
  addPfxCorpus(corpus, signer, root);
  addCrlCorpus(corpus, signer, root);
  addSignedMessageCorpus(corpus, pfx, signer, root);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  try {
    generate(argv[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "seed generator: %s\n", e.what());
    return 1;
  }
  return 0;
}
