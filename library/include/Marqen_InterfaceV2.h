/* Marqen_InterfaceV2: signature library, plain C interface.
 *
 * Every export returns an ErrorCode (0 = success) except getErrorMessage. Strings marked
 * "wide" are zero-terminated UTF-16 (char16_t); 8-bit text is UTF-8. Buffers that the library
 * places into a result come from calloc, are one element longer than counted and zero-filled,
 * and are released by the caller with free().
 *
 * Ownership. Inputs (requests, DataBuffers, strings) stay the caller's: the library only reads
 * them during the call and keeps no pointer to them. Result records (DataBuffer,
 * CertificateDetails) are allocated by the caller, who passes a pointer to a non-null pointer
 * to the record (127 otherwise); the library writes the fields each export names below and
 * leaves the others as they were. It overwrites those fields without freeing what they held,
 * so a caller that reuses a record frees the old buffers first. On failure no buffer is placed
 * into a result and the record is left as it was (details: certificateType may already be set).
 *
 * Environment, read at each call that needs it:
 *   MARQEN_CERTSTORE  folder of the user's certificate stores (MY, ADDRESSBOOK, CA, ROOT, and
 *                     CRL for cached revocation lists); when unset or empty,
 *                     $XDG_DATA_HOME/marqen/certstore, or $HOME/.local/share/marqen/certstore.
 *   http_proxy, https_proxy, no_proxy  used by libcurl for online revocation-list downloads.
 * The library appends a short log to Logs/logFile.txt in the folder of the running program
 * (best effort: nothing is logged where that folder cannot be written). */
#ifndef MARQEN_INTERFACE_V2_H
#define MARQEN_INTERFACE_V2_H

#include <stdint.h>

/* The interface this header describes. The major version changes only with an incompatible
 * change (and names the SONAME, libMarqen_InterfaceV2.so.2); a minor version adds exports. */
#define MARQEN_API_VERSION_MAJOR 2
#define MARQEN_API_VERSION_MINOR 0
#define MARQEN_API_VERSION ((MARQEN_API_VERSION_MAJOR << 16) | MARQEN_API_VERSION_MINOR)

#ifdef __cplusplus
extern "C" {
#else
#include <uchar.h>
#endif

#if defined(MARQEN_BUILDING_LIBRARY)
#define MARQEN_API __attribute__((visibility("default")))
#else
#define MARQEN_API
#endif

typedef int32_t ErrorCode;

/* DataBuffer.kind and the outputKind of requests. */
enum { DATA_IN_FILE = 1, DATA_IN_MEMORY = 2 };

/* signatureFormat of requests. */
enum { FORMAT_BASE64 = 1, FORMAT_DER = 2 };

/* Data entering the library, or a result leaving it.
 * Input: kind is required; filePath is read for DATA_IN_FILE, data and length (at least 1) for
 * DATA_IN_MEMORY; the other field may be anything. The library works on its own copy.
 * Result in memory: the library sets data (calloc'd, zero-terminated, the caller frees it),
 * length in bytes and kind; filePath is left as it was.
 * Result in a file: the library sets filePath (calloc'd copy of the output path, the caller
 * frees it), length in characters (sign only: getSignedContent leaves length as it was) and
 * kind; data is left as it was. */
typedef struct DataBuffer {
  char16_t* filePath;
  unsigned char* data;
  int32_t length;
  int32_t kind;
} DataBuffer;

/* Store types of the certificate exports. */
enum { STORE_PERSONAL = 1, STORE_OTHER_PEOPLE = 2 };

/* Certificate types: what the certificate is wanted for, hence which key usage it needs. */
enum { SIGNING_CERTIFICATE = 1, ENCRYPTION_CERTIFICATE = 2 };

/* revocationMode: online may download revocation lists; offline uses cached lists only. */
enum { REVOCATION_ONLINE = 1, REVOCATION_OFFLINE = 2 };

/* revocationLevel: no revocation check, the certificate itself, or its whole chain. */
enum { REVOCATION_NONE = 1, REVOCATION_END_CERT = 2, REVOCATION_CHAIN = 3 };

/* CertificateLocator.locationType. */
enum { LOCATION_PFX_FILE = 1, LOCATION_STORE = 2 };

/* Where the signing operations find the signer's certificate: in the personal store by issuer
 * name and serial number, or in a PFX file with its password (null or empty: none).
 * Needed: locationType; for LOCATION_STORE issuerDN and serialNumber; for LOCATION_PFX_FILE
 * pfxFilePath (pfxPassword may be null). The fields of the other location are not read. */
typedef struct CertificateLocator {
  char16_t* issuerDN;
  char* serialNumber; /* upper- or lower-case hex, most significant byte first */
  char16_t* pfxFilePath;
  char16_t* pfxPassword;
  uint32_t locationType;
} CertificateLocator;

/* Certificate details. The library allocates the three strings (calloc); the caller frees
 * them. Names are in the library's text form: "CN=..., O=..., C=..." (most specific first).
 * On success the library fills all five fields; it never frees or reuses strings a previous
 * call put into the record. On failure no string is allocated; certificateType may already
 * hold the requested type when the trusted-CA rule refuses the certificate. */
typedef struct CertificateDetails {
  char16_t* issuerName;
  char* serialNumberHex;
  int32_t expiryTime; /* notAfter, Unix seconds (low 32 bits) */
  char16_t* subjectName;
  int32_t certificateType;
} CertificateDetails;

/* SignRequest.hashAlgorithm: SHA-1 ("1.3.14.3.2.26") or MD5 ("1.2.840.113549.2.5"). */
enum { HASH_SHA1 = 0, HASH_MD5 = 1 };

/* SignRequest.signingAlgorithm: RSA with PKCS#1 v1.5 is the only one. */
enum { SIGNING_RSA = 1 };

/* SignRequest.signatureMode: the content inside the message, or kept apart. */
enum { SIGNATURE_ATTACHED = 1, SIGNATURE_DETACHED = 2 };

/* SignedAttribute.authenticationType: signed (authenticated) or unsigned attribute. */
enum { ATTR_UNAUTHENTICATED = 0, ATTR_AUTHENTICATED = 1 };

/* SignedAttribute.dataType: value bytes as an OCTET STRING; decimal text as an INTEGER (at
 * least 1); decimal Unix seconds (UTC) as text, for the signing time "1.2.840.113549.1.9.5". */
enum { ATTR_OCTET_STRING = 1, ATTR_INTEGER = 2, ATTR_TIME = 3 };

/* One extra attribute of a signature, e.g. a document name ("1.3.6.1.4.1.311.88.2.1") or
 * comments ("1.3.6.1.4.1.311.88.2.2"). Needed: value, valueLength (at least 1), oid,
 * authenticationType and dataType; an ATTR_TIME value must be zero-terminated text. */
typedef struct SignedAttribute {
  unsigned char* value; /* bytes or 8-bit text, valueLength bytes, no terminator needed */
  int32_t valueLength;
  char* oid; /* dotted OID, zero-terminated */
  int32_t authenticationType;
  int32_t dataType;
} SignedAttribute;

/* What to sign, with which certificate, and where the signed message goes.
 * Needed: content, signerLocator, and every enumerated field below with one of its values;
 * attributes when attributeCount is above 0 (attributeCount entries, none null); outputPath
 * when outputKind is DATA_IN_FILE. revocationMode and revocationLevel are read only when
 * validateCertificate is 1. A signing time comes from an authenticated ATTR_TIME attribute
 * with OID "1.2.840.113549.1.9.5", else the current time. */
typedef struct SignRequest {
  DataBuffer* content;
  CertificateLocator* signerLocator;
  SignedAttribute** attributes;
  int32_t attributeCount;
  int32_t hashAlgorithm;       /* HASH_SHA1 or HASH_MD5 */
  int32_t signingAlgorithm;    /* SIGNING_RSA */
  int32_t signatureMode;       /* SIGNATURE_ATTACHED or SIGNATURE_DETACHED */
  int32_t signatureFormat;     /* FORMAT_BASE64 or FORMAT_DER */
  int32_t validateCertificate; /* 1: also check signing time, chain and revocation */
  int32_t revocationMode;      /* REVOCATION_ONLINE or REVOCATION_OFFLINE */
  int32_t revocationLevel;     /* REVOCATION_NONE, REVOCATION_END_CERT or REVOCATION_CHAIN */
  int32_t askPinAlways;        /* 1: the key's token asks for its PIN again */
  int32_t outputKind;          /* DATA_IN_FILE or DATA_IN_MEMORY */
  char16_t* outputPath;        /* for DATA_IN_FILE */
} SignRequest;

/* A signed message to verify and, for a detached signature, the content it signs.
 * Needed: signedData (Base64 text or DER). content is read only when the message carries no
 * content of its own, and is then required; it is taken as raw bytes, never Base64-decoded. */
typedef struct VerifySignedDataRequest {
  DataBuffer* content;
  DataBuffer* signedData;
} VerifySignedDataRequest;

/* The message of an error code, or "Unsupported Error Code". The text belongs to the library
 * and stays valid while it is loaded; do not free it. */
MARQEN_API const char* getErrorMessage(ErrorCode code);

/* Replaces the list of trusted CA common names (compared without regard to case). A failed
 * call leaves the previous list in force. The library keeps copies of the names; the caller's
 * array and strings can be freed as soon as the call returns. */
MARQEN_API ErrorCode setTrustedCANames(const char16_t* const* names, int32_t count);

/* Encodes input as Base64 text with a line feed after every 64 characters. *output must be
 * non-null (any placeholder); on success it is overwritten with a new zero-terminated text.
 * The placeholder is not freed; the caller frees the new text. */
MARQEN_API ErrorCode DERtoBase64(const DataBuffer* input, char** output);

/* Decodes Base64 text. *output must be non-null (any placeholder); on success it is overwritten
 * with a new buffer of the decoded bytes plus one zero byte, and *outputLength gets the count.
 * outputLength must not be null. The placeholder is not freed; the caller frees the buffer. */
MARQEN_API ErrorCode Base64toDER(const DataBuffer* input, unsigned char** output,
                                 int32_t* outputLength);

/* Details of a certificate in the personal (1) or other-people (2) store, found by issuer name
 * and serial number, checked for the key usage of the certificate type and the trusted CAs. */
MARQEN_API ErrorCode getCertificateDetailsFromStore(const char16_t* issuerDN,
                                                    const char* serialNumber, int32_t storeType,
                                                    int32_t certificateType,
                                                    CertificateDetails** result);

/* Details of the certificate that has its private key in a PFX file. */
MARQEN_API ErrorCode getCertificateDetailsFromFile(const char16_t* pfxFilePath,
                                                   const char16_t* pfxPassword,
                                                   int32_t certificateType,
                                                   CertificateDetails** result);

/* Details of a certificate given as Base64 text or DER bytes of the given length. */
MARQEN_API ErrorCode getCertificateDetailsFromCertString(const char* certString, int32_t length,
                                                         int32_t certificateType,
                                                         CertificateDetails** result);

/* Signs content as PKCS#7 signed data with one signer; the result (Base64 or DER) in memory or
 * in a file as outputKind says. Every message carries a signing time.
 * On success *result gets data, length (bytes) and kind DATA_IN_MEMORY, or filePath, length
 * (characters of the path) and kind DATA_IN_FILE; an existing output file is replaced. */
MARQEN_API ErrorCode sign(const SignRequest* request, DataBuffer** result);

/* The content of an attached signed message (Base64 or DER), in memory or written to
 * outputPath. outputPath is read only for outputKind DATA_IN_FILE.
 * On success *result gets data, length and kind DATA_IN_MEMORY, or filePath and kind
 * DATA_IN_FILE (length is left as it was). */
MARQEN_API ErrorCode getSignedContent(const DataBuffer* input, const char16_t* outputPath,
                                      int32_t outputKind, DataBuffer** result);

/* 0 when the signature of the signer at signerIndex verifies; for a detached message the
 * request's content is what was signed. */
MARQEN_API ErrorCode verifySignedData(const VerifySignedDataRequest* request, int32_t signerIndex);

#ifdef __cplusplus
}
#endif

#endif /* MARQEN_INTERFACE_V2_H */
