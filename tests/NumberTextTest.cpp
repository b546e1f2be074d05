#include "NumberText.h"

#include <gtest/gtest.h>

#include <bit>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace varrowin {
namespace {

using namespace std::string_literals;

// What the C library gives for the text, which ends at its first NUL byte as a C string does.
double ReferenceDouble(std::string_view text) {
  return std::atof(std::string(text).c_str());
}
long ReferenceLong(std::string_view text) {
  return std::strtol(std::string(text).c_str(), nullptr, 10);
}

// Deterministic generator of texts that mix valid numbers with every trap of atof and atol.
class TTextGenerator {
 public:
  explicit TTextGenerator(std::uint64_t seed) : state_(seed) {}

  std::string Next() {
    std::string text;
    if (Chance(3)) {
      text += Pick({" ", "\t", "\n", "\v", "\f", "\r", "  \t", "\0"s});
    }
    if (Chance(2)) {
      text += Pick({"-", "+", "--", "+-", "- "});
    }
    switch (Below(6)) {
      case 0:
        text += Pick({"inf", "INF", "Inf", "infinity", "INFINITY", "iNfInItY", "infin", "nan",
                      "NaN", "NAN", "nan(123)", "nan(abc_9)", "nan(", "nan()", "in", "na"});
        break;
      case 1:
        text += Pick({"0x", "0X", "0x."});
        text += Digits("0123456789abcdefABCDEF", 1 + Below(20));
        if (Chance(2)) {
          text += Pick({"p", "P"}) + Pick({"", "+", "-"}) + Digits("0123456789", 1 + Below(4));
        }
        break;
      default:
        text += Digits("0123456789", Below(Chance(8) ? 400 : 25));
        if (Chance(2)) {
          text += '.';
          text += Digits("0123456789", Below(25));
        }
        if (Chance(2)) {
          text += Pick({"e", "E"}) + Pick({"", "+", "-", "--"});
          text += Pick({"308", "309", "-324", "324", "400", "99999999999999999999", "5", "0", "",
                        "22", "23", "307"});
        }
        break;
    }
    if (Chance(3)) {
      text += Pick({"x", " 12", "e", ".",
                    "\0"
                    "5"s,
                    "km", ",", "e5", "\t", "-", "0"});
    }
    return text;
  }

 private:
  std::uint64_t Below(std::uint64_t n) {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return (state_ >> 33) % n;
  }
  bool Chance(std::uint64_t oneIn) { return Below(oneIn) == 0; }
  std::string Pick(const std::vector<std::string>& options) {
    return options[static_cast<std::size_t>(Below(options.size()))];
  }
  std::string Digits(std::string_view alphabet, std::uint64_t count) {
    std::string digits;
    for (std::uint64_t i = 0; i < count; ++i) {
      digits += alphabet[static_cast<std::size_t>(Below(alphabet.size()))];
    }
    return digits;
  }

  std::uint64_t state_;
};

// Bit patterns, so that -0.0 differs from 0.0 and the sign of a NaN counts.
std::uint64_t Bits(double value) {
  return std::bit_cast<std::uint64_t>(value);
}

TEST(NumberTextTest, ParseDoubleIsAtofOnRandomTexts) {
  TTextGenerator generator(20240611);
  for (int i = 0; i < 200000; ++i) {
    const std::string text = generator.Next();
    ASSERT_EQ(Bits(ParseDouble(text)), Bits(ReferenceDouble(text))) << '"' << text << '"';
  }
}

TEST(NumberTextTest, ParseIntegerIsAtolOnRandomTexts) {
  TTextGenerator generator(77);
  for (int i = 0; i < 200000; ++i) {
    const std::string text = generator.Next();
    errno = 0;
    const long expected = ReferenceLong(text);
    const bool overflow = errno == ERANGE;
    const TParsedInteger parsed = ParseInteger(text);
    // strtol saturates on overflow; atol equals it wherever the value is in range.
    ASSERT_EQ(parsed.value, expected) << '"' << text << '"';
    if (!overflow) {
      ASSERT_EQ(parsed.value, std::atol(std::string(text).c_str())) << '"' << text << '"';
    }
    ASSERT_EQ(parsed.fitsInt32, !overflow && expected >= INT32_MIN && expected <= INT32_MAX)
        << '"' << text << '"';
  }
}

class ParseDoubleCaseTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ParseDoubleCaseTest, MatchesAtof) {
  const std::string& text = GetParam();
  EXPECT_EQ(Bits(ParseDouble(text)), Bits(ReferenceDouble(text))) << '"' << text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseDoubleCaseTest,
    ::testing::Values("", "-", "+", ".", "-.", "-0", "+0", "0.1", "-.5", "1.", "1e", "1e+",
                      "1e-400", "4.9e-324", "2.4703282292062327e-324", "2.2250738585072011e-308",
                      "1.7976931348623157e308", "1.7976931348623159e308", "-1e309", "nan", "-nan",
                      "+NaN(7)", "-inf", "INFINITY", "0x1p-1074", "0x1.8", "-0x", "5\r", "12abc",
                      "1,5", " \t\n\v\f\r7",
                      "\0"
                      "5"s,
                      "7\0"
                      "5"s,
                      "9007199254740993", "0.30000000000000004", std::string(5000, '9'),
                      "0." + std::string(400, '0') + "1", std::string(400, '0') + "1e-400"));

TEST(NumberTextTest, ParseIntegerRangeFlagAtTheLimits) {
  struct TCase {
    std::string text;
    std::int64_t value;
    bool fits;
  };
  const std::vector<TCase> cases{
      {"2147483647", INT32_MAX, true},
      {"2147483648", 2147483648LL, false},
      {"-2147483648", INT32_MIN, true},
      {"-2147483649", -2147483649LL, false},
      {"  +0042xyz", 42, true},
      {"4294967297", 4294967297LL, false},
      {"9223372036854775807", INT64_MAX, false},
      {"9223372036854775799", 9223372036854775799LL, false},
      {"9223372036854775808", INT64_MAX, false},
      {"-9223372036854775800", -9223372036854775800LL, false},
      {"-9223372036854775808", INT64_MIN, false},
      {"-9223372036854775809", INT64_MIN, false},
      {"99999999999999999999999", INT64_MAX, false},
      {"-0", 0, true},
      {"- 5", 0, true},
      {"x5", 0, true},
      {"\0"
       "5"s,
       0, true},
      {"3.9", 3, true},
  };
  for (const TCase& c : cases) {
    const TParsedInteger parsed = ParseInteger(c.text);
    EXPECT_EQ(parsed.value, c.value) << c.text;
    EXPECT_EQ(parsed.fitsInt32, c.fits) << c.text;
  }
}

}  // namespace
}  // namespace varrowin
