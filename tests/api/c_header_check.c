/* The public header compiles as C and its records can be used from C. */
#include <stdlib.h>
#include <string.h>

#include "library/include/Marqen_InterfaceV2.h"

/* The named codes are C constants with the documented numbers. */
_Static_assert(MARQEN_E_NO_ERROR == 0, "success");
_Static_assert(MARQEN_E_CERT_EXPIRED == 1421, "a certificate code");
_Static_assert(MARQEN_E_UNKNOWN_EXCEPTION == 2200, "the unexpected-exception code");

int marqenCHeaderRoundTrip(void) {
  unsigned char bytes[] = {'a', 'b', 'c'};
  DataBuffer input;
  char placeholder = 0;
  char* text = &placeholder;
  int ok;
  memset(&input, 0, sizeof input);
  input.data = bytes;
  input.length = 3;
  input.kind = DATA_IN_MEMORY;
  if (DERtoBase64(&input, &text) != MARQEN_E_NO_ERROR) return 0;
  ok = strcmp(text, "YWJj") == 0 && text != &placeholder;
  free(text);
  return ok;
}
