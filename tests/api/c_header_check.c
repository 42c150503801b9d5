/* The public header compiles as C and its records can be used from C. */
#include <stdlib.h>
#include <string.h>

#include "library/include/Marqen_InterfaceV2.h"

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
  if (DERtoBase64(&input, &text) != 0) return 0;
  ok = strcmp(text, "YWJj") == 0 && text != &placeholder;
  free(text);
  return ok;
}
