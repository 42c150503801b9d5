if(MARQEN_SANITIZE)
  # Applied globally so the library, the tool and the tests share one runtime. Programs built
  # outside this tree against the sanitized library need the same runtime: they link with
  # MARQEN_SANITIZER_FLAGS.
  set(MARQEN_SANITIZER_FLAGS -fsanitize=address,undefined)
  add_compile_options(${MARQEN_SANITIZER_FLAGS} -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(${MARQEN_SANITIZER_FLAGS})
endif()
