// The argument checks of the command line, run in the process through RunVarrowin: each message,
// each boundary, the order of the checks, and the spellings that read as the same values.
#include <varrowin/Varrowin.h>

#include <gtest/gtest.h>

#include <limits>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace varrowin::test {
namespace {

const std::string kFour = SourcePath("tests/data/four.mp");
// Not a file: a run that gets past the arguments ends at opening it.
const std::string kMissing = "/nonexistent/varrowin-command-line.mp";
const char* const kOpenFailure = "Cannot open file: ";

const char* const kThreshold = "Threshold must be a number greater than 0 and less than 1";
const char* const kAxis = "XorY must be X or Y";

struct TRun {
  int status;
  std::string out;
  std::string err;
};

TRun RunInProcess(const std::string& file, const std::vector<std::string>& rest) {
  std::vector<std::string> args{file};
  args.insert(args.end(), rest.begin(), rest.end());
  std::ostringstream out;
  std::ostringstream err;
  const int status = RunVarrowin(args, out, err);
  return {status, out.str(), err.str()};
}

struct TCase {
  std::vector<std::string> args;  // after the file name
  std::string message;            // empty: the arguments are accepted
};

void PrintTo(const TCase& c, std::ostream* os) {
  for (const std::string& arg : c.args) {
    *os << '\'' << arg << "' ";
  }
}

std::vector<std::string> With(std::vector<std::string> args, std::size_t position,
                              const std::string& value) {
  args[position] = value;
  return args;
}

const std::vector<std::string> kAll{"2000", "Y", "0.1", ";", "1", "0", "sma", "3"};

class ArgumentCheck : public ::testing::TestWithParam<TCase> {};

// A refused argument list gives its message and nothing else before the file is opened; an
// accepted one reaches the file.
TEST_P(ArgumentCheck, MessageOrAccepted) {
  const TCase& c = GetParam();
  const TRun run = RunInProcess(kMissing, c.args);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  if (c.message.empty()) {
    EXPECT_EQ(run.err.rfind(kOpenFailure, 0), 0U) << run.err;
  } else {
    EXPECT_EQ(run.err, c.message + "\n");
  }
}

INSTANTIATE_TEST_SUITE_P(
    StartYear, ArgumentCheck,
    ::testing::Values(TCase{With(kAll, 0, "2147483647"), ""},
                      TCase{With(kAll, 0, "-2147483648"), ""},
                      TCase{With(kAll, 0, " \t\n\v\f\r+2000"), ""}, TCase{With(kAll, 0, "-0"), ""},
                      TCase{With(kAll, 0, "2147483648"), "startyear out of range"},
                      TCase{With(kAll, 0, "-2147483649"), "startyear out of range"},
                      TCase{With(kAll, 0, "99999999999999999999"), "startyear out of range"},
                      TCase{With(kAll, 0, ""), "startyear must be a whole number"},
                      TCase{With(kAll, 0, " "), "startyear must be a whole number"},
                      TCase{With(kAll, 0, "2000abc"), "startyear must be a whole number"},
                      TCase{With(kAll, 0, "2000 "), "startyear must be a whole number"},
                      TCase{With(kAll, 0, "2000.0"), "startyear must be a whole number"},
                      TCase{With(kAll, 0, "2e3"), "startyear must be a whole number"},
                      TCase{With(kAll, 0, "0x7d0"), "startyear must be a whole number"},
                      TCase{With(kAll, 0, "+-2000"), "startyear must be a whole number"},
                      TCase{With(kAll, 0, "- 2000"), "startyear must be a whole number"},
                      TCase{With(kAll, 0, "Y"), "startyear must be a whole number"},
                      // The form is checked before the range.
                      TCase{With(kAll, 0, "99999999999999999999x"),
                            "startyear must be a whole number"}));

INSTANTIATE_TEST_SUITE_P(
    Axis, ArgumentCheck,
    ::testing::Values(TCase{With(kAll, 1, "X"), ""}, TCase{With(kAll, 1, "x"), ""},
                      TCase{With(kAll, 1, "y"), ""}, TCase{With(kAll, 1, ""), kAxis},
                      TCase{With(kAll, 1, "Z"), kAxis}, TCase{With(kAll, 1, "YY"), kAxis},
                      TCase{With(kAll, 1, "Xylem"), kAxis}, TCase{With(kAll, 1, "X "), kAxis},
                      TCase{With(kAll, 1, " Y"), kAxis}, TCase{With(kAll, 1, "2000"), kAxis}));

INSTANTIATE_TEST_SUITE_P(
    Threshold, ArgumentCheck,
    ::testing::Values(
        TCase{With(kAll, 2, "4.9406564584124654e-324"), ""},  // the smallest positive double
        TCase{With(kAll, 2, "0x1p-1074"), ""}, TCase{With(kAll, 2, "0.9999999999999999"), ""},
        TCase{With(kAll, 2, "0x1.fffffffffffffp-1"), ""},  // 1 - 1 ulp
        TCase{With(kAll, 2, " \t+.5"), ""}, TCase{With(kAll, 2, "5e-1"), ""},
        TCase{With(kAll, 2, "0X.8P0"), ""}, TCase{With(kAll, 2, "0"), kThreshold},
        TCase{With(kAll, 2, "-0"), kThreshold}, TCase{With(kAll, 2, "0x0p0"), kThreshold},
        TCase{With(kAll, 2, "1e-400"), kThreshold},                   // rounds to 0
        TCase{With(kAll, 2, "2.4703282292062327e-324"), kThreshold},  // rounds to 0
        TCase{With(kAll, 2, "1"), kThreshold}, TCase{With(kAll, 2, "1.0"), kThreshold},
        TCase{With(kAll, 2, "0x1p0"), kThreshold},
        TCase{With(kAll, 2, "0.99999999999999999"), kThreshold},  // rounds to 1
        TCase{With(kAll, 2, "1.0000000000000002"), kThreshold},   // 1 + 1 ulp
        TCase{With(kAll, 2, "10"), kThreshold}, TCase{With(kAll, 2, "1e400"), kThreshold},
        TCase{With(kAll, 2, "-0.1"), kThreshold}, TCase{With(kAll, 2, "nan"), kThreshold},
        TCase{With(kAll, 2, "NaN"), kThreshold}, TCase{With(kAll, 2, "inf"), kThreshold},
        TCase{With(kAll, 2, "-infinity"), kThreshold}, TCase{With(kAll, 2, ""), kThreshold},
        TCase{With(kAll, 2, " "), kThreshold}, TCase{With(kAll, 2, "0,1"), kThreshold},
        TCase{With(kAll, 2, "10%"), kThreshold}, TCase{With(kAll, 2, "0.1 "), kThreshold},
        TCase{With(kAll, 2, "0.1x"), kThreshold}, TCase{With(kAll, 2, "1e"), kThreshold},
        TCase{With(kAll, 2, "0x"), kThreshold}, TCase{With(kAll, 2, "++0.1"), kThreshold},
        TCase{With(kAll, 2, "."), kThreshold}));

INSTANTIATE_TEST_SUITE_P(
    Delimiter, ArgumentCheck,
    ::testing::Values(TCase{With(kAll, 3, "\t"), ""}, TCase{With(kAll, 3, " "), ""},
                      TCase{With(kAll, 3, "\\t"), ""},
                      TCase{With(kAll, 3, ""), "Delimiter must not be empty"}));

INSTANTIATE_TEST_SUITE_P(
    BurnInAndCleaning, ArgumentCheck,
    ::testing::Values(TCase{With(kAll, 4, "0"), ""}, TCase{With(kAll, 4, "2147483647"), ""},
                      TCase{With(kAll, 4, "-1"), "Burn-in must not be negative"},
                      TCase{With(kAll, 4, "-2147483648"), "Burn-in must not be negative"},
                      // The range comes before the argument's own check.
                      TCase{With(kAll, 4, "-2147483649"), "burn-in out of range"},
                      TCase{With(kAll, 4, "2147483648"), "burn-in out of range"},
                      TCase{With(kAll, 4, "2x"), "burn-in must be a whole number"},
                      TCase{With(kAll, 4, "1.5"), "burn-in must be a whole number"},
                      TCase{With(kAll, 4, ""), "burn-in must be a whole number"},
                      TCase{With(kAll, 5, "-2147483648"), ""},
                      TCase{With(kAll, 5, "2147483647"), ""},
                      TCase{With(kAll, 5, "2147483648"), "patch_size_threshold out of range"},
                      TCase{With(kAll, 5, "-2147483649"), "patch_size_threshold out of range"},
                      TCase{With(kAll, 5, "3 "), "patch_size_threshold must be a whole number"},
                      TCase{With(kAll, 5, "many"), "patch_size_threshold must be a whole number"}));

INSTANTIATE_TEST_SUITE_P(
    Smoothing, ArgumentCheck,
    ::testing::Values(TCase{With(kAll, 6, "exp"), ""}, TCase{With(kAll, 6, "smm"), ""},
                      TCase{With(kAll, 6, "SMA"), "Unknown moving average"},
                      TCase{With(kAll, 6, "sma "), "Unknown moving average"},
                      TCase{With(kAll, 6, ""), "Unknown moving average"},
                      TCase{{"2000", "Y", "0.1", ";", "1", "0", "sma"}, "Missing window size"},
                      TCase{{"2000", "Y", "0.1", ";", "1", "0", "avg"}, "Unknown moving average"},
                      TCase{With(kAll, 7, "1"), ""}, TCase{With(kAll, 7, "+0003"), ""},
                      TCase{With(kAll, 7, "2147483647"), ""},
                      TCase{With(kAll, 7, "0"), "Window size must be at least 1"},
                      TCase{With(kAll, 7, "-2147483648"), "Window size must be at least 1"},
                      TCase{With(kAll, 7, "2147483648"), "window_size out of range"},
                      TCase{With(kAll, 7, "-2147483649"), "window_size out of range"},
                      TCase{With(kAll, 7, "3.5"), "window_size must be a whole number"},
                      TCase{With(kAll, 7, "w"), "window_size must be a whole number"},
                      // Arguments after the ninth are not read.
                      TCase{{"2000", "Y", "0.1", ";", "1", "0", "sma", "3", "junk", ""}, ""}));

// The first failing argument wins, whatever follows it.
INSTANTIATE_TEST_SUITE_P(
    Order, ArgumentCheck,
    ::testing::Values(
        TCase{{"x", "Z", "1", "", "-1", "x", "bad", "0"}, "startyear must be a whole number"},
        TCase{{"2000", "Z", "1", "", "-1", "x", "bad", "0"}, kAxis},
        TCase{{"2000", "Y", "1", "", "-1", "x", "bad", "0"}, kThreshold},
        TCase{{"2000", "Y", "0.1", "", "-1", "x", "bad", "0"}, "Delimiter must not be empty"},
        TCase{{"2000", "Y", "0.1", ";", "-1", "x", "bad", "0"}, "Burn-in must not be negative"},
        TCase{{"2000", "Y", "0.1", ";", "0", "x", "bad", "0"},
              "patch_size_threshold must be a whole number"},
        TCase{{"2000", "Y", "0.1", ";", "0", "0", "bad", "x"}, "Unknown moving average"},
        TCase{{"2000", "Y", "0.1", ";", "0", "0", "exp", "x"},
              "window_size must be a whole number"},
        // Arguments swapped: the axis where the year belongs.
        TCase{{"Y", "2000", "0.1", ";"}, "startyear must be a whole number"}));

// Spellings of the same values give the same report, byte for byte.
TEST(CommandLine, EquivalentSpellingsGiveTheSameReport) {
  struct TPair {
    std::vector<std::string> plain;
    std::vector<std::string> spelled;
  };
  const std::vector<TPair> pairs{
      {{"2000", "Y", "0.1", ";"}, {" +2000", "y", "0x1.999999999999ap-4", ";"}},
      {{"2000", "X", "0.25", ";", "1"}, {"\t2000", "x", "2.5e-1", ";", "+1"}},
      {{"2000", "Y", "0.5", ";", "0", "2", "sma", "3"},
       {"2000", "Y", ".5", ";", "-0", "0002", "sma", " 3"}},
  };
  for (const TPair& pair : pairs) {
    const TRun plain = RunInProcess(kFour, pair.plain);
    const TRun spelled = RunInProcess(kFour, pair.spelled);
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(spelled.status, 0) << spelled.err;
    EXPECT_EQ(spelled.out, plain.out);
  }
}

// The extreme accepted thresholds run to a report.
TEST(CommandLine, ExtremeThresholdsGiveAReport) {
  for (const char* threshold : {"4.9406564584124654e-324", "0.9999999999999999"}) {
    const TRun run = RunInProcess(kFour, {"2000", "Y", threshold, ";"});
    EXPECT_EQ(run.status, 0) << threshold << ": " << run.err;
    EXPECT_NE(run.out.find(";;North;;South\n"), std::string::npos) << threshold;
  }
}

}  // namespace
}  // namespace varrowin::test
