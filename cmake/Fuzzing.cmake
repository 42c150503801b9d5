if(MARQEN_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang" OR NOT CMAKE_C_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "MARQEN_FUZZ needs clang: configure with CC=clang CXX=clang++")
  endif()
  # Coverage for libFuzzer in every object, the library included; only the fuzz targets link
  # libFuzzer's main (-fsanitize=fuzzer), so the seed generator stays an ordinary program.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
endif()
