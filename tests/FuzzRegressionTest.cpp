// Replays the inputs on which fuzzing found faults (tests/data/fuzz-regressions, see its README)
// and the fuzz seed corpus (fuzz/corpus) through the reader and the whole run, in this process,
// with the same checks as the fuzz targets. Under the sanitizer build this catches a reappearing
// memory fault without clang or libFuzzer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include <varrowin/Common.h>
#include <varrowin/TMPParser.h>
#include <varrowin/Varrowin.h>
#include "MPLoad.h"
#include "TestSupport.h"

namespace varrowin::test {
namespace {

std::vector<std::string> ReplayFiles() {
  std::vector<std::string> files;
  for (const char* dir : {"tests/data/fuzz-regressions", "fuzz/corpus"}) {
    const std::filesystem::path path = SourcePath(dir);
    if (!std::filesystem::is_directory(path)) {
      continue;
    }
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
      if (entry.is_regular_file() && entry.path().filename() != "README.md") {
        files.push_back(entry.path().string());
      }
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

class FuzzRegressionTest : public ::testing::TestWithParam<std::string> {};

TEST(FuzzRegressionFiles, ThereAreFilesToReplay) {
  EXPECT_FALSE(ReplayFiles().empty());
}

TEST_P(FuzzRegressionTest, ReaderThrowsNothingButTError) {
  const std::string text = ReadFile(GetParam());
  for (const TYear startYear :
       {TYear{1990}, TYear{0}, TYear{-100}, std::numeric_limits<TYear>::max(),
        std::numeric_limits<TYear>::max() - 3}) {
    std::istringstream in(text);
    try {
      static_cast<void>(TMPParser::LoadMP(in, startYear));
    } catch (const TError&) {
      // A bad file: an expected outcome.
    } catch (const std::exception& e) {
      ADD_FAILURE() << "start year " << startYear << ": unexpected exception " << e.what();
    }
  }
}

// The same file loaded on one thread and split over several, read in tiny blocks, gives the same
// collection or the same error.
std::string ThreadedOutcome(const std::string& path, unsigned threads) {
  TMPParser::TLoadSettings settings;
  settings.threads = threads;
  settings.minChunkBytes = 1;
  if (threads > 1) {
    settings.sizes = {7, 5};  // tiny blocks: most lines are read as long lines
  }
  return LoadOutcome(path, 1990, settings);
}

TEST_P(FuzzRegressionTest, ThreadedLoadAgrees) {
  const std::string single = ThreadedOutcome(GetParam(), 1);
  EXPECT_EQ(ThreadedOutcome(GetParam(), 3), single);
}

TEST_P(FuzzRegressionTest, RunEndsInOrder) {
  const std::string& path = GetParam();
  const std::vector<std::vector<std::string>> argumentSets = {
      {path, "1990", "Y", "0.1", ";"},
      {path, "0", "X", "0.25", ",", "2", "1", "sma", "3"},
      {path, "2147483645", "x", "1.5", ";", "0", "0", "smm", "2"},
      {path, "-5", "Y", "0.5", ";", "1", "2", "exp", "4"},
  };
  for (const auto& args : argumentSets) {
    SCOPED_TRACE(args[1] + " " + args[2] + " " + args[3]);
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunVarrowin(args, out, err);
    const std::string outText = out.str();
    const std::string errText = err.str();
    if (!outText.empty()) {
      EXPECT_EQ(outText.back(), '\n') << "half line on the report stream:\n" << outText;
    }
    if (status == 0) {
      EXPECT_EQ(errText, "");
      EXPECT_NE(outText, "");
    } else {
      ASSERT_EQ(status, 1);
      ASSERT_GE(errText.size(), 2U);
      EXPECT_EQ(errText.find('\n'), errText.size() - 1) << errText;
    }
  }
}

std::string TestName(const ::testing::TestParamInfo<std::string>& info) {
  const std::filesystem::path path(info.param);
  std::string name = path.parent_path().filename().string() + "_" + path.filename().string();
  for (char& c : name) {
    if (std::isalnum(static_cast<unsigned char>(c)) == 0) {
      c = '_';
    }
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Files, FuzzRegressionTest, ::testing::ValuesIn(ReplayFiles()), TestName);

}  // namespace
}  // namespace varrowin::test
