// varrowin-collect: reading a report, CSV fields, its arguments, and the whole way from
// examples/slurm/varrowin-array.sh (run without SLURM, one task after the other) through the built
// Varrowin to the built varrowin-collect.
#include "Collect.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace varrowin::test {
namespace {

TAnalysisOptions Options(std::int32_t burnIn = 0, std::int32_t patchSizeThreshold = 0,
                         TSmoothing smoothing = TSmoothing::kNone, std::int32_t window = 0) {
  TAnalysisOptions o;
  o.startYear = 2000;
  o.burnIn = burnIn;
  o.patchSizeThreshold = patchSizeThreshold;
  o.smoothing = smoothing;
  o.window = window;
  return o;
}

const std::string kHead = "Num patches loaded;5\nResolution(km);2.5\nTotal years;2\n";
const std::string kTable =
    ";;North;;South\n;Year;X(km);Y(km);Year;X(km);Y(km)\n"
    ";2000;0;0;2000;0;0\n;2001;15.3846;nan;2001;1e+06;inf\n";

struct TGoodReport {
  const char* name;
  std::string text;
  std::string delimiter;
  TAnalysisOptions options;
};

void PrintTo(const TGoodReport& c, std::ostream* os) {
  *os << c.name;
}

class ReadReportGood : public ::testing::TestWithParam<TGoodReport> {};

// Every report below holds the same two rows; the cells come back as printed.
TEST_P(ReadReportGood, GivesTheRowsAsPrinted) {
  const TGoodReport& c = GetParam();
  const std::vector<TReportRow> rows = ReadReport(c.text, c.delimiter, c.options);
  ASSERT_EQ(rows.size(), 2U);
  EXPECT_EQ(rows[0].year, "2000");
  EXPECT_EQ(rows[1].year, "2001");
  EXPECT_EQ(rows[1].northX, "15.3846");
  EXPECT_EQ(rows[1].northY, "nan");
  EXPECT_EQ(rows[1].southX, "1e+06");
  EXPECT_EQ(rows[1].southY, "inf");
}

INSTANTIATE_TEST_SUITE_P(
    Reports, ReadReportGood,
    ::testing::Values(
        TGoodReport{"Plain", kHead + kTable, ";", Options()},
        TGoodReport{"ResolutionOneHasAnEmptyColumnHeader",
                    "Num patches loaded;5\nResolution(km);1\nTotal years;2\n;;North;;South\n\n"
                    ";2000;0;0;2000;0;0\n;2001;15.3846;nan;2001;1e+06;inf\n",
                    ";", Options()},
        TGoodReport{"EveryHeaderLine",
                    "Num patches loaded;5\nPatch size threshold;3\nNum patches after cleaning;4\n"
                    "Resolution(km);2.5\nTotal years;2\nBurn-in years;2\n"
                    "Exponential smoothing window;9\n" +
                        kTable,
                    ";", Options(2, 3, TSmoothing::kExponential, 9)},
        TGoodReport{
            "DelimiterOfTwoCharacters",
            "Num patches loaded::5\nResolution(km)::2.5\nTotal years::2\n::::North::::South\n"
            "::Year::X(km)::Y(km)::Year::X(km)::Y(km)\n"
            "::2000::0::0::2000::0::0\n::2001::15.3846::nan::2001::1e+06::inf\n",
            "::", Options()}));

struct TBadReport {
  const char* name;
  std::string text;
  TAnalysisOptions options;
  const char* message;  // a part of the error message
};

void PrintTo(const TBadReport& c, std::ostream* os) {
  *os << c.name;
}

class ReadReportBad : public ::testing::TestWithParam<TBadReport> {};

TEST_P(ReadReportBad, IsRejected) {
  const TBadReport& c = GetParam();
  try {
    ReadReport(c.text, ";", c.options);
    ADD_FAILURE() << "no error, expected " << c.message;
  } catch (const TError& e) {
    EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
  }
}

const std::string kGood = kHead + kTable;

INSTANTIATE_TEST_SUITE_P(
    Reports, ReadReportBad,
    ::testing::Values(
        TBadReport{"Empty", "", Options(), "empty report"},
        TBadReport{"LastLineWithoutEnd", kGood.substr(0, kGood.size() - 1), Options(),
                   "the last line has no end of line"},
        TBadReport{"RowMissing", kGood.substr(0, kGood.find(";2001")), Options(),
                   "1 rows where \"Total years\" is 2 (report cut short)"},
        TBadReport{"CutInTheHeader", "Num patches loaded;5\n", Options(),
                   "no line \"Resolution(km)\" (report cut short)"},
        TBadReport{"RowTooMany", kGood + ";2002;0;0;2002;0;0\n", Options(),
                   "3 rows where \"Total years\" is 2"},
        TBadReport{"BurnInDiffers", kHead.substr(0, kHead.size()) + "Burn-in years;3\n" + kTable,
                   Options(2), "\"Burn-in years\" is 3 in the report and 2 in the arguments"},
        TBadReport{"SmoothingMissing", kGood, Options(0, 0, TSmoothing::kMedian, 3),
                   "line 4 is not \"Simple moving median smoothing window\""},
        TBadReport{"UnaskedBurnInLine", kHead + "Burn-in years;3\n" + kTable, Options(),
                   "line 4 is not the group header"},
        TBadReport{"ColumnHeaderMissingWhenResolutionIsNotOne",
                   kHead + ";;North;;South\n\n;2000;0;0;2000;0;0\n;2001;0;0;2001;0;0\n", Options(),
                   "line 5 is not the column header"},
        TBadReport{"CellNotANumber",
                   kHead + ";;North;;South\n;Year;X(km);Y(km);Year;X(km);Y(km)\n"
                           ";2000;0;0;2000;0;0\n;2001;0;x;2001;0;0\n",
                   Options(), "line 7 is not a row of the table: ;2001;0;x;2001;0;0"},
        TBadReport{"YearsDiffer",
                   kHead + ";;North;;South\n;Year;X(km);Y(km);Year;X(km);Y(km)\n"
                           ";2000;0;0;2000;0;0\n;2001;0;0;2002;0;0\n",
                   Options(), "line 7 is not a row"},
        TBadReport{"RowFieldShort",
                   kHead + ";;North;;South\n;Year;X(km);Y(km);Year;X(km);Y(km)\n"
                           ";2000;0;0;2000;0;0\n;2001;0;0;2001;0\n",
                   Options(), "line 7 is not a row"}));

TEST(CsvField, QuotesOnlyWhatNeedsIt) {
  const std::vector<std::pair<std::string, std::string>> cases{
      {"runs/run1.mp", "runs/run1.mp"},
      {"a b.mp", "a b.mp"},
      {"a,b.mp", "\"a,b.mp\""},
      {"say \"hi\".mp", "\"say \"\"hi\"\".mp\""},
      {"line\nbreak", "\"line\nbreak\""},
      {"cr\r", "\"cr\r\""},
      {" lead.mp", "\" lead.mp\""},
      {"trail.mp ", "\"trail.mp \""},
      {"", ""},
  };
  for (const auto& [text, field] : cases) {
    EXPECT_EQ(CsvField(text), field) << text;
  }
}

std::vector<std::string> CollectArgs(const std::vector<std::string>& options) {
  std::vector<std::string> args{"list", "out"};
  args.insert(args.end(), options.begin(), options.end());
  return args;
}

TEST(CollectArguments, ConvertedAndCheckedAsVarrowinDoes) {
  const TCollectParameters p =
      ParseCollectArguments(CollectArgs({"1990", "x", "0.25", "\t", "2", "3", "smm", "5"}));
  EXPECT_EQ(p.listFile, "list");
  EXPECT_EQ(p.outDir, "out");
  EXPECT_EQ(p.delimiter, "\t");
  EXPECT_EQ(p.options.startYear, 1990);
  EXPECT_EQ(p.options.axis, 'X');  // lower case reads as upper case
  EXPECT_EQ(p.options.threshold, 0.25);
  EXPECT_EQ(p.options.burnIn, 2);
  EXPECT_EQ(p.options.patchSizeThreshold, 3);
  EXPECT_EQ(p.options.smoothing, TSmoothing::kMedian);
  EXPECT_EQ(p.options.window, 5);

  const std::vector<std::pair<std::vector<std::string>, const char*>> errors{
      {{"2000", "Y", "0.1", ";", "-1"}, "Burn-in must not be negative"},
      {{"2000", "Y", "0.1", ";", "0", "0", "avg", "3"}, "Unknown moving average"},
      {{"2000", "Y", "0.1", ";", "0", "0", "sma"}, "Missing window size"},
      {{"2000", "Y", "0.1", ";", "0", "0", "sma", "0"}, "Window size must be at least 1"},
      {{"99999999999", "Y", "0.1", ";"}, "startyear out of range"},
      {{"2000abc", "Y", "0.1", ";"}, "startyear must be a whole number"},
      {{"2000", "Xaxis", "0.1", ";"}, "XorY must be X or Y"},
      {{"2000", "Y", "1", ";"}, "Threshold must be a number greater than 0 and less than 1"},
      {{"2000", "Y", "0.1", ""}, "Delimiter must not be empty"},
  };
  for (const auto& error : errors) {
    const std::vector<std::string> args = CollectArgs(error.first);
    ExpectError([&args] { ParseCollectArguments(args); }, error.second);
  }
}

TEST(CollectArguments, DelimiterMustNotMixWithNumbers) {
  for (const char* delimiter : {"", ".", "-", "+", "e", "1", "n", "a;", "\n"}) {
    EXPECT_THROW(ParseCollectArguments(CollectArgs({"2000", "Y", "0.1", delimiter})), TError)
        << "delimiter '" << delimiter << "'";
  }
  for (const char* delimiter : {";", ",", "\t", "::", " | "}) {
    EXPECT_NO_THROW(ParseCollectArguments(CollectArgs({"2000", "Y", "0.1", delimiter})))
        << "delimiter '" << delimiter << "'";
  }
}

TEST(CollectRun, TooFewArgumentsAndAMissingListEndWithStatusTwo) {
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunCollect({"list", "out", "2000", "Y", "0.1"}, out, err), 2);
  EXPECT_EQ(err.str(), kCollectUsage);
  std::ostringstream err2;
  EXPECT_EQ(RunCollect({"/nonexistent/list", "out", "2000", "Y", "0.1", ";"}, out, err2), 2);
  EXPECT_EQ(err2.str(),
            "varrowin-collect: Cannot open file: /nonexistent/list: No such file or directory\n");
}

// A temporary directory, removed with everything in it.
class TTempDir {
 public:
  TTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "varrowin-collect-XXXXXX");
    if (mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
  }
  ~TTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// The text in single quotes for sh.
std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) {
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return quoted + "'";
}

// Runs a command with sh and returns its exit status (-1 when it did not exit).
int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// tests/data/four.mp along Y with threshold 0.25: the rows of the stored end-to-end case AxisY.
std::string FourRows(const std::string& file) {
  const std::string options = ",2000,Y,0.25,0,0,none,\n";
  return file + ",2000,North,0,0" + options + file + ",2000,South,0,0" + options + file +
         ",2001,North,15.3846,15.3846" + options + file + ",2001,South,0,0" + options + file +
         ",2002,North,30.7692,30.7692" + options + file + ",2002,South,57.1429,57.1429" + options +
         file + ",2003,North,30.7692,30.7692" + options + file + ",2003,South,0,0" + options;
}

// Five tasks: a good file, a missing file, a good file with a comma and quotes in its name, a
// good file whose report is then cut short, and an empty line. The array script runs each task
// as SLURM would; varrowin-collect must give the rows of the two complete reports and name the
// three others.
TEST(CollectPipeline, ArrayScriptThenCollect) {
  const TTempDir dir;
  const std::string& d = dir.Path();
  std::filesystem::create_directory(d + "/runs");
  const std::string four = SourcePath("tests/data/four.mp");
  std::filesystem::copy_file(four, d + "/runs/four.mp");
  std::filesystem::copy_file(four, d + "/runs/a, \"b\".mp");
  std::filesystem::copy_file(four, d + "/runs/cut.mp");
  {
    std::ofstream list(d + "/runs.txt");
    list << "runs/four.mp\nruns/missing.mp\nruns/a, \"b\".mp\nruns/cut.mp\n\n";
  }
  const std::string script = ShellQuoted(SourcePath("examples/slurm/varrowin-array.sh"));
  const std::string prefix =
      "cd " + ShellQuoted(d) + " && VARROWIN=" + ShellQuoted(VARROWIN_BINARY) + " ";
  const std::vector<int> expectedStatus{0, 1, 0, 0, 1};
  for (int task = 1; task <= 5; ++task) {
    EXPECT_EQ(Shell(prefix + "SLURM_ARRAY_TASK_ID=" + std::to_string(task) + " sh " + script +
                    " runs.txt out 2000 Y 0.25 ';'"),
              expectedStatus[task - 1])
        << "task " << task;
  }
  // A failed task leaves its message and no report, not even a partial one.
  EXPECT_NE(ReadFile(d + "/out/2.log")
                .find("\nCannot open file: runs/missing.mp: No such file or directory\n"),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(d + "/out/2.report"));
  EXPECT_FALSE(std::filesystem::exists(d + "/out/2.report.part"));
  EXPECT_EQ(ReadFile(d + "/out/1.report"), RunBinary({four, "2000", "Y", "0.25", ";"}).out);

  const std::string cut = ReadFile(d + "/out/4.report");
  std::filesystem::resize_file(d + "/out/4.report", cut.rfind("\n;2003") + 1);

  const int status = Shell(prefix + ShellQuoted(VARROWIN_COLLECT_BINARY) +
                           " runs.txt out 2000 Y 0.25 ';' > table.csv 2> collect.err");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(ReadFile(d + "/table.csv"),
            "file,year,margin,x_shift,y_shift,start_year,axis,threshold,burn_in,"
            "patch_size_threshold,smoothing,window\n" +
                FourRows("runs/four.mp") + FourRows("\"runs/a, \"\"b\"\".mp\""));
  EXPECT_EQ(ReadFile(d + "/collect.err"),
            "varrowin-collect: failed: runs/missing.mp (task 2): Cannot open file: "
            "runs/missing.mp: No such file or directory\n"
            "varrowin-collect: failed: runs/cut.mp (task 4): out/4.report: 3 rows where \"Total "
            "years\" is 4 (report cut short)\n"
            "varrowin-collect: failed: (empty line) (task 5): line 5 of runs.txt is empty\n"
            "varrowin-collect: 3 of 5 files failed\n");

  // Without the failed tasks in the list every file is complete: status 0.
  {
    std::ofstream list(d + "/runs.txt");
    list << "runs/four.mp\n";
  }
  EXPECT_EQ(Shell(prefix + ShellQuoted(VARROWIN_COLLECT_BINARY) +
                  " runs.txt out 2000 Y 0.25 ';' > table.csv 2> collect.err"),
            0);
  EXPECT_EQ(ReadFile(d + "/collect.err"), "");
}

}  // namespace
}  // namespace varrowin::test
