// Numbers as the report prints them.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace varrowin {

// Room that WriteShortG needs.
inline constexpr int kShortGRoom = 32;

// WriteShortG for the values its inline part does not write: the finite ones that are not whole
// numbers below a million.
char* WriteShortGOther(char* first, double value);

// Writes the value as printf's "%.6g" writes it in the "C" locale (and as a default-formatted
// std::ostream does) to first, which has room for kShortGRoom characters; returns the end.
// Whole numbers below a million (zero included), infinities and not-a-number, the most common
// values of a report, are written here.
inline char* WriteShortG(char* first, double value) {
  const double size = std::fabs(value);
  char* out = first;
  // False for not-a-number.
  if (size < 1000000.0) {
    const auto whole = static_cast<std::int32_t>(size);
    if (static_cast<double>(whole) == size) {
      if (std::signbit(value)) {
        *out++ = '-';
      }
      return std::to_chars(out, first + kShortGRoom, whole).ptr;
    }
    return WriteShortGOther(first, value);
  }
  if (std::isnan(size) || std::isinf(size)) {
    if (std::signbit(value)) {
      *out++ = '-';
    }
    const std::string_view text = std::isnan(size) ? "nan" : "inf";
    for (const char c : text) {
      *out++ = c;
    }
    return out;
  }
  return WriteShortGOther(first, value);
}

}  // namespace varrowin
