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

#ifdef __cplusplus
}
#endif

#endif /* MARQEN_INTERFACE_V2_H */
