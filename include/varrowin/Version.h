// The version of Varrowin: the one place it is written. CMake reads it from here for the project
// version, and the R package and the Python module take theirs from it.
#pragma once

namespace varrowin {

inline constexpr const char* kVersion = "1.1.0";

}  // namespace varrowin
