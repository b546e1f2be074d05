#include "NumberText.h"

#include <charconv>
#include <cstdlib>
#include <limits>
#include <string>
#include <system_error>

namespace varrowin {

namespace {

constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The white space that atof and atol skip in the "C" locale.
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

double ParseDouble(std::string_view text) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  // Fast path: text that is entirely a plain decimal number (optional minus, digits or a point
  // first). For such text std::from_chars and strtod both give the correctly rounded value.
  if (begin != end) {
    const char* p = begin;
    if (*p == '-') {
      ++p;
    }
    if (p != end && (IsDigit(*p) || *p == '.')) {
      double value = 0.0;
      const auto result = std::from_chars(begin, end, value);
      if (result.ec == std::errc() && result.ptr == end) {
        return value;
      }
    }
  }
  // General path: exactly what atof does, on a NUL-terminated copy.
  const std::string copy(text);
  return std::strtod(copy.c_str(), nullptr);
}

TParsedInteger ParseInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Accumulate the magnitude, saturating at the limit of the sign (2^63 for negative values).
  const std::uint64_t limit =
      negative ? std::uint64_t{1} << 63 : static_cast<std::uint64_t>(kInt64Max);
  std::uint64_t magnitude = 0;
  bool saturated = false;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    const auto digit = static_cast<std::uint64_t>(text[i] - '0');
    if (saturated || magnitude > (limit - digit) / 10) {
      saturated = true;
      continue;
    }
    magnitude = magnitude * 10 + digit;
  }
  TParsedInteger parsed;
  if (saturated) {
    parsed.value = negative ? std::numeric_limits<std::int64_t>::min() : kInt64Max;
  } else if (negative) {
    // 0 - magnitude in unsigned arithmetic, then back: exact also for 2^63.
    parsed.value = static_cast<std::int64_t>(~magnitude + 1);
  } else {
    parsed.value = static_cast<std::int64_t>(magnitude);
  }
  parsed.fitsInt32 = parsed.value >= std::numeric_limits<std::int32_t>::min() &&
                     parsed.value <= std::numeric_limits<std::int32_t>::max();
  return parsed;
}

}  // namespace varrowin
