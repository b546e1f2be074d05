// Runs the built program on the project's MP files and compares its whole standard output,
// standard error and exit status. The expected reports were worked out by hand from the files:
// tests/data/four.mp holds four patches whose populations and coordinates make every centroid
// exact, plus a fifth patch that never has a population.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace varrowin::test {
namespace {

struct TCase {
  const char* name;
  std::vector<std::string> args;  // after the file name
  const char* file;
  std::string out;
  std::string err;
  int status;
};

void PrintTo(const TCase& c, std::ostream* os) {
  *os << c.name;
}

class EndToEndTest : public ::testing::TestWithParam<TCase> {};

TEST_P(EndToEndTest, WholeOutputMatches) {
  const TCase& c = GetParam();
  std::vector<std::string> args{SourcePath(c.file)};
  args.insert(args.end(), c.args.begin(), c.args.end());
  const TRunResult result = RunBinary(args);
  EXPECT_EQ(result.out, c.out);
  EXPECT_EQ(result.err, c.err);
  EXPECT_EQ(result.status, c.status);
}

const std::string kFourHeader = "Num patches loaded;5\nResolution(km);2.5\n";
const std::string kTableHead = ";;North;;South\n;Year;X(km);Y(km);Year;X(km);Y(km)\n";

// Margins along Y: the North margin is gathered from the low Y end.
const std::string kFourRowsY =
    ";2000;0;0;2000;0;0\n"
    ";2001;15.3846;15.3846;2001;0;0\n"
    ";2002;30.7692;30.7692;2002;57.1429;57.1429\n"
    ";2003;30.7692;30.7692;2003;0;0\n";

// Margins along X.
const std::string kFourRowsX =
    ";2000;0;0;2000;0;0\n"
    ";2001;0;0;2001;15.3846;15.3846\n"
    ";2002;57.1429;57.1429;2002;30.7692;30.7692\n"
    ";2003;0;0;2003;30.7692;30.7692\n";

INSTANTIATE_TEST_SUITE_P(
    Reports, EndToEndTest,
    ::testing::Values(
        TCase{"AxisY",
              {"2000", "Y", "0.25", ";"},
              "tests/data/four.mp",
              kFourHeader + "Total years;4\n" + kTableHead + kFourRowsY,
              "",
              0},
        // The X coordinates run against the Y coordinates, so the margins trade places.
        TCase{"AxisX",
              {"2000", "X", "0.25", ";"},
              "tests/data/four.mp",
              kFourHeader + "Total years;4\n" + kTableHead + kFourRowsX,
              "",
              0},
        // Lower case reads as upper case.
        TCase{"AxisLowerX",
              {"2000", "x", "0.25", ";"},
              "tests/data/four.mp",
              kFourHeader + "Total years;4\n" + kTableHead + kFourRowsX,
              "",
              0},
        // The reference point stays the last burn-in year; the baseline is the next year.
        TCase{"BurnInOne",
              {"2000", "Y", "0.25", ";", "1"},
              "tests/data/four.mp",
              kFourHeader + "Total years;3\nBurn-in years;1\n" + kTableHead +
                  ";2001;0;0;2001;0;0\n"
                  ";2002;54.5455;54.5455;2002;57.1429;57.1429\n"
                  ";2003;18.1818;18.1818;2003;0;0\n",
              "",
              0},
        TCase{"BurnInTwo",
              {"2000", "Y", "0.25", ";", "2"},
              "tests/data/four.mp",
              kFourHeader + "Total years;2\nBurn-in years;2\n" + kTableHead +
                  ";2002;0;0;2002;0;0\n"
                  ";2003;47.0588;47.0588;2003;133.333;133.333\n",
              "",
              0},
        // Cleaning drops the patch that never has a population; the table stays the same.
        TCase{"Cleaning",
              {"2000", "Y", "0.25", ";", "0", "1"},
              "tests/data/four.mp",
              "Num patches loaded;5\nPatch size threshold;1\nNum patches after cleaning;4\n"
              "Resolution(km);2.5\nTotal years;4\n" +
                  kTableHead + kFourRowsY,
              "",
              0},
        TCase{"MovingAverage",
              {"2000", "Y", "0.25", ";", "0", "0", "sma", "3"},
              "tests/data/four.mp",
              kFourHeader + "Total years;2\nSimple moving average smoothing window;3\n" +
                  kTableHead +
                  ";2001;0;0;2001;0;0\n"
                  ";2002;11.4286;11.4286;2002;0;0\n",
              "",
              0},
        TCase{"MovingMedian",
              {"2000", "Y", "0.25", ";", "0", "0", "smm", "3"},
              "tests/data/four.mp",
              kFourHeader + "Total years;2\nSimple moving median smoothing window;3\n" +
                  kTableHead +
                  ";2001;0;0;2001;0;0\n"
                  ";2002;15.3846;15.3846;2002;0;0\n",
              "",
              0},
        // The report shows the window, not the factor 0.5 that the smoothing uses.
        TCase{"Exponential",
              {"2000", "Y", "0.25", ";", "0", "0", "exp", "3", "ignored", "too"},
              "tests/data/four.mp",
              kFourHeader + "Total years;4\nExponential smoothing window;3\n" + kTableHead +
                  ";2000;0;0;2000;0;0\n"
                  ";2001;7.69231;7.69231;2001;0;0\n"
                  ";2002;11.5385;11.5385;2002;28.5714;28.5714\n"
                  ";2003;9.61538;9.61538;2003;14.2857;14.2857\n",
              "",
              0},
        TCase{"TabDelimiter",
              {"2000", "Y", "0.25", "\t", "2"},
              "tests/data/four.mp",
              "Num patches loaded\t5\nResolution(km)\t2.5\nTotal years\t2\nBurn-in years\t2\n"
              "\t\tNorth\t\tSouth\n\tYear\tX(km)\tY(km)\tYear\tX(km)\tY(km)\n"
              "\t2002\t0\t0\t2002\t0\t0\n"
              "\t2003\t47.0588\t47.0588\t2003\t133.333\t133.333\n",
              "",
              0},
        // A backslash and a t are two ordinary characters.
        TCase{"MultiCharacterDelimiter",
              {"2000", "Y", "0.25", "\\t", "3"},
              "tests/data/four.mp",
              "Num patches loaded\\t5\nResolution(km)\\t2.5\nTotal years\\t1\n"
              "Burn-in years\\t3\n\\t\\tNorth\\t\\tSouth\n"
              "\\tYear\\tX(km)\\tY(km)\\tYear\\tX(km)\\tY(km)\n"
              "\\t2003\\t0\\t0\\t2003\\t0\\t0\n",
              "",
              0},
        TCase{"EmptyDelimiter",
              {"2000", "Y", "0.25", "", "3"},
              "tests/data/four.mp",
              "",
              "Delimiter must not be empty\n",
              1},
        // Resolution exactly 1: an empty line instead of the column header. A zero offset in X
        // gives not-a-number shifts; one-character data lines count as data.
        TCase{"UnitResolution",
              {"1990", "Y", "0.5", ";"},
              "tests/data/unit.mp",
              "Num patches loaded;2\nResolution(km);1\nTotal years;2\n;;North;;South\n\n"
              ";1990;nan;0;1990;nan;0\n;1991;nan;40;1991;nan;0\n",
              "",
              0},
        TCase{"BurnInLeavesNothing",
              {"2000", "Y", "0.25", ";", "4"},
              "tests/data/four.mp",
              "",
              "Burn-in leaves no years to analyse\n",
              1},
        TCase{"WindowLongerThanSeries",
              {"2000", "Y", "0.25", ";", "0", "0", "smm", "5"},
              "tests/data/four.mp",
              "",
              "No years to analyse\n",
              1},
        TCase{"CleaningLeavesNothing",
              {"2000", "Y", "0.25", ";", "0", "5"},
              "tests/data/four.mp",
              "",
              "No patches to analyse\n",
              1}),
    [](const ::testing::TestParamInfo<TCase>& info) { return std::string(info.param.name); });

TEST(EndToEndErrors, NoPatchesInFile) {
  const TTempFile file("just a title line\n");
  const TRunResult result = RunBinary({file.Path(), "2000", "Y", "0.1", ";"});
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "No patches to analyse\n");
  EXPECT_EQ(result.status, 1);
}

TEST(EndToEndErrors, RepeatedNameIsPrintedWhole) {
  // A NUL byte in a name is part of it, in the message too.
  const TTempFile file(std::string("A\0x,1,2,A.KCH\nA\0y,3,4\nA\0x,5,6\nMigration\n", 40));
  const TRunResult result = RunBinary({file.Path(), "2000", "Y", "0.1", ";"});
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, std::string("Duplicate patch name: A\0x\n", 26));
  EXPECT_EQ(result.status, 1);
}

TEST(EndToEndErrors, BadBlockHeaderWritesNoReport) {
  const TTempFile file("A,1,2,A.KCH\nMigration\nPop. ALL\n5\nPop. 7\n5\n");
  const TRunResult result = RunBinary({file.Path(), "2000", "Y", "0.1", ";"});
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "Patch does not exist\n");
  EXPECT_EQ(result.status, 1);
}

}  // namespace
}  // namespace varrowin::test

namespace varrowin::test {
namespace {

// The stored reports of the cases in tests/data/cases.tsv: the program's own, kept so that any
// change to a printed digit shows up here. The R and Python tests compare their numbers with the
// same reports.
TEST(ExampleReports, StoredReportsAreUnchanged) {
  std::istringstream table(ReadFile(SourcePath("tests/data/cases.tsv")));
  std::string line;
  std::getline(table, line);  // column names
  int cases = 0;
  while (std::getline(table, line)) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) {
      fields.push_back(cell);
    }
    ASSERT_EQ(fields.size(), 9u) << line;
    // name file start_year axis threshold burn_in patch_size_threshold smoothing window
    std::vector<std::string> args = {
        SourcePath(fields[1]), fields[2], fields[3], fields[4], ";", fields[5], fields[6]};
    if (fields[7] != "none") {
      args.push_back(fields[7]);
      args.push_back(fields[8]);
    }
    const TRunResult run = RunBinary(args);
    EXPECT_EQ(run.out, ReadFile(SourcePath("tests/data/expected/" + fields[0] + ".txt")))
        << fields[0];
    EXPECT_EQ(run.err, "") << fields[0];
    EXPECT_EQ(run.status, 0) << fields[0];
    ++cases;
  }
  EXPECT_GE(cases, 8);
}

}  // namespace
}  // namespace varrowin::test
