// Fault tests of the real binary: damaged, odd or unreachable input and an output that cannot
// be written. Every run must end in order: status 0 with a complete report and nothing on
// standard error, or status 1 with exactly one line on standard error; standard output never
// holds a half-written line, and nothing reaches it after the error message.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <varrowin/Varrowin.h>
#include "TestSupport.h"

namespace varrowin::test {
namespace {

using namespace std::string_literals;

// Argument sets after the file name: both ordinates, burn-in, cleaning and every smoother.
const std::vector<std::vector<std::string>> kArgumentSets = {
    {"1990", "Y", "0.1", ";"},
    {"0", "X", "0.25", ",", "2", "1", "sma", "3"},
    {"2000", "x", "0.5", ";", "0", "0", "smm", "2"},
    {"-5", "Y", "0.5", "\t", "1", "2", "exp", "4"},
};

std::vector<std::string> Args(const std::string& path, std::size_t set) {
  std::vector<std::string> args{path};
  const auto& rest = kArgumentSets[set % kArgumentSets.size()];
  args.insert(args.end(), rest.begin(), rest.end());
  return args;
}

// The example grid run of the project.
std::string GridText() {
  return ReadFile(SourcePath("examples/grid.mp"));
}

// Checks that a run ended in order; what names the input in failure messages.
void ExpectOrderlyEnd(const TRunResult& run, const std::string& what) {
  SCOPED_TRACE(what);
  ASSERT_TRUE(run.status == 0 || run.status == 1) << "status " << run.status << "\n" << run.err;
  if (!run.out.empty()) {
    EXPECT_EQ(run.out.back(), '\n') << "standard output ends in a half line:\n" << run.out;
  }
  if (run.status == 0) {
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("Num patches loaded"), std::string::npos) << run.out;
  } else {
    ASSERT_GE(run.err.size(), 2U) << "no error message";
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "not exactly one line:\n" << run.err;
  }
}

// Runs the binary on the text as a file with the given argument set.
TRunResult RunOnText(const std::string& text, std::size_t set) {
  const TTempFile file(text);
  return RunBinary(Args(file.Path(), set));
}

TEST(FaultTest, GridFileIsAnalysedWithEveryArgumentSet) {
  const std::string grid = GridText();
  for (std::size_t set = 0; set < kArgumentSets.size(); ++set) {
    const TRunResult run = RunOnText(grid, set);
    ExpectOrderlyEnd(run, "argument set " + std::to_string(set));
    EXPECT_EQ(run.status, 0) << run.err;
  }
}

TEST(FaultTest, TruncationAtLineBoundariesEndsInOrder) {
  const std::string grid = GridText();
  std::vector<std::size_t> cuts{0};
  for (std::size_t pos = grid.find('\n'); pos != std::string::npos;
       pos = grid.find('\n', pos + 1)) {
    cuts.push_back(pos + 1);
  }
  // Every boundary of a file of ordinary size; an evenly spread sample of a large one.
  const std::size_t maxRuns = 300;
  const std::size_t stride = cuts.size() > maxRuns ? cuts.size() / maxRuns + 1 : 1;
  int stopped = 0;
  for (std::size_t i = 0; i < cuts.size(); i += stride) {
    const TRunResult run = RunOnText(grid.substr(0, cuts[i]), i);
    ExpectOrderlyEnd(run, "cut after byte " + std::to_string(cuts[i]));
    stopped += run.status;
  }
  EXPECT_GT(stopped, 0) << "no truncated file was rejected";
}

// Every line boundary of the grid, through the run in this process (the binary itself is run on
// a sample of them above): a process per cut would take minutes under the sanitizers.
TEST(FaultTest, TruncationAtEveryLineBoundaryEndsInOrderInProcess) {
  const std::string grid = GridText();
  const TTempFile file("");
  std::size_t cuts = 0;
  for (std::size_t end = 0; end != std::string::npos; end = grid.find('\n', end + 1)) {
    const std::size_t length = end == 0 ? 0 : end + 1;
    {
      std::ofstream out(file.Path(), std::ios::binary | std::ios::trunc);
      out.write(grid.data(), static_cast<std::streamsize>(length));
      ASSERT_TRUE(out.good());
    }
    TRunResult run;
    std::ostringstream out;
    std::ostringstream err;
    run.status = RunVarrowin(Args(file.Path(), cuts++), out, err);
    run.out = out.str();
    run.err = err.str();
    ExpectOrderlyEnd(run, "cut after byte " + std::to_string(length));
  }
  EXPECT_EQ(cuts, static_cast<std::size_t>(std::count(grid.begin(), grid.end(), '\n')) + 1);
}

TEST(FaultTest, TruncationInsideLinesEndsInOrder) {
  const std::string grid = GridText();
  std::mt19937 random(20240601);
  std::uniform_int_distribution<std::size_t> offset(1, grid.size() - 1);
  for (int i = 0; i < 60; ++i) {
    const std::size_t cut = offset(random);
    ExpectOrderlyEnd(RunOnText(grid.substr(0, cut), static_cast<std::size_t>(i)),
                     "cut after byte " + std::to_string(cut));
  }
}

TEST(FaultTest, RandomBytesAndDamagedFilesEndInOrder) {
  const std::string grid = GridText();
  std::mt19937 random(7);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int i = 0; i < 25; ++i) {
    std::string noise(static_cast<std::size_t>(random() % 4096), '\0');
    for (char& c : noise) {
      c = static_cast<char>(byte(random));
    }
    ExpectOrderlyEnd(RunOnText(noise, static_cast<std::size_t>(i)),
                     "random bytes, seed 7, file " + std::to_string(i));
  }
  // The grid with a few bytes overwritten: mostly valid structure with local damage.
  std::uniform_int_distribution<std::size_t> position(0, grid.size() - 1);
  const std::string replacements = "\n\r\0.,-e9 PopKCH";
  for (int i = 0; i < 25; ++i) {
    std::string damaged = grid;
    for (int k = 0; k < 4; ++k) {
      damaged[position(random)] = replacements[random() % replacements.size()];
    }
    ExpectOrderlyEnd(RunOnText(damaged, static_cast<std::size_t>(i)),
                     "damaged grid " + std::to_string(i));
  }
}

TEST(FaultTest, NulBytesEndInOrder) {
  const std::string minimal =
      "Run\nCell 2 km\nA,1,2,.KCH\nB,3,4\nMigration\nPop. ALL\n1.0\n2.0\nPop. 1\n3.0\n4.0\n"
      "Pop. 2\n5.0\n6.0\n";
  const std::vector<std::string> cases = {
      std::string(1000, '\0'),
      "Run\nA,1\0,2,.KCH\nMigration\nPop. ALL\n1\0\n2.0\nPop. 1\n\0\0\n4.0\n"s,
      "Run\nCell \0 2 km\nA\0B,1,2,.KCH\nMigration\nPop.\0ALL\nPop. ALL\n1.0\nPop.\0 1\n2.0\n"s,
      minimal + std::string(64, '\0'),
      std::string(64, '\0') + minimal,
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    ExpectOrderlyEnd(RunOnText(cases[i], i), "NUL case " + std::to_string(i));
  }
  // A NUL in a data line ends the number as the C library's conversion would.
  const std::string withNul =
      "Run\nCell 2 km\nA,1,2,.KCH\nB,3,4\nMigration\nPop. ALL\n1.0\n2.0\nPop. 1\n3.0\0 junk\n"
      "4.0\nPop. 2\n5.0\n6.0\n"s;
  const TRunResult plain = RunOnText(minimal, 0);
  const TRunResult nul = RunOnText(withNul, 0);
  ExpectOrderlyEnd(nul, "NUL after a number");
  EXPECT_EQ(nul.out, plain.out);
}

TEST(FaultTest, LineOfTensOfMegabytesEndsInOrder) {
  const std::string huge(20U << 20U, '7');
  const std::string head = "Run\nCell 2 km\nA,1,2,.KCH\nMigration\nPop. ALL\n";
  const std::vector<std::string> cases = {
      huge,                                            // one line, no line feed
      huge + "\n",                                     // one line with its line feed
      head + "1.0\n2.0\nPop. 1\n" + huge + "\n2.0\n",  // as a data line
      head + huge + "\nPop. 1\n3.0\n",                 // as a counted line
      "Run\nA,1," + huge + ",.KCH\nMigration\nPop. ALL\n1.0\nPop. 1\n2.0\n",  // as a field
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    ExpectOrderlyEnd(RunOnText(cases[i], 0), "huge line case " + std::to_string(i));
  }
}

std::string WithLineEnds(const std::string& text, bool everyLine) {
  std::string result;
  bool crlf = true;
  for (const char c : text) {
    if (c == '\n') {
      if (crlf) {
        result += '\r';
      }
      crlf = everyLine || !crlf;
    }
    result += c;
  }
  return result;
}

TEST(FaultTest, CrlfAndMixedLineEndsGiveTheSameReport) {
  const std::string grid = GridText();
  for (std::size_t set = 0; set < kArgumentSets.size(); ++set) {
    const TRunResult lf = RunOnText(grid, set);
    ASSERT_EQ(lf.status, 0) << lf.err;
    const TRunResult crlf = RunOnText(WithLineEnds(grid, true), set);
    EXPECT_EQ(crlf.status, 0) << crlf.err;
    EXPECT_EQ(crlf.out, lf.out) << "CRLF, argument set " << set;
    const TRunResult mixed = RunOnText(WithLineEnds(grid, false), set);
    EXPECT_EQ(mixed.status, 0) << mixed.err;
    EXPECT_EQ(mixed.out, lf.out) << "mixed line ends, argument set " << set;
  }
}

TEST(FaultTest, MissingFileOrDirectoryIsOneLineAndStatusOne) {
  const TTempFile file("");
  for (const auto& [path, reason] :
       {std::pair{file.Dir() + "/no-such-file.mp", "No such file or directory"},
        std::pair{file.Dir(), "Is a directory"}}) {
    const TRunResult run = RunBinary(Args(path, 0));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Cannot open file: " + path + ": " + reason + "\n");
    EXPECT_EQ(run.out, "");
  }
}

TEST(FaultTest, UnreadableFileIsOneLineAndStatusOne) {
  if (geteuid() == 0) {
    GTEST_SKIP() << "running as root, which reads files whatever their mode: the unreadable "
                    "file cannot be tested here";
  }
  const TTempFile file(GridText());
  ASSERT_EQ(chmod(file.Path().c_str(), 0), 0);
  const TRunResult run = RunBinary(Args(file.Path(), 0));
  chmod(file.Path().c_str(), 0600);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Cannot open file: " + file.Path() + ": Permission denied\n");
  EXPECT_EQ(run.out, "");
}

// Standard output on a full disk, closed, or a pipe whose reader has gone away. With SIGPIPE
// ignored the failed write is reported like a full disk (with SIGPIPE at its default the system
// ends the process by that signal, as it ends any program that writes to such a pipe).
TEST(FaultTest, UnwritableStandardOutputIsStatusOne) {
  const TTempFile file(GridText());
  const TRunResult runs[] = {
      RunBinary(Args(file.Path(), 0), "/dev/full"),
      RunBinaryWithStdout(Args(file.Path(), 1), TStdout::kClosed),
      RunBinaryWithStdout(Args(file.Path(), 2), TStdout::kBrokenPipe),
  };
  for (const TRunResult& run : runs) {
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Cannot write to standard output\n");
  }
}

TEST(FaultTest, ErrorMessageIsTheLastThingWritten) {
  const std::string grid = GridText();
  // Inputs that fail after part of the report is out, and one that fails before it.
  const std::vector<std::string> cases = {
      grid.substr(0, grid.size() * 3 / 4), grid.substr(0, grid.size() / 2),
      "Run\nA,1,2,.KCH\nMigration\n",                              // no years
      "Run\nA,1,2,.KCH\nMigration\nPop. ALL\n1.0\nPop. 7\n2.0\n",  // no such patch line
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE("case " + std::to_string(i));
    const TTempFile file(cases[i]);
    const TRunResult separate = RunBinary(Args(file.Path(), 0));
    ASSERT_EQ(separate.status, 1) << separate.out;
    const TRunResult shared = RunBinaryWithStdout(Args(file.Path(), 0), TStdout::kSharedWithStderr);
    EXPECT_EQ(shared.status, 1);
    EXPECT_EQ(shared.out, separate.out + separate.err);
  }
}

}  // namespace
}  // namespace varrowin::test
