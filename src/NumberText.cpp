#include "NumberText.h"

#include <locale.h>
#include <algorithm>
#include <charconv>
#include <cstdint>
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

bool IsHexDigit(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The text after leading white space and at most one sign, and whether that sign was a minus.
std::string_view SkipSpaceAndSign(std::string_view text, bool& negative) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) {
    ++i;
  }
  negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  return text.substr(i);
}

// The shape of a floating-point number's text after its sign and any 0x prefix.
struct TFloatShape {
  bool valid = false;
  // The digit position of the first nonzero digit: 0 for the units digit, 1 for the next digit
  // to the left, -1 for the first digit after the point. Meaningless when every digit is 0.
  std::int64_t lead = 0;
  std::int64_t exponent = 0;  // the written exponent, saturated at +-10^9
};

// Checks that body is digits (of the given base) with at most one point and at least one digit,
// then optionally the exponent letter, a sign and decimal digits, and nothing else.
TFloatShape ShapeOf(std::string_view body, bool hex) {
  TFloatShape shape;
  const auto isDigit = hex ? IsHexDigit : IsDigit;
  std::size_t k = 0;
  std::int64_t digits = 0;
  std::int64_t beforePoint = 0;
  std::int64_t firstNonzero = -1;  // index among the digits
  bool point = false;
  for (; k < body.size(); ++k) {
    const char c = body[k];
    if (isDigit(c)) {
      if (firstNonzero < 0 && c != '0') {
        firstNonzero = digits;
      }
      ++digits;
      beforePoint += point ? 0 : 1;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0) {
    return shape;
  }
  if (k < body.size() &&
      (hex ? (body[k] == 'p' || body[k] == 'P') : (body[k] == 'e' || body[k] == 'E'))) {
    ++k;
    bool negative = false;
    if (k < body.size() && (body[k] == '+' || body[k] == '-')) {
      negative = body[k] == '-';
      ++k;
    }
    if (k == body.size() || !IsDigit(body[k])) {
      return shape;
    }
    constexpr std::int64_t kCap = 1000000000;
    for (; k < body.size() && IsDigit(body[k]); ++k) {
      shape.exponent = std::min(kCap, shape.exponent * 10 + (body[k] - '0'));
    }
    shape.exponent = negative ? -shape.exponent : shape.exponent;
  }
  shape.valid = k == body.size();
  shape.lead = beforePoint - 1 - firstNonzero;
  return shape;
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
      // At most 15 digits with an optional point: an exactly representable integer divided by an
      // exact power of ten, which one correctly rounded division gives.
      std::uint64_t mantissa = 0;
      const char* q = p;
      while (q != end && IsDigit(*q)) {
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(*q - '0');
        ++q;
      }
      std::ptrdiff_t fraction = 0;
      bool point = false;
      if (q != end && *q == '.') {
        point = true;
        const char* const first = ++q;
        while (q != end && IsDigit(*q)) {
          mantissa = mantissa * 10 + static_cast<std::uint64_t>(*q - '0');
          ++q;
        }
        fraction = q - first;
      }
      // More than 15 digits may have wrapped the mantissa: such text takes the path below.
      const std::ptrdiff_t digits = (q - p) - (point ? 1 : 0);
      if (q == end && digits > 0 && digits <= 15) {
        static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                  1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        double exact = static_cast<double>(mantissa);
        if (fraction > 0) {
          exact /= kPowersOfTen[fraction];
        }
        return *begin == '-' ? -exact : exact;
      }
      double value = 0.0;
      const auto result = std::from_chars(begin, end, value);
      if (result.ec == std::errc() && result.ptr == end) {
        return value;
      }
    }
  }
  // General path: exactly what atof does in the "C" locale, on a NUL-terminated copy. The locale
  // is fixed here, not taken from the process or the thread: a program that sets a decimal-comma
  // locale (as a Python session may) reads the same numbers on every thread.
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  const std::string copy(text);
  return strtod_l(copy.c_str(), nullptr, cLocale);
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

TWholeNumber ParseWholeNumber(std::string_view text, std::int32_t& value) {
  bool negative = false;
  const std::string_view digits = SkipSpaceAndSign(text, negative);
  if (digits.empty() || !std::all_of(digits.begin(), digits.end(), IsDigit)) {
    return TWholeNumber::kNotWhole;
  }
  // Magnitudes beyond 2^31 are out of range whatever follows; stop counting there.
  constexpr std::uint64_t kLimit = std::uint64_t{1} << 31;
  std::uint64_t magnitude = 0;
  for (const char c : digits) {
    magnitude = std::min(kLimit + 1, magnitude * 10 + static_cast<std::uint64_t>(c - '0'));
  }
  if (magnitude > (negative ? kLimit : kLimit - 1)) {
    return TWholeNumber::kOutOfRange;
  }
  const auto signedMagnitude = static_cast<std::int64_t>(magnitude);
  value = static_cast<std::int32_t>(negative ? -signedMagnitude : signedMagnitude);
  return TWholeNumber::kValid;
}

bool ParseStrictDouble(std::string_view text, double& value) {
  bool negative = false;
  std::string_view body = SkipSpaceAndSign(text, negative);
  const bool hex = body.size() >= 2 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X');
  if (hex) {
    body.remove_prefix(2);
  }
  // The shape is checked here, so that from_chars sees only what strtod would take whole: no
  // infinity or not-a-number words, no second sign, no prefix.
  const TFloatShape shape = ShapeOf(body, hex);
  if (!shape.valid) {
    return false;
  }
  double magnitude = 0.0;
  const auto result = std::from_chars(body.data(), body.data() + body.size(), magnitude,
                                      hex ? std::chars_format::hex : std::chars_format::general);
  if (result.ptr != body.data() + body.size()) {
    return false;
  }
  if (result.ec == std::errc::result_out_of_range) {
    // The number lies beyond the largest double or below half the smallest denormal, far from 1
    // either way: strtod gives infinity for the first and zero for the second. The leading
    // digit's place and the exponent tell which: a value of 1 or more needs lead + exponent >= 0
    // (in base 16 and 2 for hexadecimal text, where 4 * lead + exponent is the power of two).
    const std::int64_t power = hex ? 4 * shape.lead + shape.exponent : shape.lead + shape.exponent;
    magnitude = power >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (result.ec != std::errc()) {
    return false;
  }
  value = negative ? -magnitude : magnitude;
  return true;
}

}  // namespace varrowin
