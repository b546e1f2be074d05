# Install rules and the CMake package of Varrowin.
#
# Installs the program, its manual page (gzipped), the static library with its headers (under
# include/varrowin/), the README with a copyright file (under share/doc/varrowin/) and a package
# configuration, so that another project can write
#
#   find_package(Varrowin REQUIRED)
#   target_link_libraries(app PRIVATE varrowin::varrowin)
#
# Included from the top-level CMakeLists.txt after the targets exist; GNUInstallDirs must already
# be included there, because the library's install include directory is built from it.
include(CMakePackageConfigHelpers)

set(VARROWIN_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Varrowin
    CACHE STRING "Where the CMake package files of Varrowin are installed")

install(TARGETS varrowin EXPORT VarrowinTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS Varrowin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The public headers, included as <varrowin/...>.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/varrowin
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.h")

# The manual page, compressed at build time as Debian installs manual pages (gzip -n: no name or
# time stamp in the header, so that the same page always gives the same bytes). Without gzip the
# page is installed as it is.
find_program(VARROWIN_GZIP gzip)
if(VARROWIN_GZIP)
  set(_varrowin_man_page ${PROJECT_BINARY_DIR}/Varrowin.1.gz)
  add_custom_command(OUTPUT ${_varrowin_man_page}
                     COMMAND ${VARROWIN_GZIP} -n -9 -c ${PROJECT_SOURCE_DIR}/docs/Varrowin.1
                             > ${_varrowin_man_page}
                     DEPENDS ${PROJECT_SOURCE_DIR}/docs/Varrowin.1
                     COMMENT "Compressing the manual page"
                     VERBATIM)
  add_custom_target(varrowin_man_page ALL DEPENDS ${_varrowin_man_page})
else()
  set(_varrowin_man_page ${PROJECT_SOURCE_DIR}/docs/Varrowin.1)
endif()
install(FILES ${_varrowin_man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
unset(_varrowin_man_page)

# The documentation directory is named after the Debian package, in lower case.
set(VARROWIN_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/varrowin
    CACHE STRING "Where the README and the copyright file of Varrowin are installed")
# The copyright file in the machine-readable format of Debian, with the licence text of LICENSE.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE _varrowin_license)
string(REGEX REPLACE "\n$" "" _varrowin_license "${_varrowin_license}")
string(REGEX REPLACE "\n\n" "\n.\n" _varrowin_license "${_varrowin_license}")
string(REGEX REPLACE "\n" "\n " _varrowin_license "${_varrowin_license}")
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/copyright
     CONTENT "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Varrowin
Upstream-Contact: Varrowin developers
Source: the source tarball varrowin-${PROJECT_VERSION}.tar.gz

Files: *
Copyright: 2026 Varrowin developers
License: MIT

License: MIT
 ${_varrowin_license}
")
unset(_varrowin_license)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_BINARY_DIR}/copyright
        DESTINATION ${VARROWIN_INSTALL_DOCDIR})

install(EXPORT VarrowinTargets
        NAMESPACE varrowin::
        FILE VarrowinTargets.cmake
        DESTINATION ${VARROWIN_INSTALL_CMAKEDIR})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/VarrowinConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/VarrowinConfig.cmake
                              INSTALL_DESTINATION ${VARROWIN_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VarrowinConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION}
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VarrowinConfig.cmake
              ${PROJECT_BINARY_DIR}/VarrowinConfigVersion.cmake
        DESTINATION ${VARROWIN_INSTALL_CMAKEDIR})
