// libFuzzer target: the number conversions against the C library they stand in for.
// ParseDouble must give exactly what atof gives (the same bits; any NaN for a NaN), and
// ParseInteger what strtoll gives (which saturates at the 64-bit limits, as ParseInteger does),
// with fitsInt32 telling whether that value fits 32 bits. The text ends at its first NUL byte
// for the C library, as it does for the reader.
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "NumberText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string copy(text);  // NUL-terminated for the C library

  const double ours = varrowin::ParseDouble(text);
  const double theirs = std::atof(copy.c_str());
  const bool same = (std::isnan(ours) && std::isnan(theirs)) ||
                    std::bit_cast<std::uint64_t>(ours) == std::bit_cast<std::uint64_t>(theirs);
  if (!same) {
    std::fprintf(stderr, "ParseDouble(\"%s\") = %.17g, atof = %.17g\n", copy.c_str(), ours, theirs);
    std::abort();
  }

  errno = 0;
  const long long expected = std::strtoll(copy.c_str(), nullptr, 10);
  const varrowin::TParsedInteger parsed = varrowin::ParseInteger(text);
  const bool fits = expected >= std::numeric_limits<std::int32_t>::min() &&
                    expected <= std::numeric_limits<std::int32_t>::max();
  if (parsed.value != expected || parsed.fitsInt32 != fits) {
    std::fprintf(stderr, "ParseInteger(\"%s\") = %lld (fits %d), strtoll = %lld\n", copy.c_str(),
                 static_cast<long long>(parsed.value), parsed.fitsInt32 ? 1 : 0, expected);
    std::abort();
  }
  return 0;
}
