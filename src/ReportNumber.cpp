#include "ReportNumber.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace varrowin {

namespace {

char* WriteExact(char* first, double value) {
  return std::to_chars(first, first + kShortGRoom, value, std::chars_format::general, 6).ptr;
}

}  // namespace

// The six significant digits come from the shortest decimal that reads back as the value, rounded
// to six digits. For a normal number that decimal lies within half a unit in the 16th digit of
// the value, so no six-digit rounding boundary (a seven-digit number ending in 5) can fall between
// the two unless the shortest decimal is that boundary itself: rounding it gives the digits of the
// value, except in that case, which goes to the exact conversion, as do zero, subnormal numbers,
// infinities and not-a-number.
char* WriteShortG(char* first, double value) {
  const double size = std::fabs(value);
  if (!(size >= std::numeric_limits<double>::min()) || std::isinf(size)) {
    return WriteExact(first, value);
  }
  char shortest[kShortGRoom] = {};
  const std::to_chars_result converted =
      std::to_chars(shortest, shortest + kShortGRoom, value, std::chars_format::scientific);
  if (converted.ec != std::errc()) {
    return WriteExact(first, value);
  }
  // shortest is [-]d[.ddd]e(+|-)xx[x].
  const char* p = shortest;
  const bool negative = *p == '-';
  if (negative) {
    ++p;
  }
  char digits[20] = {};
  int count = 0;
  for (; *p != 'e'; ++p) {
    if (*p != '.') {
      digits[count++] = *p;
    }
  }
  int exponent = 0;
  std::from_chars(p + (p[1] == '+' ? 2 : 1), converted.ptr, exponent);
  if (count > 6) {
    if (count == 7 && digits[6] == '5') {
      return WriteExact(first, value);
    }
    count = 6;
    if (digits[6] >= '5') {
      int k = 5;
      while (k >= 0 && digits[k] == '9') {
        digits[k--] = '0';
      }
      if (k >= 0) {
        ++digits[k];
      } else {
        digits[0] = '1';
        ++exponent;
      }
    }
  }
  while (count > 1 && digits[count - 1] == '0') {
    --count;
  }

  char* out = first;
  if (negative) {
    *out++ = '-';
  }
  if (exponent < -4 || exponent >= 6) {
    *out++ = digits[0];
    if (count > 1) {
      *out++ = '.';
      for (int k = 1; k < count; ++k) {
        *out++ = digits[k];
      }
    }
    *out++ = 'e';
    *out++ = exponent < 0 ? '-' : '+';
    const int magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude < 10) {
      *out++ = '0';
    }
    return std::to_chars(out, first + kShortGRoom, magnitude).ptr;
  }
  if (exponent < 0) {
    *out++ = '0';
    *out++ = '.';
    for (int k = -1; k > exponent; --k) {
      *out++ = '0';
    }
    for (int k = 0; k < count; ++k) {
      *out++ = digits[k];
    }
    return out;
  }
  // exponent + 1 digits before the point, zeros where the digits have ended.
  for (int k = 0; k <= exponent; ++k) {
    *out++ = k < count ? digits[k] : '0';
  }
  if (count > exponent + 1) {
    *out++ = '.';
    for (int k = exponent + 1; k < count; ++k) {
      *out++ = digits[k];
    }
  }
  return out;
}

}  // namespace varrowin
