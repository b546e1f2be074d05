#include "ReportNumber.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace varrowin {
namespace {

std::string Fast(double value) {
  char text[kShortGRoom];
  return std::string(text, WriteShortG(text, value));
}

std::string Exact(double value) {
  char text[kShortGRoom];
  return std::string(
      text, std::to_chars(text, text + kShortGRoom, value, std::chars_format::general, 6).ptr);
}

// Special values, rounding boundaries (exact seven-digit midpoints and their neighbours), carries
// into a new digit, the switches between fixed and exponent notation, and subnormal numbers.
TEST(ReportNumberTest, EdgeValuesMatchTheExactConversion) {
  const double inf = std::numeric_limits<double>::infinity();
  const double values[] = {0.0,
                           -0.0,
                           inf,
                           -inf,
                           std::numeric_limits<double>::quiet_NaN(),
                           -std::numeric_limits<double>::quiet_NaN(),
                           1.0,
                           -1.0,
                           0.5,
                           1234565.0,
                           123456.5,
                           12345.65,
                           0.1234565,
                           1.2345650000000001,
                           999999.5,
                           9999995.0,
                           0.00099999951,
                           0.0001,
                           0.00001,
                           1e-5,
                           9.999995e-5,
                           100000.0,
                           999999.0,
                           1e6,
                           1e21,
                           1e-300,
                           1.7976931348623157e308,
                           2.2250738585072014e-308,
                           4.9406564584124654e-324,
                           1e-310,
                           33.333333333333336,
                           2.5,
                           100.0,
                           12.0};
  for (const double value : values) {
    EXPECT_EQ(Fast(value), Exact(value)) << value;
    EXPECT_EQ(Fast(std::nextafter(value, inf)), Exact(std::nextafter(value, inf))) << value;
    EXPECT_EQ(Fast(std::nextafter(value, -inf)), Exact(std::nextafter(value, -inf))) << value;
  }
}

// Around every decade from 1e-25 to 1e30 (where the six digits come from one scaling by an exact
// power of ten, and just outside that range): the decade itself, the largest value below it, the
// values that round up into it, and seven-digit midpoints, each with its neighbours.
TEST(ReportNumberTest, DecadesAndMidpointsMatchTheExactConversion) {
  const double inf = std::numeric_limits<double>::infinity();
  for (int exponent = -25; exponent <= 30; ++exponent) {
    const double decade = std::pow(10.0, exponent);
    for (const double mantissa : {1.0, 9.999995, 9.9999949999, 9.99999, 1.000005, 1.2345675,
                                  5.0000005, 9.9999995, 2.5, 1.0000015, 1.000015, 9.999985}) {
      const double value = mantissa * decade;
      for (const double near : {value, std::nextafter(value, inf), std::nextafter(value, -inf)}) {
        EXPECT_EQ(Fast(near), Exact(near)) << near;
        EXPECT_EQ(Fast(-near), Exact(-near)) << -near;
      }
    }
  }
}

// Whole numbers print as integers up to six digits and in the exponent form from 1e6 on.
TEST(ReportNumberTest, WholeNumbersMatchTheExactConversion) {
  for (std::int64_t n = -1000100; n <= 1000100; n += (n > -3000 && n < 3000) ? 1 : 7) {
    const auto value = static_cast<double>(n);
    ASSERT_EQ(Fast(value), Exact(value)) << n;
  }
  for (const double value : {999999.0, 1000000.0, 1000001.0, 4294967296.0, 1e15, 1e16, 1e300}) {
    EXPECT_EQ(Fast(value), Exact(value)) << value;
    EXPECT_EQ(Fast(-value), Exact(-value)) << value;
  }
}

// Random bit patterns (every exponent), random decimals of a few digits (many exact midpoints and
// short decimals) and values like the report's percentages.
TEST(ReportNumberTest, RandomValuesMatchTheExactConversion) {
  std::mt19937_64 rng(42);
  for (int i = 0; i < 600000; ++i) {
    double value = 0;
    switch (i % 3) {
      case 0: {
        const std::uint64_t bits = rng();
        std::memcpy(&value, &bits, sizeof value);
        break;
      }
      case 1: {
        const auto digits = static_cast<double>(rng() % 100000000);
        value =
            digits / std::pow(10.0, static_cast<double>(rng() % 16)) * ((rng() & 1U) != 0 ? 1 : -1);
        break;
      }
      default:
        value = static_cast<double>(rng() % 2000000) / static_cast<double>(1 + rng() % 997) - 700;
    }
    ASSERT_EQ(Fast(value), Exact(value)) << i;
  }
}

}  // namespace
}  // namespace varrowin
