#include <varrowin/Varrowin.h>

#include <cmath>
#include <cstdint>
#include <exception>
#include <new>
#include <string_view>
#include <utility>

#include <varrowin/Analysis.h>
#include <varrowin/Common.h>
#include <varrowin/TMPParser.h>
#include <varrowin/Version.h>

namespace varrowin {

namespace {

// The run parameters: the file, the report's delimiter and the analysis options.
struct TRunParameters {
  std::string filename;
  std::string delimiter;
  TAnalysisOptions options;
};

// Reads the run parameters from the arguments (at least five). Each argument is checked whole,
// in argument order, and the first that fails is reported, before anything is loaded. The
// checks are the library's, so the program and the library's callers refuse the same options.
TRunParameters ParseArguments(const std::vector<std::string>& args) {
  TRunParameters p;
  TAnalysisOptions& o = p.options;
  p.filename = args[0];
  o.startYear = ParseWholeNumberArgument(args[1], "startyear");
  o.axis = ParseAxis(args[2]);
  o.threshold = ParseThreshold(args[3]);
  CheckDelimiter(args[4]);
  p.delimiter = args[4];
  if (args.size() >= 6) {
    o.burnIn = ParseWholeNumberArgument(args[5], "burn-in");
    CheckBurnIn(o.burnIn);
  }
  if (args.size() >= 7) {
    o.patchSizeThreshold = ParseWholeNumberArgument(args[6], "patch_size_threshold");
  }
  if (args.size() >= 8) {
    const std::string& word = args[7];
    if (word == "sma") {
      o.smoothing = TSmoothing::kMovingAverage;
    } else if (word == "exp") {
      o.smoothing = TSmoothing::kExponential;
    } else if (word == "smm") {
      o.smoothing = TSmoothing::kMedian;
    } else {
      throw TError("Unknown moving average");
    }
    if (args.size() == 8) {
      throw TError("Missing window size");
    }
    o.window = ParseWholeNumberArgument(args[8], "window_size");
    CheckWindow(o.window);
  }
  return p;
}

// Writes the report: each line is flushed as it ends, and a failed write is an error, so a
// report that could not be written never ends in success.
class TReport {
 public:
  TReport(std::ostream& out, std::string delimiter) : out_(out), delim_(std::move(delimiter)) {}

  template <class T>
  void HeaderLine(const char* label, const T& value) {
    out_ << label << delim_ << value;
    EndLine();
  }

  void GroupHeader() {
    out_ << delim_ << delim_ << "North" << delim_ << delim_ << "South";
    EndLine();
  }

  void ColumnHeader(double resolution) {
    if (resolution != 1.0) {
      out_ << delim_ << "Year" << delim_ << "X(km)" << delim_ << "Y(km)" << delim_ << "Year"
           << delim_ << "X(km)" << delim_ << "Y(km)";
    }
    EndLine();
  }

  void Row(TYear year, const TPoint& north, const TPoint& south) {
    out_ << delim_ << year << delim_ << north.X() << delim_ << north.Y() << delim_ << year << delim_
         << south.X() << delim_ << south.Y();
    EndLine();
  }

 private:
  void EndLine() {
    out_ << std::endl;
    if (!out_) {
      throw TError("Cannot write to standard output");
    }
  }

  std::ostream& out_;
  std::string delim_;
};

// Writes the report of a finished analysis.
void WriteReport(const TRunParameters& p, const TAnalysisResult& result, std::ostream& out) {
  const TAnalysisOptions& o = p.options;
  TReport report(out, p.delimiter);
  report.HeaderLine("Num patches loaded", result.numPatchesLoaded);
  if (result.numPatchesAfterCleaning >= 0) {
    report.HeaderLine("Patch size threshold", o.patchSizeThreshold);
    report.HeaderLine("Num patches after cleaning", result.numPatchesAfterCleaning);
  }
  report.HeaderLine("Resolution(km)", result.resolution);
  report.HeaderLine("Total years", result.years.size());
  if (o.burnIn > 0) {
    report.HeaderLine("Burn-in years", o.burnIn);
  }
  if (o.smoothing != TSmoothing::kNone) {
    report.HeaderLine(SmoothingLabel(o.smoothing), o.window);
  }
  report.GroupHeader();
  report.ColumnHeader(result.resolution);
  for (std::size_t k = 0; k < result.years.size(); ++k) {
    report.Row(result.years[k], result.northShifts[k], result.southShifts[k]);
  }
}

}  // namespace

int RunVarrowin(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h" || args[0] == "--version")) {
    if (args[0] == "--version") {
      out << "Varrowin " << kVersion << '\n';
    } else {
      out << kHelp;
    }
    if (!out.flush()) {
      err << "Cannot write to standard output" << std::endl;
      return 1;
    }
    return 0;
  }
  if (args.size() < 5) {
    err << kUsage << std::flush;
    return 1;
  }
  try {
    const TRunParameters p = ParseArguments(args);
    // The whole analysis runs before the first line is written: a run that fails writes no
    // report at all.
    const TAnalysisResult result =
        Analyse(TMPParser::LoadMP(p.filename, p.options.startYear), p.options);
    WriteReport(p, result, out);
    return 0;
  } catch (const std::bad_alloc&) {
    err << "Out of memory" << std::endl;
  } catch (const std::exception& e) {
    err << e.what() << std::endl;
  }
  return 1;
}

}  // namespace varrowin
