# An HTTP server on 127.0.0.1 and raw loopback responders for the download tests.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
# The packaged library is compiled with TLS and compression support; its pkg-config flags
# carry the matching defines, without which the header's classes would not match the library.
pkg_check_modules(CPP_HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)

add_library(marqen_test_http STATIC support/http_test_server.cpp)
target_include_directories(marqen_test_http PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(marqen_test_http PUBLIC Threads::Threads platform_os
                                       PRIVATE PkgConfig::CPP_HTTPLIB marqen_warnings)
