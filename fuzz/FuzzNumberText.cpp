// libFuzzer target: the number conversions against the C library they stand in for.
// ParseDouble must give exactly what atof gives (the same bits; any NaN for a NaN), and
// ParseInteger what strtoll gives (which saturates at the 64-bit limits, as ParseInteger does),
// with fitsInt32 telling whether that value fits 32 bits. The text ends at its first NUL byte
// for the C library, as it does for the reader. The strict forms must accept exactly the texts
// that strtod and strtol take whole (strtod's infinity and not-a-number words excepted), with
// their values.
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

  // Whole-text strtod and strtol, in the "C" locale the fuzzer runs in.
  const bool hasNul = text.find('\0') != std::string_view::npos;
  char* end = nullptr;
  const double strtodValue = std::strtod(copy.c_str(), &end);
  const bool strtodWhole = !text.empty() && !hasNul && end == copy.c_str() + copy.size() &&
                           text.find_first_of("iInN") == std::string_view::npos;
  double strict = 0.0;
  const bool strictValid = varrowin::ParseStrictDouble(text, strict);
  if (strictValid != strtodWhole ||
      (strictValid &&
       std::bit_cast<std::uint64_t>(strict) != std::bit_cast<std::uint64_t>(strtodValue))) {
    std::fprintf(stderr, "ParseStrictDouble(\"%s\") = %d %a, strtod = %d %a\n", copy.c_str(),
                 strictValid ? 1 : 0, strict, strtodWhole ? 1 : 0, strtodValue);
    std::abort();
  }

  errno = 0;
  const long strtolValue = std::strtol(copy.c_str(), &end, 10);
  const bool strtolRange = errno != ERANGE &&
                           strtolValue >= std::numeric_limits<std::int32_t>::min() &&
                           strtolValue <= std::numeric_limits<std::int32_t>::max();
  const bool strtolWhole = !text.empty() && !hasNul && end == copy.c_str() + copy.size() &&
                           text.find_first_of("0123456789") != std::string_view::npos;
  std::int32_t whole = 0;
  const varrowin::TWholeNumber wholeResult = varrowin::ParseWholeNumber(text, whole);
  const varrowin::TWholeNumber expectedWhole =
      !strtolWhole
          ? varrowin::TWholeNumber::kNotWhole
          : (strtolRange ? varrowin::TWholeNumber::kValid : varrowin::TWholeNumber::kOutOfRange);
  if (wholeResult != expectedWhole ||
      (wholeResult == varrowin::TWholeNumber::kValid && whole != strtolValue)) {
    std::fprintf(stderr, "ParseWholeNumber(\"%s\") = %d %d, strtol = %ld\n", copy.c_str(),
                 static_cast<int>(wholeResult), whole, strtolValue);
    std::abort();
  }
  return 0;
}
