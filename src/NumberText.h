// Conversion of numeric text with the semantics of the C library's atof and atol.
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

}  // namespace varrowin
