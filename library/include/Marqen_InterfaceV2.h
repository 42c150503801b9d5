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
 * Threads: every export may be called from several threads at once. setTrustedCANames
 * publishes a new list whole; a call running meanwhile uses either the previous list or the new
 * one throughout, never a mixture.
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

/* Every error code, its name and its message (getErrorMessage), in one list. An empty message
 * means the code has none of its own ("Unsupported Error Code"). Callers use the MARQEN_E_
 * names below; the list itself is for the library's own tables. */
/* clang-format off */
#define MARQEN_ERROR_LIST(X) \
  X(NO_ERROR, 0, "No Error") \
  X(INVALID_INPUT_LENGTH, 101, "Invalid Input Length supplied.") \
  X(MISSING_ARGUMENT, 102, "") \
  X(INVALID_DATA_KIND, 103, "Invalid Type of Data supplied.") \
  X(INVALID_SERIAL_NUMBER, 104, "Invalid Certificate Serial Number.") \
  X(INVALID_ISSUER_DN, 105, "Invalid Issuer Distinguished Name") \
  X(INVALID_LOCATION_TYPE, 106, "Invalid Certificate location type Supplied.") \
  X(INVALID_HASH_ALGORITHM, 107, "Invalid Hashing Algorithm Supplied.") \
  X(INVALID_SIGNING_ALGORITHM, 108, "Invalid Signing Algorithm Supplied.") \
  X(INVALID_SIGNATURE_MODE, 109, "Invalid Signature Mode Supplied.") \
  X(INVALID_DESTINATION_TYPE, 110, "Invalid Signature Destination Type.") \
  X(INVALID_VALIDATE_FLAG, 111, "Invalid value for the flag Validate-Cert-Before-Signing.") \
  X(INVALID_ASK_PIN_FLAG, 112, "Invalid value for the flag Ask-Pin-Always.") \
  X(INVALID_SIGNATURE_FORMAT, 113, "Invalid value for Signature Format.") \
  X(DETACHED_DATA_MISSING, 114, "Data corresponding to Detached Signature not Supplied.") \
  X(INVALID_SIGNING_TIME, 115, "Invalid Signing Time Supplied.") \
  X(INVALID_CERT_STRING, 116, "Invalid or Null Certificate String supplied.") \
  X(INVALID_CERT_TYPE, 117, "Invalid Certificate Type.") \
  X(SIGNING_TIME_MUST_BE_SIGNED, 118, "Signing Time can only be an authenticated attribute.") \
  X(INVALID_INPUT_SIGNATURE, 119, "Invalid Signature supplied as an input.") \
  X(INVALID_INPUT_SIGNATURE_LENGTH, 120, "Invalid Length of Input Signature supplied.") \
  X(INVALID_SERIAL_OR_ISSUER, 121, "Invalid Cert Serial No or Issuer DN.") \
  X(INVALID_PFX_FILE_OR_PASSWORD, 122, "Invalid PFX File or Password.") \
  X(INVALID_CERT_STRING_LENGTH, 123, "Invalid Certificate String Length.") \
  X(INVALID_REVOCATION_LEVEL, 124, "Invalid Revocation Level.") \
  X(INVALID_REVOCATION_MODE, 125, "Invalid Revocation Mode.") \
  X(INVALID_STORE_TYPE, 126, "Invalid Type of Store. Only Personal and Other-People Types are allowed.") \
  X(NULL_OUTPUT, 127, "Null Output Structure. Memory Not allocated.") \
  X(INVALID_ATTRIBUTE_COUNT, 128, "Invalid Attribute Count.") \
  X(INVALID_TRUSTED_CA_COUNT, 129, "Invalid Trusted CA Count.") \
  X(INVALID_TRUSTED_CA_NAME, 130, "Invalid Trusted CA Name.") \
  X(INVALID_TRUSTED_CA_NAME_LENGTH, 131, "Invalid Length of the Trusted CA Name.") \
  X(INVALID_ATTRIBUTE_VALUE_LENGTH, 132, "Invalid Length of the Attribute Value.") \
  X(NULL_ATTRIBUTE_VALUE, 133, "Null Attribute Value.") \
  X(INVALID_ATTRIBUTE_AUTH_TYPE, 134, "Invalid Authentication Type for the Attribute.") \
  X(EMPTY_INPUT_FILE, 201, "Input file is an empty file.") \
  X(FILE_OPEN_READ, 202, "Error opening/reading the input file.") \
  X(FILE_INCOMPLETE_READ, 203, "Error reading complete input file from disk.") \
  X(FILE_INCOMPLETE_WRITE, 204, "Error writing the complete file to disk.") \
  X(FOLDER_MISSING, 205, "Folder does not exist.") \
  X(FOLDER_NOT_READ_WRITABLE, 206, "Folder does not have read/write permissions.") \
  X(INVALID_OUTPUT_KIND, 207, "Invalid Output Destination Type.") \
  X(INVALID_OUTPUT_PATH, 208, "Output File Path not supplied or is Invalid.") \
  X(NO_DIGITAL_SIGNATURE_USAGE, 301, "The Key Usage Extension in the certificate does not have Digital Signature set.") \
  X(NO_KEY_USAGE_EXTENSION, 302, "Key Usage Extension not found in the certificate.") \
  X(CSP_CONTEXT, 303, "Error in getting the CSP context.") \
  X(STORE_OPEN, 304, "Error opening the Certificate Store.") \
  X(INVALID_CERT_FILE, 305, "Invalid Input Certificate File.") \
  X(NOT_PFX_FILE, 306, "Input File is not a valid PFX File.") \
  X(PFX_IMPORT, 307, "Error in importing the certificate file to PFX Store.") \
  X(CERT_CONTEXT, 308, "Error in getting the Certificate Context.") \
  X(NO_KEY_ENCIPHERMENT_USAGE, 309, "The Key Usage Extension in the certificate does not haev Key Encipherment set.") \
  X(MEMORY_ALLOCATION, 401, "Error in memory allocation.") \
  X(INVALID_INPUT_BUFFER, 402, "Invalid or Empty Input Buffer.") \
  X(INVALID_SIGNED_DATA, 1001, "Invalid or Null Input Signed Data.") \
  X(MESSAGE_HANDLE, 1002, "Error in getting the Handle to the Signed Message.") \
  X(MESSAGE_UPDATE, 1003, "Error in updating the Handle to the Signed Message.") \
  X(MESSAGE_CONTENT_TYPE, 1004, "Error in getting the Content Type of the Signed Message.") \
  X(NOT_SIGNED_DATA, 1005, "The Input Data is not of type Signed Data.") \
  X(DER_TO_BASE64, 1101, "Error in DER to Base64 Conversion.") \
  X(BASE64_TO_DER, 1201, "Error in Base64 to DER Conversion.") \
  X(CONTENT_INFO, 1301, "Error in getting the Content Info from the Signed Message.") \
  X(SIGNER_COUNT, 1302, "Error in getting the Signer Count from the Signed Message.") \
  X(ATTRIBUTE_DECODE, 1303, "Error in decoding the attribute value.") \
  X(SIGNING_TIME_AFTER_EXPIRY, 1411, "The Signing Time is after the expiry date of the certificate.") \
  X(SIGNING_TIME_BEFORE_START, 1412, "The Signing Time is before the validity start date of the certificate.") \
  X(CERT_EXPIRED, 1421, "The Certificate is expired.") \
  X(CERT_NOT_YET_VALID, 1422, "The Certificate is not yet valid.") \
  X(CHAIN_BUILD, 1431, "Error in building the Certificate Chain.") \
  X(CHAIN_CERT_EXPIRED, 1432, "One of the certificates in the Certificate chain is expired.") \
  X(CHAIN_CERT_REVOKED, 1433, "One of the certificates in the Certificate chain is revoked.") \
  X(NO_TRUSTED_CA_LIST, 1441, "CA Dependent version.") \
  X(TRUSTED_CA_NOT_IN_CHAIN, 1442, "The CA Common Name not found in Trusted CA Certificate Chain.") \
  X(SIGNED_CONTENT_SIZE, 1451, "Error in getting the Signed Content Size.") \
  X(SIGNED_CONTENT_INFO, 1452, "Error in getting the Content Info of Signed Data.") \
  X(NO_CRL_DISTRIBUTION_POINT, 1501, "CRL Distribution points not present in the certificate.") \
  X(CRL_FETCH, 1502, "Error in fetching the CRL from the CRL Distribution Point.") \
  X(CRL_CONTEXT, 1503, "Error in getting the context for the CRL.") \
  X(CRL_EXPIRED, 1504, "The CRL is already expired.") \
  X(CRL_NOT_YET_VALID, 1505, "The CRL is not yet valid.") \
  X(CRL_LOAD, 1506, "Error in loading the CRL from the CRL Distribution Point.") \
  X(CHAIN_CREATE, 1507, "Error in creating the Certificate Chain.") \
  X(CRL_CONNECT, 1508, "Error in connecting to the CRL Distribution Point.") \
  X(TRUST_NOT_TIME_VALID, 1509, "This certificate or one of the certificates in the certificate chain is not time-valid.") \
  X(TRUST_NOT_TIME_NESTED, 1510, "Certificates in the chain are not properly time-nested.") \
  X(TRUST_REVOKED, 1511, "Trust for this certificate or one of the certificates in the certificate chain has been revoked.") \
  X(TRUST_BAD_SIGNATURE, 1512, "The certificate or one of the certificates in the certificate chain does not have a valid signature.") \
  X(TRUST_WRONG_USAGE, 1513, "The certificate or certificate chain is not valid in its proposed usage.") \
  X(TRUST_UNTRUSTED_ROOT, 1514, "The certificate or certificate chain is based on an untrusted root.") \
  X(TRUST_REVOCATION_UNKNOWN, 1515, "The revocation status of the certificate or one of the certificates in the certificate chain is unknown.") \
  X(TRUST_CYCLIC, 1516, "One of the certificates in the chain was issued by a certification authority that the original certificate had certified.") \
  X(TRUST_PARTIAL_CHAIN, 1517, "The certificate chain is not complete.") \
  X(TRUST_CTL_NOT_TIME_VALID, 1518, "A CTL used to create this chain was not time-valid.") \
  X(TRUST_CTL_BAD_SIGNATURE, 1519, "A CTL used to create this chain did not have a valid signature.") \
  X(TRUST_CTL_WRONG_USAGE, 1520, "A CTL used to create this chain is not valid for this usage.") \
  X(TRUST_REVOCATION_OFFLINE, 1521, "The revocation status of the certificate or one of the certificates in the certificate chain is either off-line or stale.") \
  X(REVOCATION_NOT_CHECKED, 1522, "Revocation status not checked.") \
  X(CRL_DISTRIBUTION_POINT_EXTRACT, 1523, "Error in extracting CRL Distribution Point CRL From the Certificate.") \
  X(INVALID_SIGNER_INDEX, 1601, "The specified Signer Index is not valid.") \
  X(SIGNER_INFO, 1602, "Error in getting the Signer Info of Signed Data.") \
  X(SIGNING_TIME_MISSING, 1603, "Signing Time not found in the Signed Data.") \
  X(SIGNING_TIME_DECODE, 1604, "Error in decoding the Signing Time in the Signed Data.") \
  X(VERIFICATION_FAILED, 1701, "Verification of Signed Data Failed.") \
  X(SIGNING_TIME_ENCODE, 1801, "Error in encoding the Signing Time for Signed Data.") \
  X(INVALID_ATTRIBUTE, 1802, "Invalid or null Attribute supplied.") \
  X(INVALID_ATTRIBUTE_DATA_TYPE, 1803, "Invalid Attribute Data type.") \
  X(COSIGN_FAILED, 1804, "Cosigning the supplied message Failed.") \
  X(COSIGNER_CERT, 1805, "Error in adding the Cosigner's Certificate to the Signed Data.") \
  X(PRIVATE_KEY, 1806, "Error in getting the Private Key corresponding to the Certificate.") \
  X(SIGNED_MESSAGE_SIZE, 1807, "Error in getting the size of the Signed Message.") \
  X(MESSAGE_SIGNING, 1808, "") \
  X(HASH_CREATE, 1900, "Error in creating the Hash.") \
  X(HASH_DATA, 1901, "Error in Hashing the Data.") \
  X(RAW_SIGN, 1902, "Error in the Raw Signature Operation.") \
  X(PUBLIC_KEY_DECODE, 2000, "Error in decoding the Public Key from certificate.") \
  X(PUBLIC_KEY_IMPORT, 2001, "Error in importing the Public Key to the CSP.") \
  X(RAW_VERIFY, 2002, "Error in verifying the Raw Signature.") \
  X(COUNTERSIGN, 2100, "Error in Counter Signing the Message.") \
  X(NOT_COUNTER_SIGNED, 2101, "The supplied Input Message is not a CounterSigned Signature.") \
  X(COUNTER_SIGNATURE_DECODE, 2102, "Error in decoding the Counter Signature Attribute from the supplied Input Message.") \
  X(COUNTER_SIGNATURE_VERIFY, 2103, "Signature Verification of Counter Signature Failed.") \
  X(COUNTER_SIGNER_MISMATCH, 2104, "The Input Certificate is not same as the one in the CounterSigned Message.") \
  X(UNKNOWN_EXCEPTION, 2200, "An unknown exception ahs occured. ") \
  X(VIEWER_LIBRARY, 2201, "Error in loading the library - CryptUI.dll.") \
  X(CIPHER_SIZE, 2300, "Error in getting cipher size.") \
  X(ENCRYPT, 2301, "Unable to encrypt the data.") \
  X(INVALID_RECIPIENT_COUNT, 2302, "Invalid recipient count.") \
  X(INVALID_CONTENT_TYPE, 2303, "Invalid content type.") \
  X(INVALID_ASYMMETRIC_ALGORITHM, 2304, "Invalid asymmetric algorithm.") \
  X(INVALID_SYMMETRIC_ALGORITHM, 2305, "Invalid symmetric algorithm.") \
  X(INVALID_ENCRYPTION_FORMAT, 2306, "Invalid encryption format.") \
  X(NOT_ENVELOPED_DATA, 2307, "Input data not a enveloped data.") \
  X(RECIPIENT_CERT_NOT_FOUND, 2308, "Recipient certificate not found in the store.") \
  X(DECRYPT, 2309, "Error in decrypting cipher.")
/* clang-format on */

#define MARQEN_ERROR_ENUMERATOR(name, code, message) MARQEN_E_##name = (code),
enum { MARQEN_ERROR_LIST(MARQEN_ERROR_ENUMERATOR) };
#undef MARQEN_ERROR_ENUMERATOR

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

/* hashAlgorithm of every request: SHA-1 ("1.3.14.3.2.26") or MD5 ("1.2.840.113549.2.5"), or
 * the SHA-2 family by its CALG identifier. */
enum {
  HASH_SHA1 = 0,
  HASH_MD5 = 1,
  HASH_SHA256 = 0x800C,
  HASH_SHA384 = 0x800D,
  HASH_SHA512 = 0x800E
};

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
  int32_t hashAlgorithm;       /* HASH_SHA1, HASH_MD5, HASH_SHA256, HASH_SHA384, HASH_SHA512 */
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

/* cosign takes the fields of a SignRequest; signatureMode is not read, as the new message
 * keeps the existing message's form. */
typedef SignRequest CosignRequest;

/* A bare signature over content (rawsign), or a counter-signature of one signer (countersign,
 * whose content is read only for a detached message). */
typedef struct RawSignRequest {
  DataBuffer* content;
  CertificateLocator* signerLocator;
  int32_t hashAlgorithm;
  int32_t signatureFormat; /* FORMAT_BASE64, or FORMAT_DER: the bytes themselves */
  int32_t validateCertificate;
  int32_t revocationMode;
  int32_t revocationLevel;
  int32_t askPinAlways;
  int32_t outputKind;
  char16_t* outputPath;
} RawSignRequest;
typedef RawSignRequest CountersignRequest;

/* RawVerifyRequest.certificateSource (unlike CertificateLocator.locationType). */
enum { SOURCE_STORE = 2, SOURCE_PFX_FILE = 3, SOURCE_CERT_STRING = 4 };

/* A bare signature (Base64 text or its bytes, least significant byte first) over content, and
 * the certificate that checks it: from a store by issuer and serial, from a PFX file, or given
 * as Base64 text or DER. */
typedef struct RawVerifyRequest {
  DataBuffer* content;
  DataBuffer* signature;
  char16_t* issuerDN;
  char* serialNumber;
  int32_t storeType; /* STORE_PERSONAL or STORE_OTHER_PEOPLE */
  char16_t* pfxFilePath;
  char16_t* pfxPassword;
  char* certificateString;
  int32_t certificateStringLength;
  int32_t hashAlgorithm;
  int32_t certificateSource;
  int32_t validateCertificate;
  int32_t revocationMode;
  int32_t revocationLevel;
} RawVerifyRequest;

/* A counter-signed message and the counter-signer's certificate: given as a string, or (when
 * certificateString is null) found by the name and serial the counter-signature holds in the
 * store of storeType. */
typedef struct CounterSignatureVerifyRequest {
  DataBuffer* signedData;
  int32_t validateCertificate;
  int32_t signerIndex;
  char* certificateString;
  int32_t certificateStringLength;
  int32_t storeType;
  int32_t revocationMode;
  int32_t revocationLevel;
} CounterSignatureVerifyRequest;

/* A signed message to verify and, for a detached signature, the content it signs.
 * Needed: signedData (Base64 text or DER). content is read only when the message carries no
 * content of its own, and is then required; it is taken as raw bytes, never Base64-decoded. */
typedef struct VerifySignedDataRequest {
  DataBuffer* content;
  DataBuffer* signedData;
} VerifySignedDataRequest;

/* One entry of a certificate listing: the layout of CertificateDetails, certificateType 0. */
typedef CertificateDetails CertificateSummary;

/* A signed message whose signer's certificate is judged (verifySignerCertificate). The first
 * field is not read. */
typedef struct VerifySignerCertificateRequest {
  int32_t reserved;
  DataBuffer* signedData;
  int32_t revocationMode;  /* REVOCATION_ONLINE or REVOCATION_OFFLINE */
  int32_t revocationLevel; /* REVOCATION_NONE, REVOCATION_END_CERT or REVOCATION_CHAIN */
} VerifySignerCertificateRequest;

/* The four verdicts of verifySignerCertificate, each an error code (0: passed). The caller
 * allocates the record; it is written only when the call returns 0. */
typedef struct SignerCertificateStatus {
  int32_t currentTimeValidity; /* 0, 1421 or 1422 */
  int32_t chainValidity;       /* 0, 1431, 1432 or 304 */
  int32_t chainTrust;          /* 0, or why the chain is not trusted or is revoked */
  int32_t signingTimeValidity; /* 0, 1411 or 1412 */
} SignerCertificateStatus;

/* One signer of a parsed message. Every pointer is calloc'd by the library; the caller frees
 * each string, each attribute (and its value and oid), the attributes array and the record. */
typedef struct SignerDetails {
  char* issuerCertificate; /* Base64, null when the issuer is in neither CA nor ROOT */
  int32_t issuerCertificateLength;
  /* The location of the first authority-information-access description when it is a URI; an
   * empty text when it is a name of another kind; null without that extension. */
  char16_t* authorityInfoAccessUrl;
  char* signerCertificate; /* Base64 */
  int32_t signerCertificateLength;
  char16_t* subjectDN;
  char16_t* issuerDN;
  char* serialNumber; /* upper-case hex, most significant byte first */
  int32_t validTo;    /* notAfter, Unix seconds */
  SignedAttribute** attributes;
  int32_t attributeCount;
} SignerDetails;

/* What parseSignedData reports: signerCount entries, an entry null for a signer that could not
 * be read. The caller frees every entry and the array. */
typedef struct SignedDataInfo {
  int32_t signerCount;
  SignerDetails** signers;
} SignedDataInfo;

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

/* Adds a signer to an existing signed message (Base64 or DER); a detached message needs its
 * content in the request and stays detached. The cosigner's certificate is added unless the
 * message already holds it. */
MARQEN_API ErrorCode cosign(const CosignRequest* request, const DataBuffer* signedMessage,
                            DataBuffer** result);

/* Counter-signs the signature of the signer at signerIndex: a PKCS#9 counter-signature without
 * signed attributes, added as an unsigned attribute of that signer. */
MARQEN_API ErrorCode countersign(const CountersignRequest* request, const DataBuffer* signedMessage,
                                 int32_t signerIndex, DataBuffer** result);

/* A PKCS#1 v1.5 signature of the content's hash, least significant byte first. */
MARQEN_API ErrorCode rawsign(const RawSignRequest* request, DataBuffer** result);

/* 0 when the bare signature verifies over the content with the certificate's key. A signature
 * as long as the key is taken as bytes; any other is read as Base64 text. */
MARQEN_API ErrorCode verifyRawSignature(const RawVerifyRequest* request);

/* 0 when the counter-signature of the signer at signerIndex verifies with the counter-signer's
 * certificate. */
MARQEN_API ErrorCode verifyCounterSignature(const CounterSignatureVerifyRequest* request);

/* The validity of a certificate from a store (issuer and serial) or a PFX file, for the use of
 * the certificate type, at validityTime (Unix seconds; 0 or less: now), and of its chain now. */
MARQEN_API ErrorCode checkCertificateValidity(const char16_t* issuerDN, const char* serialNumber,
                                              int32_t storeType, const char16_t* pfxFilePath,
                                              const char16_t* pfxPassword, int32_t certificateType,
                                              int32_t validityTime);

/* Four verdicts on the certificate of the signer at signerIndex: valid now, chain expiry, chain
 * trust with revocation, valid at the signing time. 0 means the verdicts are in **status. */
MARQEN_API ErrorCode verifySignerCertificate(const VerifySignerCertificateRequest* request,
                                             int32_t signerIndex, SignerCertificateStatus** status);

/* Who signed a message, without verifying any signature. On failure *info is left as it was. */
MARQEN_API ErrorCode parseSignedData(const DataBuffer* input, SignedDataInfo** info);

/* Every certificate of the store fit for the certificate type now: a calloc'd array of *count
 * calloc'd summaries followed by a null pointer; the caller frees the strings, each summary and
 * the array. A null list or count pointer is 127. */
MARQEN_API ErrorCode listAllCertificatesFromStore(int32_t certificateType, int32_t storeType,
                                                  CertificateSummary*** list, int32_t* count);

/* Shows a certificate (from a store, a PFX file or a certificate string) in the system's
 * certificate viewer and returns when the viewer is closed. The viewer is the program named by
 * $MARQEN_CERT_VIEWER, else gcr-viewer, started on a temporary DER file; 2201 when there is no
 * graphical session (DISPLAY or WAYLAND_DISPLAY) or the program cannot be started or run. */
MARQEN_API ErrorCode viewCertificate(const char16_t* issuerDN, const char* serialNumber,
                                     int32_t storeType, const char16_t* pfxFilePath,
                                     const char16_t* pfxPassword, const char* certificateString,
                                     int32_t certificateStringLength, int32_t certificateType);

#ifdef __cplusplus
}
#endif

#endif /* MARQEN_INTERFACE_V2_H */
