#include "ReportNumber.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>
#include <system_error>

namespace varrowin {

namespace {

char* WriteExact(char* first, double value) {
  return std::to_chars(first, first + kShortGRoom, value, std::chars_format::general, 6).ptr;
}

// Exact powers of ten: every one up to 1e22 is a double.
constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kMaxExactPower = 22;

// size scaled to six digits before the point: size * 10^(5 - exponent), by one correctly rounded
// multiplication or division by an exact power of ten. False when that power is not exact.
bool ScaleToSixDigits(double size, int exponent, double& scaled) {
  const int shift = 5 - exponent;
  if (shift >= 0 && shift <= kMaxExactPower) {
    scaled = size * kPowersOfTen[shift];
    return true;
  }
  if (shift < 0 && -shift <= kMaxExactPower) {
    scaled = size / kPowersOfTen[-shift];
    return true;
  }
  return false;
}

// The six significant digits of a positive normal number and the decimal exponent of the first,
// from one scaling: the scaled value is within half a unit in its last place (below 2^-33 for
// values under 2^20) of the exact product, so rounding it to an integer gives the exact
// product's rounding unless it lies within 1e-9 of a half. Then, and when the power of ten is
// not exact, false: the caller takes the shortest-decimal path.
bool ScaledDigits(double size, char (&digits)[20], int& count, int& exponent) {
  // floor(log10(size)) or one less: the binary exponent times log10(2) (78913 / 2^18, rounded
  // down), rounded down; the loop below corrects it.
  const auto binary = static_cast<int>((std::bit_cast<std::uint64_t>(size) >> 52U) & 0x7FFU) - 1023;
  exponent = (binary * 78913) >> 18;
  double scaled = 0.0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!ScaleToSixDigits(size, exponent, scaled)) {
      return false;
    }
    // One step up when the size lies in the upper decade of its binary exponent.
    if (scaled < 100000.0) {
      --exponent;
    } else if (scaled >= 1000000.0) {
      ++exponent;
    } else {
      break;
    }
  }
  // Next to a decade the scaled value may round across it: either exponent then gives the same
  // digits, 999999.9... carrying to 100000 with the exponent one up.
  if (!(scaled >= 100000.0 && scaled < 1000000.0)) {
    return false;
  }
  const auto whole = static_cast<double>(static_cast<std::int64_t>(scaled));  // scaled > 0
  const double rest = scaled - whole;  // exact: both lie in the same binade or below
  if (std::fabs(rest - 0.5) < 1e-9) {
    return false;
  }
  auto n = static_cast<std::int64_t>(whole) + (rest > 0.5 ? 1 : 0);
  if (n == 1000000) {
    n = 100000;
    ++exponent;
  }
  for (int k = 5; k >= 0; --k) {
    digits[k] = static_cast<char>('0' + n % 10);
    n /= 10;
  }
  count = 6;
  return true;
}

// The digits of the shortest decimal that reads back as the value, rounded to six; false when
// that decimal is a six-digit rounding boundary and the exact conversion must decide.
bool ShortestDigits(double value, char (&digits)[20], int& count, int& exponent) {
  char shortest[kShortGRoom] = {};
  const std::to_chars_result converted =
      std::to_chars(shortest, shortest + kShortGRoom, value, std::chars_format::scientific);
  if (converted.ec != std::errc()) {
    return false;
  }
  // shortest is [-]d[.ddd]e(+|-)xx[x].
  const char* p = shortest;
  if (*p == '-') {
    ++p;
  }
  count = 0;
  for (; *p != 'e'; ++p) {
    if (*p != '.') {
      digits[count++] = *p;
    }
  }
  exponent = 0;
  std::from_chars(p + (p[1] == '+' ? 2 : 1), converted.ptr, exponent);
  if (count > 6) {
    if (count == 7 && digits[6] == '5') {
      return false;
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
  return true;
}

}  // namespace

// The six significant digits come from the value scaled by an exact power of ten when its rounding
// is clear (ScaledDigits); otherwise from the shortest decimal that reads back as the value,
// rounded to six digits. For a normal number that decimal lies within half a unit in the 16th digit
// of the value, so no six-digit rounding boundary (a seven-digit number ending in 5) can fall
// between the two unless the shortest decimal is that boundary itself: rounding it gives the digits
// of the value, except in that case, which goes to the exact conversion, as do subnormal numbers
// (and zero, infinities and not-a-number, which WriteShortG writes itself).
char* WriteShortGOther(char* first, double value) {
  const double size = std::fabs(value);
  const bool negative = std::signbit(value);
  // Zero, subnormal numbers, infinities and not-a-number.
  if (!(size >= std::numeric_limits<double>::min()) || std::isinf(size)) {
    return WriteExact(first, value);
  }
  char digits[20] = {};
  int count = 0;
  int exponent = 0;
  if (!ScaledDigits(size, digits, count, exponent) &&
      !ShortestDigits(value, digits, count, exponent)) {
    return WriteExact(first, value);
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
