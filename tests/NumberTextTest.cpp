#include "NumberText.h"

#include <gtest/gtest.h>

#include <bit>
#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <thread>
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
                      // 15 and 16 digits around the point, two points, leading zeros.
                      "999999999999999", "9999999999999999", ".999999999999999",
                      "-0.00000000000001", "0.000000000000001", "123456789.012345",
                      "123456789.0123456", "1.2.3", "-000.500", "5.5.", "1..5", "..5",
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

// What strtod gives for the whole text in the "C" locale: false unless it takes every byte of the
// text and the text is a number rather than an infinity or not-a-number word.
bool ReferenceStrictDouble(const std::string& text, double& value) {
  if (text.empty() || text.find('\0') != std::string::npos ||
      text.find_first_of("iInN") != std::string::npos) {
    return false;
  }
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size();
}

TEST(NumberTextTest, ParseStrictDoubleIsWholeTextStrtodOnRandomTexts) {
  ASSERT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
  TTextGenerator generator(314159);
  int accepted = 0;
  for (int i = 0; i < 200000; ++i) {
    const std::string text = generator.Next();
    double expected = 0.0;
    const bool valid = ReferenceStrictDouble(text, expected);
    double ours = -7.0;
    ASSERT_EQ(ParseStrictDouble(text, ours), valid) << '"' << text << '"';
    if (valid) {
      ++accepted;
      ASSERT_EQ(Bits(ours), Bits(expected)) << '"' << text << '"';
    } else {
      ASSERT_EQ(ours, -7.0) << "changed on refusal: \"" << text << '"';
    }
  }
  // The generator gives both kinds in quantity.
  EXPECT_GT(accepted, 50000);
  EXPECT_LT(accepted, 150000);
}

TEST(NumberTextTest, ParseStrictDoubleCases) {
  const double kMinDenormal = std::numeric_limits<double>::denorm_min();
  struct TCase {
    std::string text;
    bool valid;
    double value;
  };
  const std::vector<TCase> cases{
      {"0.1", true, 0.1},
      {" \t\n\v\f\r+.5", true, 0.5},
      {"-0", true, -0.0},
      {"1.", true, 1.0},
      {"1e-1", true, 0.1},
      {"1E+2", true, 100.0},
      {"0x1p-3", true, 0.125},
      {"0X.8", true, 0.5},
      {"-0x1.8P1", true, -3.0},
      {"0x1p-1074", true, kMinDenormal},
      {"4.9406564584124654e-324", true, kMinDenormal},
      {"2.4703282292062328e-324", true, kMinDenormal},
      {"2.4703282292062327e-324", true, 0.0},
      {"0x1p-1075", true, 0.0},
      {"0x1.0000000000001p-1075", true, kMinDenormal},
      {"1e-400", true, 0.0},
      {"-1e-99999999999999999999", true, -0.0},
      {"1e400", true, std::numeric_limits<double>::infinity()},
      {"-0x1p1024", true, -std::numeric_limits<double>::infinity()},
      {"0.99999999999999999", true, 1.0},
      {"0.9999999999999999", true, 0.9999999999999999},
      {std::string(401, '0').append(".25"), true, 0.25},
      {std::string("0.").append(400, '0').append("1e400"), true, 0.1},
      {"", false, 0},
      {" ", false, 0},
      {"+", false, 0},
      {".", false, 0},
      {"-.", false, 0},
      {"+-1", false, 0},
      {"--1", false, 0},
      {"- 1", false, 0},
      {"1 ", false, 0},
      {"0.1\n", false, 0},
      {"0,1", false, 0},
      {"10%", false, 0},
      {"1e", false, 0},
      {"1e+", false, 0},
      {"1e5.5", false, 0},
      {"1..2", false, 0},
      {"0x", false, 0},
      {"0x.", false, 0},
      {"0x1p", false, 0},
      {"0x1e", true, 30.0},
      {"1p3", false, 0},
      {"0xg", false, 0},
      {"nan", false, 0},
      {"-nan", false, 0},
      {"NAN(1)", false, 0},
      {"inf", false, 0},
      {"-Infinity", false, 0},
      {"0.5\0"s, false, 0},
  };
  for (const TCase& c : cases) {
    double value = -7.0;
    EXPECT_EQ(ParseStrictDouble(c.text, value), c.valid) << '"' << c.text << '"';
    if (c.valid) {
      EXPECT_EQ(Bits(value), Bits(c.value)) << '"' << c.text << '"';
    }
  }
}

// A process running under a locale whose decimal point is a comma (as an embedding program may)
// reads the same numbers.
TEST(NumberTextTest, ParseStrictDoubleIgnoresTheLocale) {
  const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
  const char* chosen = nullptr;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE"}) {
    if (std::setlocale(LC_NUMERIC, name) != nullptr) {
      chosen = name;
      break;
    }
  }
  if (chosen == nullptr) {
    GTEST_SKIP() << "no locale with a decimal comma is installed";
  }
  // The locale took effect: strtod stops at the point.
  char* end = nullptr;
  const char* text = "0.25";
  const double cut = std::strtod(text, &end);
  const bool commaLocale = end == text + 1 && cut == 0.0;
  double value = 0.0;
  const bool point = ParseStrictDouble("0.25", value);
  double hexValue = 0.0;
  const bool hex = ParseStrictDouble("0x1.8p-1", hexValue);
  double commaValue = 0.0;
  const bool comma = ParseStrictDouble("0,25", commaValue);
  // The reader's atof-like conversion too, on the calling thread and on a thread of its own (the
  // threaded reader's workers have no locale of their own): words past its fast path included.
  const auto readerValues = [] {
    return std::vector<double>{ParseDouble("12.5\t0"), ParseDouble("+2.5"), ParseDouble("4.75x"),
                               ParseDouble(" 1e-1")};
  };
  const std::vector<double> expected{12.5, 2.5, 4.75, 0.1};
  const std::vector<double> here = readerValues();
  std::vector<double> onThread;
  std::thread([&onThread, &readerValues] { onThread = readerValues(); }).join();
  std::setlocale(LC_NUMERIC, previous.c_str());
  EXPECT_EQ(here, expected);
  EXPECT_EQ(onThread, expected);
  EXPECT_TRUE(commaLocale) << chosen;
  EXPECT_TRUE(point);
  EXPECT_EQ(value, 0.25);
  EXPECT_TRUE(hex);
  EXPECT_EQ(hexValue, 0.75);
  EXPECT_FALSE(comma);
}

TEST(NumberTextTest, ParseWholeNumberIsWholeTextStrtolOnRandomTexts) {
  TTextGenerator generator(2718);
  int valid = 0;
  int outOfRange = 0;
  for (int i = 0; i < 200000; ++i) {
    const std::string text = generator.Next();
    // strtol takes the whole text (and at least one digit) exactly when it is a whole number.
    char* end = nullptr;
    errno = 0;
    const long expected = std::strtol(text.c_str(), &end, 10);
    const bool whole = !text.empty() && end == text.c_str() + text.size() &&
                       text.find_first_of("0123456789") != std::string::npos;
    const bool inRange = errno != ERANGE && expected >= INT32_MIN && expected <= INT32_MAX;
    std::int32_t value = -7;
    const TWholeNumber result = ParseWholeNumber(text, value);
    if (!whole) {
      ASSERT_EQ(result, TWholeNumber::kNotWhole) << '"' << text << '"';
      ASSERT_EQ(value, -7);
    } else if (!inRange) {
      ASSERT_EQ(result, TWholeNumber::kOutOfRange) << '"' << text << '"';
      ++outOfRange;
    } else {
      ASSERT_EQ(result, TWholeNumber::kValid) << '"' << text << '"';
      ASSERT_EQ(value, expected) << '"' << text << '"';
      ++valid;
    }
  }
  EXPECT_GT(valid, 3000);
  EXPECT_GT(outOfRange, 1000);
}

TEST(NumberTextTest, ParseWholeNumberCases) {
  struct TCase {
    std::string text;
    TWholeNumber result;
    std::int32_t value;
  };
  const std::vector<TCase> cases{
      {"2147483647", TWholeNumber::kValid, INT32_MAX},
      {"-2147483648", TWholeNumber::kValid, INT32_MIN},
      {"+0002147483647", TWholeNumber::kValid, INT32_MAX},
      {"2147483648", TWholeNumber::kOutOfRange, 0},
      {"-2147483649", TWholeNumber::kOutOfRange, 0},
      {"99999999999999999999999999", TWholeNumber::kOutOfRange, 0},
      {"-0", TWholeNumber::kValid, 0},
      {" \t\n\v\f\r-12", TWholeNumber::kValid, -12},
      {"", TWholeNumber::kNotWhole, 0},
      {" ", TWholeNumber::kNotWhole, 0},
      {"-", TWholeNumber::kNotWhole, 0},
      {"+-1", TWholeNumber::kNotWhole, 0},
      {"- 1", TWholeNumber::kNotWhole, 0},
      {"12 ", TWholeNumber::kNotWhole, 0},
      {"2x", TWholeNumber::kNotWhole, 0},
      {"3.0", TWholeNumber::kNotWhole, 0},
      {"1e3", TWholeNumber::kNotWhole, 0},
      {"0x10", TWholeNumber::kNotWhole, 0},
      {"99999999999999999999x", TWholeNumber::kNotWhole, 0},
      {"5\0"s, TWholeNumber::kNotWhole, 0},
  };
  for (const TCase& c : cases) {
    std::int32_t value = 0;
    EXPECT_EQ(ParseWholeNumber(c.text, value), c.result) << '"' << c.text << '"';
    EXPECT_EQ(value, c.value) << '"' << c.text << '"';
  }
}

}  // namespace
}  // namespace varrowin
