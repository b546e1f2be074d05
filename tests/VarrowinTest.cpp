// The command line: argument count, usage line, conversions and the checks made before the MP
// file is loaded. Runs the built program.
#include <varrowin/Varrowin.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace varrowin::test {
namespace {

const std::string kFour = SourcePath("tests/data/four.mp");

TEST(CommandLine, TooFewArgumentsPrintUsageWithoutEndOfLine) {
  for (std::size_t count = 0; count <= 4; ++count) {
    const std::vector<std::string> args(count, "x");
    const TRunResult result = RunBinary(args);
    EXPECT_EQ(result.out, "") << count;
    EXPECT_EQ(result.err, kUsage) << count;
    EXPECT_EQ(result.status, 1) << count;
  }
}

struct TArgumentError {
  const char* name;
  std::vector<std::string> args;  // after the file name
  const char* message;
};

void PrintTo(const TArgumentError& c, std::ostream* os) {
  *os << c.name;
}

class ArgumentErrors : public ::testing::TestWithParam<TArgumentError> {};

// Every one of these fails before anything is loaded: nothing reaches standard output, even
// though the file exists and would give a report.
TEST_P(ArgumentErrors, ReportedBeforeLoading) {
  const TArgumentError& c = GetParam();
  std::vector<std::string> args{kFour};
  args.insert(args.end(), c.args.begin(), c.args.end());
  const TRunResult result = RunBinary(args);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, std::string(c.message) + "\n");
  EXPECT_EQ(result.status, 1);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, ArgumentErrors,
    ::testing::Values(
        TArgumentError{"UpperCaseWord",
                       {"2000", "Y", "0.1", ";", "0", "0", "SMA", "3"},
                       "Unknown moving average"},
        TArgumentError{"TrailingBlank",
                       {"2000", "Y", "0.1", ";", "0", "0", "sma ", "3"},
                       "Unknown moving average"},
        TArgumentError{"UnknownWordWithoutWindow",
                       {"2000", "Y", "0.1", ";", "0", "0", "avg"},
                       "Unknown moving average"},
        TArgumentError{"KnownWordWithoutWindow",
                       {"2000", "Y", "0.1", ";", "0", "0", "exp"},
                       "Missing window size"},
        TArgumentError{"ZeroWindow",
                       {"2000", "Y", "0.1", ";", "0", "0", "sma", "0"},
                       "Window size must be at least 1"},
        TArgumentError{"WindowWithoutNumber",
                       {"2000", "Y", "0.1", ";", "0", "0", "smm", "w"},
                       "Window size must be at least 1"},
        TArgumentError{
            "NegativeBurnIn", {"2000", "Y", "0.1", ";", "-1"}, "Burn-in must not be negative"},
        TArgumentError{
            "StartYearTooLarge", {"2147483648", "Y", "0.1", ";"}, "startyear out of range"},
        TArgumentError{
            "StartYearTooSmall", {"-2147483649", "Y", "0.1", ";"}, "startyear out of range"},
        TArgumentError{"BurnInTooLarge",
                       {"2000", "Y", "0.1", ";", "99999999999999999999999"},
                       "burn-in out of range"},
        TArgumentError{"ThresholdTooLarge",
                       {"2000", "Y", "0.1", ";", "0", "3000000000"},
                       "patch_size_threshold out of range"},
        TArgumentError{"WindowTooLarge",
                       {"2000", "Y", "0.1", ";", "0", "0", "sma", "2147483648"},
                       "window_size out of range"},
        // The checks run in argument order: the first failing one is reported.
        TArgumentError{"BurnInBeforeWord",
                       {"2000", "Y", "0.1", ";", "-3", "0", "bad", "0"},
                       "Burn-in must not be negative"},
        TArgumentError{"WordBeforeWindow",
                       {"2000", "Y", "0.1", ";", "0", "0", "bad", "0"},
                       "Unknown moving average"},
        TArgumentError{
            "StartYearFirst", {"9999999999", "Y", "0.1", ";", "-3"}, "startyear out of range"}),
    [](const ::testing::TestParamInfo<TArgumentError>& info) {
      return std::string(info.param.name);
    });

TEST(CommandLine, MissingFileIsNamedAsGiven) {
  const TRunResult result = RunBinary({"no/such/file.mp", "2000", "Y", "0.1", ";"});
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "Cannot open file: no/such/file.mp: No such file or directory\n");
  EXPECT_EQ(result.status, 1);
}

TEST(CommandLine, NumbersKeepTheirValidPrefix) {
  // "2000abc" is 2000, "0.25junk" is 0.25, " 2" is 2 and "2.9" is 2, as atol and atof read them.
  const TRunResult plain = RunBinary({kFour, "2000", "Y", "0.25", ";", "2"});
  const TRunResult junk = RunBinary({kFour, "2000abc", "Y", "0.25junk", ";", " 2", "-7x"});
  ASSERT_EQ(plain.status, 0);
  EXPECT_EQ(junk.status, 0);
  EXPECT_EQ(junk.out, plain.out);
  const TRunResult fraction = RunBinary({kFour, "2000", "Y", "0.25", ";", "2.9"});
  EXPECT_EQ(fraction.out, plain.out);
}

TEST(CommandLine, ThresholdWithoutNumberIsRefused) {
  // A margin of no population has no centroid: the report would be all not-a-number.
  const TRunResult result = RunBinary({kFour, "2000", "Y", "none", ";", "3"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "Threshold must be a number greater than 0 and less than 1\n");
}

}  // namespace
}  // namespace varrowin::test
