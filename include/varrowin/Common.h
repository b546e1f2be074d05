// Types and the error type shared by every module of Varrowin.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace varrowin {

// A simulated calendar year. Years are 32-bit on every platform.
using TYear = std::int32_t;

// An ascending list of years, as GetYearList and MakeYearList return it.
using TYearList = std::vector<TYear>;

// Every error of the system: an exception that carries a message text and nothing else.
class TError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace varrowin
