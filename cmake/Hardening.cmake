# Hardening for every binary we build: stack canaries, a read-only GOT resolved at load time,
# and the checked variants of the C library's string and memory routines where they can work.
add_compile_options(-fstack-protector-strong)
add_link_options(-Wl,-z,relro,-z,now)

# _FORTIFY_SOURCE needs optimisation (glibc warns without it, and -Werror turns that into a
# failure) and hides calls from AddressSanitizer's interceptors, so it goes to optimised builds
# without sanitizers. The undefine keeps a level set by the distribution's flags from clashing.
if(NOT MARQEN_SANITIZE)
  set(optimised "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")
  add_compile_options("$<${optimised}:-U_FORTIFY_SOURCE>" "$<${optimised}:-D_FORTIFY_SOURCE=2>")
endif()

# Bounds-checked operator[], front(), back() and friends of the standard library while debugging.
add_compile_options("$<$<AND:$<CONFIG:Debug>,$<COMPILE_LANGUAGE:CXX>>:-D_GLIBCXX_ASSERTIONS>")
