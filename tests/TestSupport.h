// Helpers shared by the test programs: temporary files and runs of the real binary.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <varrowin/Common.h>
#include <varrowin/TCentroids.h>
#include <varrowin/TPatches.h>

#include "MPLoad.h"

namespace varrowin::test {

// A file in a fresh temporary directory, removed with the object.
class TTempFile {
 public:
  explicit TTempFile(const std::string& contents, const std::string& name = "input.mp");
  ~TTempFile();
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;
  const std::string& Path() const { return path_; }
  const std::string& Dir() const { return dir_; }

 private:
  std::string dir_;
  std::string path_;
};

// What a run of the Varrowin binary produced.
struct TRunResult {
  std::string out;
  std::string err;
  int status = -1;  // exit status; -1 when the process did not exit normally
};

// Runs the built Varrowin binary with the arguments (no shell involved) and captures its
// standard output, standard error and exit status. stdoutPath, when given, replaces the capture
// of standard output (for /dev/full and the like; out is then empty).
TRunResult RunBinary(const std::vector<std::string>& args, const std::string& stdoutPath = "");

// Where a run's standard output goes, for RunBinaryWithStdout.
enum class TStdout {
  kClosed,            // file descriptor 1 is closed before the program starts (out is empty)
  kSharedWithStderr,  // both streams go to one file, in the order written (out holds both)
  kBrokenPipe,        // a pipe whose reading end is closed, with SIGPIPE ignored (out is empty)
};

// Runs the Varrowin binary as RunBinary does, with standard output connected as mode says.
TRunResult RunBinaryWithStdout(const std::vector<std::string>& args, TStdout mode);

// Reads a whole file; fails the calling test when it cannot.
std::string ReadFile(const std::string& path);

// The project's source directory and a path under it.
std::string SourcePath(const std::string& relative);

// Fails the calling test unless call() throws a TError whose message is exactly message.
template <class F>
void ExpectError(F&& call, const char* message) {
  try {
    call();
    ADD_FAILURE() << "no error, expected " << message;
  } catch (const TError& e) {
    EXPECT_STREQ(e.what(), message);
  }
}

// One entry of a centroid series.
struct TEntry {
  TYear year;
  double x;
  double y;
};

// A series holding the entries, under the given name.
TCentroids MakeSeries(const std::vector<TEntry>& entries, const std::string& name = "");

// Consecutive years from 2000 with the given X values and Y = 0.
TCentroids SeriesX(const std::vector<double>& xs);

// The entries of a series, in year order.
std::vector<TEntry> Entries(const TCentroids& series);

// Expects a series the analytics built (empty name) with exactly the expected entries, compared
// exactly; a not-a-number expectation matches any not-a-number.
void ExpectSeries(const TCentroids& actual, const std::vector<TEntry>& expected);

// Same double, bit for bit.
bool SameBits(double a, double b);

// A patch with values for consecutive years from firstYear.
TPatch MakePatch(const std::string& name, double x, double y, TYear firstYear,
                 const std::vector<double>& values);

// Everything a load of the file with the settings gives, every double's bits included, or the
// error it throws: what every way of reading one file must agree on.
std::string LoadOutcome(const std::string& path, TYear startYear,
                        const TMPParser::TLoadSettings& settings,
                        TMPParser::TLoadReport* report = nullptr);

// A collection of the patches (resolution 1).
TPatches Collection(std::vector<TPatch> patches);

// A name for one case of a parameterized test, as GoogleTest accepts it: the letters and digits
// of the description, every run of other characters made one underscore ("end of file, 2" gives
// "end_of_file_2"). Without a name of its own a case is listed by ctest with a dump of its bytes.
std::string CaseName(const std::string& description);

}  // namespace varrowin::test
