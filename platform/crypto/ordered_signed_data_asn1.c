/* OpenSSL's ASN.1 templates for a ContentInfo holding SignedData, differing from its own only in
 * writing signerInfos (a SET OF) in their present order: an implicitly tagged SEQUENCE OF with
 * the universal SET tag, which the encoder does not sort. */

#include "platform/crypto/ordered_signed_data.h"

#include <openssl/asn1t.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

typedef struct {
  ASN1_OBJECT* type;
  PKCS7_SIGNED* sign;
} OrderedContentInfo;

/* clang-format off */
ASN1_SEQUENCE(OrderedSignedData) = {
        ASN1_SIMPLE(PKCS7_SIGNED, version, ASN1_INTEGER),
        ASN1_SET_OF(PKCS7_SIGNED, md_algs, X509_ALGOR),
        ASN1_SIMPLE(PKCS7_SIGNED, contents, PKCS7),
        ASN1_IMP_SEQUENCE_OF_OPT(PKCS7_SIGNED, cert, X509, 0),
        ASN1_IMP_SET_OF_OPT(PKCS7_SIGNED, crl, X509_CRL, 1),
        ASN1_EX_TYPE(ASN1_TFLG_SEQUENCE_OF | ASN1_TFLG_IMPTAG | ASN1_TFLG_UNIVERSAL, V_ASN1_SET,
                     PKCS7_SIGNED, signer_info, PKCS7_SIGNER_INFO)
} static_ASN1_SEQUENCE_END_name(PKCS7_SIGNED, OrderedSignedData)

ASN1_SEQUENCE(OrderedContentInfo) = {
        ASN1_SIMPLE(OrderedContentInfo, type, ASN1_OBJECT),
        ASN1_EXP(OrderedContentInfo, sign, OrderedSignedData, 0)
} static_ASN1_SEQUENCE_END(OrderedContentInfo)
    /* clang-format on */

    int marqen_i2d_signed_data_in_order(PKCS7 * p7, unsigned char** out) {
  OrderedContentInfo info;
  if (!p7 || OBJ_obj2nid(p7->type) != NID_pkcs7_signed || !p7->d.sign) return 0;
  info.type = p7->type;
  info.sign = p7->d.sign;
  return ASN1_item_i2d((ASN1_VALUE*)&info, out, ASN1_ITEM_rptr(OrderedContentInfo));
}
