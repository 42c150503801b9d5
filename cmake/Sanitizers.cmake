if(MARQEN_SANITIZE)
  # Applied globally so the library, the tool and the tests share one runtime. Programs built
  # outside this tree against the sanitized library need the same runtime: they link with
  # MARQEN_SANITIZER_FLAGS.
  set(MARQEN_SANITIZER_FLAGS -fsanitize=address,undefined)
  add_compile_options(${MARQEN_SANITIZER_FLAGS} -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(${MARQEN_SANITIZER_FLAGS})
endif()

option(MARQEN_TSAN "Build with ThreadSanitizer (for the tests that run on several threads)" OFF)
if(MARQEN_TSAN)
  if(MARQEN_SANITIZE)
    message(FATAL_ERROR "MARQEN_TSAN and MARQEN_SANITIZE cannot be combined")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
