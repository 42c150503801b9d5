/* Marqen_InterfaceV2: signature library, plain C interface.
 *
 * Every export returns an ErrorCode (0 = success) except getErrorMessage. Strings marked
 * "wide" are zero-terminated UTF-16 (char16_t); 8-bit text is UTF-8. Buffers that the library
 * places into a result come from calloc, are one element longer than counted and zero-filled,
 * and are released by the caller with free(). */
#ifndef MARQEN_INTERFACE_V2_H
#define MARQEN_INTERFACE_V2_H

#include <stdint.h>

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
 * Input: filePath is read for DATA_IN_FILE, data and length for DATA_IN_MEMORY.
 * Result in memory: data (calloc'd, zero-terminated) and length in bytes.
 * Result in a file: filePath (calloc'd copy of the output path) and length in characters. */
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
 * name and serial number, or in a PFX file with its password (null or empty: none). */
typedef struct CertificateLocator {
  char16_t* issuerDN;
  char* serialNumber; /* upper- or lower-case hex, most significant byte first */
  char16_t* pfxFilePath;
  char16_t* pfxPassword;
  uint32_t locationType;
} CertificateLocator;

/* Certificate details. The library allocates the three strings (calloc); the caller frees
 * them. Names are in the library's text form: "CN=..., O=..., C=..." (most specific first). */
typedef struct CertificateDetails {
  char16_t* issuerName;
  char* serialNumberHex;
  int32_t expiryTime; /* notAfter, Unix seconds (low 32 bits) */
  char16_t* subjectName;
  int32_t certificateType;
} CertificateDetails;

/* The message of an error code, or "Unsupported Error Code". The text belongs to the library
 * and stays valid while it is loaded; do not free it. */
MARQEN_API const char* getErrorMessage(ErrorCode code);

/* Replaces the list of trusted CA common names (compared without regard to case). A failed
 * call leaves the previous list in force. */
MARQEN_API ErrorCode setTrustedCANames(const char16_t* const* names, int32_t count);

/* Encodes input as Base64 text with a line feed after every 64 characters. *output must be
 * non-null (any placeholder); on success it is overwritten with a new zero-terminated text. */
MARQEN_API ErrorCode DERtoBase64(const DataBuffer* input, char** output);

/* Decodes Base64 text. *output must be non-null (any placeholder); on success it is overwritten
 * with a new buffer of the decoded bytes plus one zero byte, and *outputLength gets the count. */
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

#ifdef __cplusplus
}
#endif

#endif /* MARQEN_INTERFACE_V2_H */
