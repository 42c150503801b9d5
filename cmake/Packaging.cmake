# What `cmake --install` puts under the prefix and what `cpack -G DEB` packs: the shared library
# with its SONAME link and its modules, the public header, the marqen tool with its manual page
# and bash completion, the control, the web bridge with its user unit, a pkg-config file and a
# CMake package.
# The library's internal static and object libraries, the tests and their support stay behind.
include(CMakePackageConfigHelpers)

set(MARQEN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Marqen)

install(TARGETS Marqen_InterfaceV2 EXPORT MarqenTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime
                NAMELINK_COMPONENT Development
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# The download module lies beside the library, which loads it from its own folder on first use.
install(TARGETS marqen_net LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime)
# So does the token module, loaded on the first use of a key on a token.
install(TARGETS marqen_token LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime)
# And the dialogs' module (GTK), loaded on the first dialog (a PIN prompt, the
# certificate picker); the tool finds it along its RUNPATH.
install(TARGETS marqen_ui LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime)
install(TARGETS marqen RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
# The control lies in the library folder too: it loads the library and the dialogs' module from
# its own folder, and `marqen control register` finds it along the tool's RUNPATH.
if(TARGET MarqenI)
  install(TARGETS MarqenI LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime)
endif()
# The web bridge, its manual page, and a systemd user unit naming the program where it was
# installed; the prefix is known only at install time (cpack installs under /usr).
if(TARGET marqen-bridge)
  install(TARGETS marqen-bridge RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
  install(FILES ${PROJECT_SOURCE_DIR}/bridge/marqen-bridge.1
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Runtime)
  install(CODE "
    set(MARQEN_BRIDGE_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
    if(NOT IS_ABSOLUTE \"\${MARQEN_BRIDGE_BINDIR}\")
      set(MARQEN_BRIDGE_BINDIR \"\${CMAKE_INSTALL_PREFIX}/\${MARQEN_BRIDGE_BINDIR}\")
    endif()
    configure_file(\"${PROJECT_SOURCE_DIR}/bridge/marqen-bridge.service.in\"
                   \"${PROJECT_BINARY_DIR}/unit/marqen-bridge.service\" @ONLY)
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/user\" TYPE FILE
         FILES \"${PROJECT_BINARY_DIR}/unit/marqen-bridge.service\")" COMPONENT Runtime)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/tools/marqen/share/marqen.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Runtime)
install(FILES ${PROJECT_SOURCE_DIR}/tools/marqen/share/marqen.bash
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions RENAME marqen
        COMPONENT Runtime)
install(FILES ${PROJECT_SOURCE_DIR}/library/include/Marqen_InterfaceV2.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)

# find_package(Marqen) gives Marqen::Marqen_InterfaceV2.
install(EXPORT MarqenTargets NAMESPACE Marqen:: DESTINATION ${MARQEN_CMAKE_DIR}
        COMPONENT Development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/MarqenConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/MarqenConfig.cmake
                              INSTALL_DESTINATION ${MARQEN_CMAKE_DIR})
# A new major version is a new ABI (and SONAME), so only the same major version matches.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/MarqenConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/MarqenConfig.cmake ${PROJECT_BINARY_DIR}/MarqenConfigVersion.cmake
        DESTINATION ${MARQEN_CMAKE_DIR} COMPONENT Development)

# The pkg-config file finds its prefix from its own place, so an installed tree can be moved
# (and `cmake --install --prefix` can choose another prefix than the configured one).
set(MARQEN_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(MARQEN_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH up /p/${MARQEN_PC_DIR} /p)
  string(REGEX REPLACE "/$" "" up "${up}")
  set(MARQEN_PC_PREFIX "\${pcfiledir}/${up}")
endif()
set(MARQEN_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
set(MARQEN_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
foreach(dir MARQEN_PC_LIBDIR MARQEN_PC_INCLUDEDIR)
  if(NOT IS_ABSOLUTE "${${dir}}")
    set(${dir} "\${prefix}/${${dir}}")
  endif()
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/cmake/marqen.pc.in ${PROJECT_BINARY_DIR}/marqen.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/marqen.pc DESTINATION ${MARQEN_PC_DIR} COMPONENT Development)

# The header states the API version; it must be the project's.
file(STRINGS ${PROJECT_SOURCE_DIR}/library/include/Marqen_InterfaceV2.h api_version
     REGEX "^#define MARQEN_API_VERSION_(MAJOR|MINOR) ")
string(REGEX REPLACE ".*MAJOR ([0-9]+).*" "\\1" api_major "${api_version}")
string(REGEX REPLACE ".*MINOR ([0-9]+).*" "\\1" api_minor "${api_version}")
if(NOT "${api_major}.${api_minor}" STREQUAL "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
  message(FATAL_ERROR "Marqen_InterfaceV2.h declares API version ${api_major}.${api_minor}, "
                      "the project is ${PROJECT_VERSION}")
endif()

# One Debian package with everything above; dpkg-shlibdeps works out the run-time dependencies
# (libssl3, libcurl4, ...) from the binaries themselves.
set(CPACK_PACKAGE_NAME marqen)
set(CPACK_PACKAGE_VENDOR "Marqen")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "PKCS#7 signing and verification library with a C interface")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "libMarqen_InterfaceV2 signs and verifies PKCS#7 signed data with the user's certificates "
       "and keys on OpenSSL 3; the marqen tool drives it from a shell.")
set(CPACK_PACKAGE_CONTACT "Marqen maintainers <maintainers@users.noreply.c-seed-b616f967.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES OFF)
set(CPACK_GENERATOR DEB)
include(CPack)
