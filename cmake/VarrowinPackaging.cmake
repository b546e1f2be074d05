# CPack: a source tarball (TGZ) and a Debian package (DEB) of the installed tree.
#
#   cpack --config <build>/CPackSourceConfig.cmake     source tarball
#   cd <build> && cpack -G DEB                          Debian package
set(CPACK_PACKAGE_NAME Varrowin)
set(CPACK_PACKAGE_VENDOR "Varrowin developers")
set(CPACK_PACKAGE_CONTACT "Varrowin developers <varrowin@users.noreply.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "Varrowin reads the result file of a spatially explicit population model (the MP file) and
measures, year by year, how the two margins of a species' range move relative to the range as a
whole. It prints a delimiter-separated report. The package also holds the static library and its
headers with a CMake package (find_package(Varrowin)).")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR TGZ DEB)
# Packages land in the build tree, wherever cpack is started from.
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
set(CPACK_STRIP_FILES ON)

# Source tarball: the source tree without version control and without what .gitignore names
# (build trees, run leftovers, what the recipes write), so that the two lists cannot drift apart.
# Each .gitignore line is a pattern of the simple kind used there: a leading / anchors it at the
# top of the tree, a trailing / names a directory, * and ? match within one path component.
string(REGEX REPLACE "([][+.*()^$?|\\\\])" "\\\\\\1" _varrowin_source_regex
       "${PROJECT_SOURCE_DIR}")
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_PACKAGE_FILE_NAME "varrowin-${PROJECT_VERSION}")
set(CPACK_SOURCE_IGNORE_FILES
    "^${_varrowin_source_regex}/\\.git/"
    "^${_varrowin_source_regex}/\\.git$"
    "~$"
    "\\.swp$")
file(STRINGS ${PROJECT_SOURCE_DIR}/.gitignore _varrowin_ignored REGEX "^[^#]")
foreach(_pattern IN LISTS _varrowin_ignored)
  string(STRIP "${_pattern}" _pattern)
  if(_pattern STREQUAL "")
    continue()
  endif()
  set(_prefix "/")
  if(_pattern MATCHES "^/")
    set(_prefix "^${_varrowin_source_regex}/")
    string(SUBSTRING "${_pattern}" 1 -1 _pattern)
  endif()
  set(_suffix "(/|$)")
  if(_pattern MATCHES "/$")
    set(_suffix "/")
    string(REGEX REPLACE "/$" "" _pattern "${_pattern}")
  endif()
  string(REGEX REPLACE "([][+.()^$|\\\\])" "\\\\\\1" _pattern "${_pattern}")
  string(REPLACE "*" "[^/]*" _pattern "${_pattern}")
  string(REPLACE "?" "[^/]" _pattern "${_pattern}")
  list(APPEND CPACK_SOURCE_IGNORE_FILES "${_prefix}${_pattern}${_suffix}")
endforeach()
# CPack reads these back from a generated CMake file, where each backslash must be doubled.
string(REPLACE "\\" "\\\\" CPACK_SOURCE_IGNORE_FILES "${CPACK_SOURCE_IGNORE_FILES}")
unset(_varrowin_source_regex)
unset(_varrowin_ignored)
unset(_pattern)
unset(_prefix)
unset(_suffix)

# Debian package: one package with the program, its manual page, the library and its headers.
set(CPACK_DEBIAN_PACKAGE_NAME varrowin)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
find_program(VARROWIN_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VARROWIN_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1, zlib1g")
endif()

include(CPack)
