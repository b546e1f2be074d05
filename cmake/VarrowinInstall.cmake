# Install rules and the CMake package of Varrowin.
#
# Installs the program, its manual page, the static library with its headers (under
# include/varrowin/) and a package configuration, so that another project can write
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

install(FILES ${PROJECT_SOURCE_DIR}/docs/Varrowin.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

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
