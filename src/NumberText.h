// Conversion of numeric text: with the semantics of the C library's atof and atol, and strict
// forms that take a whole text or refuse it.
#pragma once

#include <cstdint>
#include <string_view>

namespace varrowin {

// Returns what atof returns for the text (the text ends at its end or at its first NUL byte):
// leading white space skipped, the longest valid prefix converted, 0 when there is none.
// Plain decimal text takes a fast path that gives the same value.
double ParseDouble(std::string_view text);

// The result of ParseInteger: the value atol gives and whether it fits in 32 bits.
struct TParsedInteger {
  std::int64_t value = 0;  // saturated at the int64 limits
  bool fitsInt32 = true;
};

// Converts the text as atol does (leading white space, optional sign, decimal digits; 0 when
// there is no number) and tells whether the value fits a signed 32-bit integer.
TParsedInteger ParseInteger(std::string_view text);

// The result of ParseWholeNumber.
enum class TWholeNumber {
  kValid,       // the value fits a signed 32-bit integer
  kNotWhole,    // the text is not a whole decimal number
  kOutOfRange,  // a whole decimal number outside the signed 32-bit range
};

// Reads a whole decimal number strictly: leading white space (space, tab, newline, vertical tab,
// form feed, carriage return), at most one sign, one or more decimal digits and nothing after
// them. On kValid the number is stored in value; otherwise value is unchanged.
TWholeNumber ParseWholeNumber(std::string_view text, std::int32_t& value);

// Reads a floating-point number strictly, as strtod reads it in the "C" locale: leading white
// space, at most one sign, then a decimal number (digits with an optional point and an optional
// exponent) or a hexadecimal one (0x or 0X, hexadecimal digits with an optional point and an
// optional binary exponent), and nothing after it. Infinity and not-a-number words are refused.
// Returns false when the text is not such a number; otherwise stores in value the double that
// strtod gives for the text (infinite or zero when the number is outside the double range).
// Does not depend on the process locale.
bool ParseStrictDouble(std::string_view text, double& value);

}  // namespace varrowin
