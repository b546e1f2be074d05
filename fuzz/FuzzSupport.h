// Helpers shared by the fuzz targets.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace varrowin::fuzz {

// A temporary file for the inputs of one fuzz target: created once per process under the given
// name prefix, removed at exit.
inline const std::string& InputPath(const char* prefix) {
  static const std::string path = [prefix] {
    std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
      std::perror("mkstemp");
      std::abort();
    }
    close(fd);
    static std::string removeAtExit;
    removeAtExit = pattern;
    std::atexit([] { std::remove(removeAtExit.c_str()); });
    return pattern;
  }();
  return path;
}

}  // namespace varrowin::fuzz
