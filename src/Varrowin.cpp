#include <varrowin/Varrowin.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <new>
#include <ostream>
#include <streambuf>
#include <string_view>
#include <utility>
#include <vector>

#include <varrowin/Analysis.h>
#include <varrowin/Common.h>
#include <varrowin/TMPParser.h>
#include "NumberText.h"

namespace varrowin {

namespace {

// The run parameters: the file, the report's delimiter and the analysis options.
struct TRunParameters {
  std::string filename;
  std::string delimiter;
  TAnalysisOptions options;
};

// Converts an integer argument as atol does; a value outside 32 bits is an error.
std::int32_t IntegerArgument(const std::string& text, std::string_view name) {
  const TParsedInteger parsed = ParseInteger(text);
  if (!parsed.fitsInt32) {
    throw TError(std::string(name) + " out of range");
  }
  return static_cast<std::int32_t>(parsed.value);
}

// Reads the run parameters from the arguments (at least five). The checks run in argument order
// and the first that fails is reported, before anything is loaded.
TRunParameters ParseArguments(const std::vector<std::string>& args) {
  TRunParameters p;
  TAnalysisOptions& o = p.options;
  p.filename = args[0];
  o.startYear = IntegerArgument(args[1], "startyear");
  o.axis = CheckAxis(!args[2].empty() && args[2][0] == 'X' ? 'X' : 'Y');
  o.threshold = ParseDouble(args[3]);
  CheckThreshold(o.threshold);
  p.delimiter = args[4];
  if (args.size() >= 6) {
    o.burnIn = IntegerArgument(args[5], "burn-in");
    CheckBurnIn(o.burnIn);
  }
  if (args.size() >= 7) {
    o.patchSizeThreshold = IntegerArgument(args[6], "patch_size_threshold");
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
    o.window = IntegerArgument(args[8], "window_size");
    CheckWindow(o.window);
  }
  return p;
}

// Collects text in one block and hands each full block to an output stream in one write. A
// failed write makes the next output operation fail (the formatting stream's state goes bad).
class TBlockBuffer : public std::streambuf {
 public:
  static constexpr std::size_t kBlockSize = 64 * 1024;

  explicit TBlockBuffer(std::ostream& out) : out_(out), block_(kBlockSize) {
    setp(block_.data(), block_.data() + block_.size());
  }

  // Writes what has been collected; false when the output failed.
  bool Drain() {
    const std::ptrdiff_t size = pptr() - pbase();
    if (size > 0) {
      out_.write(pbase(), size);
    }
    setp(block_.data(), block_.data() + block_.size());
    return static_cast<bool>(out_);
  }

 protected:
  int_type overflow(int_type c) override {
    if (!Drain()) {
      return traits_type::eof();
    }
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }

  int sync() override { return Drain() ? 0 : -1; }

 private:
  std::ostream& out_;
  std::vector<char> block_;
};

// Writes the report through one block buffer of 64 KiB: the output stream sees a write per full
// block, not per line. The numbers are formatted as the output stream formats them. A failed
// write is an error, so a report that could not be written never ends in success.
class TReport {
 public:
  TReport(std::ostream& out, std::string delimiter)
      : out_(out), delim_(std::move(delimiter)), buffer_(out), text_(&buffer_) {
    text_.flags(out.flags());
    text_.precision(out.precision());
    text_.width(out.width());
    text_.fill(out.fill());
    text_.imbue(out.getloc());
  }

  template <class T>
  void HeaderLine(const char* label, const T& value) {
    text_ << label << delim_ << value;
    EndLine();
  }

  void GroupHeader() {
    text_ << delim_ << delim_ << "North" << delim_ << delim_ << "South";
    EndLine();
  }

  void ColumnHeader(double resolution) {
    if (resolution != 1.0) {
      text_ << delim_ << "Year" << delim_ << "X(km)" << delim_ << "Y(km)" << delim_ << "Year"
            << delim_ << "X(km)" << delim_ << "Y(km)";
    }
    EndLine();
  }

  void Row(TYear year, const TPoint& north, const TPoint& south) {
    text_ << delim_ << year << delim_ << north.X() << delim_ << north.Y() << delim_ << year
          << delim_ << south.X() << delim_ << south.Y();
    EndLine();
  }

  // Writes the rest of the report and flushes the output stream.
  void Finish() {
    if (!buffer_.Drain() || !out_.flush()) {
      Fail();
    }
  }

 private:
  [[noreturn]] static void Fail() { throw TError("Cannot write to standard output"); }

  void EndLine() {
    text_ << '\n';
    if (!text_) {
      Fail();
    }
  }

  std::ostream& out_;
  std::string delim_;
  TBlockBuffer buffer_;
  std::ostream text_;
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
  report.Finish();
}

}  // namespace

int RunVarrowin(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
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
