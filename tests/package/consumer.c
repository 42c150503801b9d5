/* A program outside the project, built against the installed library and header only: it
 * prints what a few exports give so that the package test can compare it. */
#include <Marqen_InterfaceV2.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if MARQEN_API_VERSION != 0x00020000
#error "the installed header does not declare API version 2.0"
#endif

int main(void) {
  unsigned char bytes[] = {'a', 'b', 'c'};
  DataBuffer input;
  char textPlaceholder = 0;
  char* text = &textPlaceholder;
  unsigned char bytesPlaceholder = 0;
  unsigned char* decoded = &bytesPlaceholder;
  int32_t decodedLength = 0;
  ErrorCode code;

  printf("api %d.%d\n", MARQEN_API_VERSION_MAJOR, MARQEN_API_VERSION_MINOR);
  printf("1421: %s\n", getErrorMessage(MARQEN_E_CERT_EXPIRED));
  printf("102: %s\n", getErrorMessage(MARQEN_E_MISSING_ARGUMENT));

  memset(&input, 0, sizeof input);
  input.data = bytes;
  input.length = (int32_t)sizeof bytes;
  input.kind = DATA_IN_MEMORY;
  code = DERtoBase64(&input, &text);
  if (code != 0) {
    printf("DERtoBase64: %d\n", code);
    return 1;
  }
  printf("DERtoBase64: %s\n", text);

  input.data = (unsigned char*)text;
  input.length = (int32_t)strlen(text);
  code = Base64toDER(&input, &decoded, &decodedLength);
  free(text);
  if (code != 0) {
    printf("Base64toDER: %d\n", code);
    return 1;
  }
  printf("Base64toDER: %d bytes, %s\n", decodedLength, (const char*)decoded);
  free(decoded);

  input.kind = 3;
  printf("kind 3: %d\n", DERtoBase64(&input, &text));
  return 0;
}
