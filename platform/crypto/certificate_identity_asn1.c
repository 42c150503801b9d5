/* OpenSSL's ASN.1 templates for a certificate read only as far as a store lookup needs: the
 * serial number as an INTEGER, and every other field (the issuer name included) kept as its
 * encoding, undecoded. Unlike d2i_X509 this decodes no public key and no extension. */

#include "platform/crypto/certificate_identity.h"

#include <openssl/asn1t.h>

typedef struct {
  ASN1_TYPE* version;
  ASN1_INTEGER* serial;
  ASN1_TYPE* signature;
  ASN1_TYPE* issuer;
  ASN1_TYPE* validity;
  ASN1_TYPE* subject;
  ASN1_TYPE* key;
  ASN1_BIT_STRING* issuerUid;
  ASN1_BIT_STRING* subjectUid;
  ASN1_TYPE* extensions;
} PartialTbs;

typedef struct {
  PartialTbs* tbs;
  ASN1_TYPE* algorithm;
  ASN1_TYPE* value;
} PartialCertificate;

/* clang-format off */
ASN1_SEQUENCE(PartialTbs) = {
        ASN1_EXP_OPT(PartialTbs, version, ASN1_ANY, 0),
        ASN1_SIMPLE(PartialTbs, serial, ASN1_INTEGER),
        ASN1_SIMPLE(PartialTbs, signature, ASN1_ANY),
        ASN1_SIMPLE(PartialTbs, issuer, ASN1_ANY),
        ASN1_SIMPLE(PartialTbs, validity, ASN1_ANY),
        ASN1_SIMPLE(PartialTbs, subject, ASN1_ANY),
        ASN1_SIMPLE(PartialTbs, key, ASN1_ANY),
        ASN1_IMP_OPT(PartialTbs, issuerUid, ASN1_BIT_STRING, 1),
        ASN1_IMP_OPT(PartialTbs, subjectUid, ASN1_BIT_STRING, 2),
        ASN1_EXP_OPT(PartialTbs, extensions, ASN1_ANY, 3)
} static_ASN1_SEQUENCE_END(PartialTbs)

ASN1_SEQUENCE(PartialCertificate) = {
        ASN1_SIMPLE(PartialCertificate, tbs, PartialTbs),
        ASN1_SIMPLE(PartialCertificate, algorithm, ASN1_ANY),
        ASN1_SIMPLE(PartialCertificate, value, ASN1_ANY)
} static_ASN1_SEQUENCE_END(PartialCertificate)
    /* clang-format on */

    int marqen_read_certificate_identity(const unsigned char* der, long length,
                                         ASN1_INTEGER** serial, ASN1_STRING** issuer) {
  const unsigned char* p = der;
  PartialCertificate* certificate =
      (PartialCertificate*)ASN1_item_d2i(NULL, &p, length, ASN1_ITEM_rptr(PartialCertificate));
  int ok =
      certificate != NULL && p == der + length && certificate->tbs->issuer->type == V_ASN1_SEQUENCE;
  if (ok) {
    /* Taken over from the decoded structure, which is then freed without them. */
    *serial = certificate->tbs->serial;
    certificate->tbs->serial = NULL;
    *issuer = certificate->tbs->issuer->value.sequence;
    certificate->tbs->issuer->value.sequence = NULL;
  }
  ASN1_item_free((ASN1_VALUE*)certificate, ASN1_ITEM_rptr(PartialCertificate));
  return ok;
}
