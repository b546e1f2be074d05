// The command line: argument count, usage line, conversions and the checks made before the MP
// file is loaded. Runs the built program.
#include <varrowin/Varrowin.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace varrowin::test {
namespace {

const std::string kFour = SourcePath("tests/data/four.mp");
const char* const kThreshold = "Threshold must be a number greater than 0 and less than 1";

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
                       "window_size must be a whole number"},
        TArgumentError{"WindowNotWhole",
                       {"2000", "Y", "0.1", ";", "0", "0", "sma", "3.5"},
                       "window_size must be a whole number"},
        TArgumentError{
            "BurnInWithJunk", {"2000", "Y", "0.1", ";", "2x"}, "burn-in must be a whole number"},
        TArgumentError{
            "ArgumentsSwapped", {"Y", "2000", "0.1", ";"}, "startyear must be a whole number"},
        TArgumentError{"AxisZ", {"2000", "Z", "0.1", ";"}, "XorY must be X or Y"},
        TArgumentError{"AxisYY", {"2000", "YY", "0.1", ";"}, "XorY must be X or Y"},
        TArgumentError{"EmptyDelimiter", {"2000", "Y", "0.1", ""}, "Delimiter must not be empty"},
        TArgumentError{"ThresholdTen", {"2000", "Y", "10", ";"}, kThreshold},
        TArgumentError{"ThresholdZero", {"2000", "Y", "0", ";"}, kThreshold},
        TArgumentError{"ThresholdOne", {"2000", "Y", "1", ";"}, kThreshold},
        TArgumentError{"ThresholdComma", {"2000", "Y", "0,1", ";"}, kThreshold},
        TArgumentError{"ThresholdPercent", {"2000", "Y", "10%", ";"}, kThreshold},
        TArgumentError{"ThresholdNaN", {"2000", "Y", "nan", ";"}, kThreshold},
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

TEST(CommandLine, SpellingsOfTheSameNumbersGiveTheSameReport) {
  const TRunResult plain = RunBinary({kFour, "2000", "Y", "0.25", ";", "2"});
  const TRunResult spelled = RunBinary({kFour, " +2000", "y", "0x1p-2", ";", "\t2"});
  ASSERT_EQ(plain.status, 0);
  EXPECT_EQ(spelled.status, 0);
  EXPECT_EQ(spelled.err, "");
  EXPECT_EQ(spelled.out, plain.out);
}

TEST(CommandLine, HelpOnStandardOutput) {
  for (const char* option : {"--help", "-h"}) {
    const TRunResult result = RunBinary({option});
    EXPECT_EQ(result.out, kHelp) << option;
    EXPECT_EQ(result.err, "") << option;
    EXPECT_EQ(result.status, 0) << option;
  }
  // The help begins with the usage line.
  EXPECT_EQ(std::string(kHelp).rfind(std::string(kUsage) + "\n", 0), 0U);
}

TEST(CommandLine, VersionIsTheProjectVersion) {
  const TRunResult result = RunBinary({"--version"});
  EXPECT_EQ(result.out, std::string("Varrowin ") + VARROWIN_PROJECT_VERSION + "\n");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 0);
}

TEST(CommandLine, OptionsOnlyAsTheSoleArgument) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--help", "x"}, {"-h", "-h"}, {"x", "--version"}, {"--HELP"}, {"-help"}, {"-v"}}) {
    const TRunResult result = RunBinary(args);
    EXPECT_EQ(result.out, "") << args[0];
    EXPECT_EQ(result.err, kUsage) << args[0];
    EXPECT_EQ(result.status, 1) << args[0];
  }
}

TEST(CommandLine, HelpThatCannotBeWrittenFails) {
  const TRunResult result = RunBinary({"--help"}, "/dev/full");
  EXPECT_EQ(result.err, "Cannot write to standard output\n");
  EXPECT_EQ(result.status, 1);
}

// The README shows the help as an indented block, line for line.
TEST(CommandLine, ReadmeQuotesTheHelp) {
  std::string block;
  std::istringstream lines(kHelp);
  for (std::string line; std::getline(lines, line);) {
    block += line.empty() ? "\n" : "    " + line + "\n";
  }
  EXPECT_NE(ReadFile(SourcePath("README.md")).find(block), std::string::npos) << block;
}

}  // namespace
}  // namespace varrowin::test
