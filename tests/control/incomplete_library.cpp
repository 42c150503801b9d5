// Has a `sign` but no `getErrorMessage`, and nothing else: the control must call neither.

#include <cstdlib>

extern "C" __attribute__((visibility("default"))) int sign(const void* /*request*/,
                                                           void* /*result*/) {
  std::abort();
}
