if(MARQEN_SANITIZE)
  # Applied globally so the library, the tool and the tests share one runtime.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
