# Warnings for our own targets only; third-party headers come in as system headers.
add_library(marqen_warnings INTERFACE)
target_compile_options(marqen_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wcast-align
  -Wnull-dereference -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough
  $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual>
  $<$<BOOL:${MARQEN_WERROR}>:-Werror>)
