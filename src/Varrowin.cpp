#include "Varrowin.h"

#include <cmath>
#include <cstdint>
#include <exception>
#include <new>
#include <string_view>
#include <utility>

#include "Common.h"
#include "NumberText.h"
#include "TCentroidTools.h"
#include "TCentroids.h"
#include "TMPParser.h"
#include "TPatches.h"

namespace varrowin {

namespace {

enum class TSmoothing { kNone, kMovingAverage, kExponential, kMedian };

// The run parameters, in command-line order.
struct TRunParameters {
  std::string filename;
  TYear startYear = 0;
  char axis = '\0';
  double threshold = 0.0;
  std::string delimiter;
  std::int32_t burnIn = 0;
  std::int32_t patchSizeThreshold = 0;
  TSmoothing smoothing = TSmoothing::kNone;
  std::int32_t windowSize = 0;
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
  p.filename = args[0];
  p.startYear = IntegerArgument(args[1], "startyear");
  p.axis = args[2].empty() ? '\0' : args[2][0];
  p.threshold = ParseDouble(args[3]);
  p.delimiter = args[4];
  if (args.size() >= 6) {
    p.burnIn = IntegerArgument(args[5], "burn-in");
    if (p.burnIn < 0) {
      throw TError("Burn-in must not be negative");
    }
  }
  if (args.size() >= 7) {
    p.patchSizeThreshold = IntegerArgument(args[6], "patch_size_threshold");
  }
  if (args.size() >= 8) {
    const std::string& word = args[7];
    if (word == "sma") {
      p.smoothing = TSmoothing::kMovingAverage;
    } else if (word == "exp") {
      p.smoothing = TSmoothing::kExponential;
    } else if (word == "smm") {
      p.smoothing = TSmoothing::kMedian;
    } else {
      throw TError("Unknown moving average");
    }
    if (args.size() == 8) {
      throw TError("Missing window size");
    }
    p.windowSize = IntegerArgument(args[8], "window_size");
    if (p.windowSize < 1) {
      throw TError("Window size must be at least 1");
    }
  }
  return p;
}

const char* SmoothingLabel(TSmoothing smoothing) {
  switch (smoothing) {
    case TSmoothing::kMovingAverage:
      return "Simple moving average smoothing window";
    case TSmoothing::kExponential:
      return "Exponential smoothing window";
    case TSmoothing::kMedian:
      return "Simple moving median smoothing window";
    case TSmoothing::kNone:
      break;
  }
  return "";
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
    out_ << delim_ << year << delim_ << std::abs(north.X()) << delim_ << std::abs(north.Y())
         << delim_ << year << delim_ << std::abs(south.X()) << delim_ << std::abs(south.Y());
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

TCentroids Smooth(const TCentroids& series, TSmoothing smoothing, std::int32_t window,
                  double factor) {
  switch (smoothing) {
    case TSmoothing::kMovingAverage:
      return TCentroidTools::MovingAverage(series, window);
    case TSmoothing::kExponential:
      return TCentroidTools::ExponentialSmoothing(series, factor);
    case TSmoothing::kMedian:
      return TCentroidTools::MedianSmoothing(series, window);
    case TSmoothing::kNone:
      break;
  }
  return series;
}

void RunPipeline(const TRunParameters& p, std::ostream& out) {
  TReport report(out, p.delimiter);

  TPatches patches = TMPParser::LoadMP(p.filename, p.startYear);
  report.HeaderLine("Num patches loaded", patches.GetNumPatches());
  if (patches.GetNumPatches() == 0) {
    throw TError("No patches to analyse");
  }
  if (p.patchSizeThreshold > 0) {
    // The loaded collection is not needed after cleaning: its retained patches move over.
    patches = TCentroidTools::CleanPatches(std::move(patches), p.patchSizeThreshold);
    report.HeaderLine("Patch size threshold", p.patchSizeThreshold);
    report.HeaderLine("Num patches after cleaning", patches.GetNumPatches());
    if (patches.GetNumPatches() == 0) {
      throw TError("No patches to analyse");
    }
  }
  const double resolution = patches.GetResolution();
  report.HeaderLine("Resolution(km)", resolution);

  // The South margin (gathered from the high end of the axis), the North margin (from the low
  // end) and the all-patch centroid series, in one pass over the populations.
  TCentroidTools::TRangeSeries range = TCentroidTools::GetRangeSeries(patches, p.threshold, p.axis);
  TCentroids& south = range.south;
  TCentroids& north = range.north;
  TCentroids& all = range.all;

  if (p.smoothing != TSmoothing::kNone) {
    const double factor = 2.0 / (p.windowSize + 1.0);
    north = Smooth(north, p.smoothing, p.windowSize, factor);
    south = Smooth(south, p.smoothing, p.windowSize, factor);
    all = Smooth(all, p.smoothing, p.windowSize, factor);
  }
  patches = TPatches();

  if (north.GetNumYears() == 0) {
    throw TError("No years to analyse");
  }
  if (north.GetNumYears() <= static_cast<std::size_t>(p.burnIn)) {
    throw TError("Burn-in leaves no years to analyse");
  }
  const TCentroids northShift =
      TCentroidTools::GetPropInitialRangeCoordShifts(all, north, p.burnIn);
  const TCentroids southShift =
      TCentroidTools::GetPropInitialRangeCoordShifts(all, south, p.burnIn);
  const TYearList years = northShift.GetYearList();

  report.HeaderLine("Total years", years.size());
  if (p.burnIn > 0) {
    report.HeaderLine("Burn-in years", p.burnIn);
  }
  if (p.smoothing != TSmoothing::kNone) {
    report.HeaderLine(SmoothingLabel(p.smoothing), p.windowSize);
  }
  report.GroupHeader();
  report.ColumnHeader(resolution);
  for (const TYear year : years) {
    // Both points are fetched before any part of the row is written.
    const TPoint northPoint = northShift.GetCoords(year);
    const TPoint southPoint = southShift.GetCoords(year);
    report.Row(year, northPoint, southPoint);
  }
}

}  // namespace

int RunVarrowin(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() < 5) {
    err << kUsage << std::flush;
    return 1;
  }
  try {
    RunPipeline(ParseArguments(args), out);
    return 0;
  } catch (const std::bad_alloc&) {
    err << "Out of memory" << std::endl;
  } catch (const std::exception& e) {
    err << e.what() << std::endl;
  }
  return 1;
}

}  // namespace varrowin
