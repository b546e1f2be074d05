# Checks that CITATION.cff cites the version that the build has (the one in Version.h).
#
#   cmake -DCITATION=<path to CITATION.cff> -DVERSION=<x.y.z> -P CheckCitation.cmake
#
# Ends with an error when the file has no "version:" line or names another version.
if(NOT DEFINED CITATION OR NOT DEFINED VERSION)
  message(FATAL_ERROR "Usage: cmake -DCITATION=<file> -DVERSION=<x.y.z> -P CheckCitation.cmake")
endif()
file(STRINGS "${CITATION}" _lines REGEX "^version:")
list(LENGTH _lines _count)
if(NOT _count EQUAL 1)
  message(FATAL_ERROR "${CITATION}: expected one top-level \"version:\" line, found ${_count}")
endif()
string(REGEX REPLACE "^version:[ \t]*\"?([^\" \t]*)\"?[ \t]*$" "\\1" _cited "${_lines}")
if(NOT _cited STREQUAL VERSION)
  message(FATAL_ERROR "${CITATION} cites version '${_cited}', the build is version '${VERSION}'")
endif()
message(STATUS "${CITATION} cites version ${VERSION}")
