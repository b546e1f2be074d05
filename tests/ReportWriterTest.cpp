// The report writer on reports larger than its 64 KiB block: whole reports, failing outputs and
// streams with their own number format; each with the rows written by the analysing thread
// (VARROWIN_THREADS=1) and by a second thread.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include <varrowin/Varrowin.h>
#include "TestSupport.h"

namespace varrowin {
namespace {

using test::TTempFile;

constexpr int kYears = 40000;  // about 800 KiB of report rows, enough for the second thread

// Two patches over kYears years whose margins move every year.
std::string LongRun() {
  std::string text = "Run\nA,1,2,.KCH\nB,3,5,.KCH\nMigration\nPop. ALL\n";
  for (int year = 0; year < kYears; ++year) {
    text += "1\n";
  }
  for (int patch = 1; patch <= 2; ++patch) {
    text += "Pop. " + std::to_string(patch) + "\n";
    for (int year = 0; year < kYears; ++year) {
      const int value = patch == 1 ? 10 + year % 7 : 20 + (year * 3) % 11;
      text += std::to_string(value) + ".5 0 1\n";
    }
  }
  return text;
}

// Accepts the first limit bytes, then fails every write.
class TFailingBuffer : public std::streambuf {
 public:
  explicit TFailingBuffer(std::size_t limit) : limit_(limit) {}
  const std::string& Taken() const { return taken_; }

 protected:
  std::streamsize xsputn(const char* data, std::streamsize count) override {
    const auto room = static_cast<std::streamsize>(limit_ - taken_.size());
    const std::streamsize accepted = count < room ? count : room;
    taken_.append(data, static_cast<std::size_t>(accepted));
    return accepted;
  }
  int_type overflow(int_type c) override {
    if (taken_.size() >= limit_ || traits_type::eq_int_type(c, traits_type::eof())) {
      return traits_type::eof();
    }
    taken_.push_back(traits_type::to_char_type(c));
    return c;
  }

 private:
  std::size_t limit_;
  std::string taken_;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line);
  }
  return lines;
}

// Runs each test with VARROWIN_THREADS set to the parameter, and restores it afterwards.
class ReportWriterTest : public ::testing::TestWithParam<const char*> {
 protected:
  ReportWriterTest() : file_(LongRun()), args_{file_.Path(), "0", "Y", "0.1", ";"} {
    const char* old = std::getenv("VARROWIN_THREADS");
    if (old != nullptr) {
      saved_ = old;
    }
    setenv("VARROWIN_THREADS", GetParam(), 1);
  }
  ~ReportWriterTest() override {
    if (saved_) {
      setenv("VARROWIN_THREADS", saved_->c_str(), 1);
    } else {
      unsetenv("VARROWIN_THREADS");
    }
  }
  ReportWriterTest(const ReportWriterTest&) = delete;
  ReportWriterTest& operator=(const ReportWriterTest&) = delete;
  ReportWriterTest(ReportWriterTest&&) = delete;
  ReportWriterTest& operator=(ReportWriterTest&&) = delete;

  int Run(std::ostream& out, std::string& errText) {
    std::ostringstream err;
    const int status = RunVarrowin(args_, out, err);
    errText = err.str();
    return status;
  }

  TTempFile file_;
  std::vector<std::string> args_;
  std::optional<std::string> saved_;
};

INSTANTIATE_TEST_SUITE_P(Threads, ReportWriterTest, ::testing::Values("1", "2"),
                         [](const auto& info) { return std::string("Threads") + info.param; });

// Every row arrives once and in order across the block boundaries, and the library call writes
// what the program writes.
TEST_P(ReportWriterTest, LongReportIsWhole) {
  std::ostringstream out;
  std::string err;
  ASSERT_EQ(Run(out, err), 0) << err;
  const std::string report = out.str();
  ASSERT_GT(report.size(), 2U * 64 * 1024);
  EXPECT_EQ(report.back(), '\n');
  const std::vector<std::string> lines = Lines(report);
  std::vector<int> years;
  for (const std::string& line : lines) {
    if (line.size() > 1 && line[0] == ';' && line[1] != ';') {
      years.push_back(std::atoi(line.c_str() + 1));
    }
  }
  ASSERT_EQ(years.size(), static_cast<std::size_t>(kYears));
  for (int k = 0; k < kYears; ++k) {
    ASSERT_EQ(years[static_cast<std::size_t>(k)], k);
  }
  const test::TRunResult program = test::RunBinary(args_);
  EXPECT_EQ(program.status, 0);
  EXPECT_EQ(program.out, report);
}

// The year text of a row is the last row's counted up: both groups of every row hold the year,
// also across the carries into a new digit, from other start years and through negative years.
TEST_P(ReportWriterTest, RowYearsAreConsecutive) {
  for (const int start : {0, 95, 99990, 2147440000, -12, -100005}) {
    args_[1] = std::to_string(start);
    std::ostringstream out;
    std::string err;
    ASSERT_EQ(Run(out, err), 0) << err;
    int k = 0;
    for (const std::string& line : Lines(out.str())) {
      if (line.size() < 2 || line[0] != ';' || line[1] == ';') {
        continue;
      }
      const std::string year = std::to_string(std::int64_t{start} + k);
      ASSERT_EQ(line.substr(0, year.size() + 2), ";" + year + ";") << line;
      ASSERT_NE(line.find(";" + year + ";", year.size() + 1), std::string::npos) << line;
      ++k;
    }
    EXPECT_EQ(k, kYears) << "start year " << start;
  }
}

// A write that fails before, within or after the first block ends the run with the message; what
// did get out is the start of the report.
TEST_P(ReportWriterTest, FailedWriteIsReportedAtAnyPoint) {
  std::ostringstream whole;
  std::string err;
  ASSERT_EQ(Run(whole, err), 0);
  for (const std::size_t limit : {std::size_t{0}, std::size_t{1000}, std::size_t{100000},
                                  whole.str().size() / 2, whole.str().size() - 1}) {
    TFailingBuffer buffer(limit);
    std::ostream out(&buffer);
    EXPECT_EQ(Run(out, err), 1) << limit;
    EXPECT_EQ(err, "Cannot write to standard output\n") << limit;
    EXPECT_EQ(buffer.Taken(), whole.str().substr(0, buffer.Taken().size())) << limit;
  }
}

// The numbers follow the output stream's format: more significant digits with a higher precision.
TEST_P(ReportWriterTest, StreamFormatIsKept) {
  std::ostringstream plain;
  std::ostringstream precise;
  precise.precision(12);
  std::string err;
  ASSERT_EQ(Run(plain, err), 0);
  ASSERT_EQ(Run(precise, err), 0);
  const std::vector<std::string> plainLines = Lines(plain.str());
  const std::vector<std::string> preciseLines = Lines(precise.str());
  ASSERT_EQ(plainLines.size(), preciseLines.size());
  EXPECT_GT(precise.str().size(), plain.str().size());
  // Both carry the same values to the shorter text's digits.
  const std::string& row = plainLines.back();
  const std::string& preciseRow = preciseLines.back();
  std::istringstream a(row);
  std::istringstream b(preciseRow);
  for (std::string x, y; std::getline(a, x, ';') && std::getline(b, y, ';');) {
    if (!x.empty()) {
      EXPECT_NEAR(std::strtod(x.c_str(), nullptr), std::strtod(y.c_str(), nullptr),
                  1e-5 * (1 + std::abs(std::strtod(y.c_str(), nullptr))))
          << row << " / " << preciseRow;
    }
  }
}

}  // namespace
}  // namespace varrowin
