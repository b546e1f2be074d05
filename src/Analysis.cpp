#include <varrowin/Analysis.h>

#include <cmath>
#include <cstddef>
#include <string>
#include <utility>

#include <varrowin/TCentroidTools.h>
#include <varrowin/TCentroids.h>
#include <varrowin/TMPParser.h>
#include "NumberText.h"
#include "SeriesSmoothing.h"

namespace varrowin {

namespace {

// Smooths the series where it lies. The series of an analysis hold every year from their first
// to their last, so the exponential and the moving mean work on the points themselves.
void Smooth(TCentroids& series, TSmoothing smoothing, std::int32_t window, double factor) {
  if (smoothing == TSmoothing::kNone || series.GetNumYears() == 0) {
    return;  // every smoother leaves an empty series empty
  }
  if (smoothing == TSmoothing::kMedian) {
    series = TCentroidTools::MedianSmoothing(series, window);
    return;
  }
  TYear first = series.begin()->first;
  std::vector<TPoint> points = series.TakePoints();
  if (smoothing == TSmoothing::kExponential) {
    SmoothExponentiallyInPlace(points, factor);
  } else {
    MovingAverageInPlace(points, static_cast<std::size_t>(window));
    // Each mean stands under the year at the middle of its window.
    first = static_cast<TYear>(std::int64_t{first} + (window - 1) / 2);
  }
  series.AssignPoints(first, std::move(points));
}

// The points of a shift series in year order, as the report prints them: unsigned. The series
// is used up.
std::vector<TPoint> UnsignedPoints(TCentroids series) {
  std::vector<TPoint> points = series.TakePoints();
  for (TPoint& point : points) {
    point = TPoint(std::abs(point.X()), std::abs(point.Y()));
  }
  return points;
}

}  // namespace

char CheckAxis(char axis) {
  if (axis == 'X' || axis == 'x') {
    return 'X';
  }
  if (axis == 'Y' || axis == 'y') {
    return 'Y';
  }
  throw TError("XorY must be X or Y");
}

void CheckThreshold(double threshold) {
  // Written so that not-a-number fails too.
  if (!(threshold > 0.0 && threshold < 1.0)) {
    throw TError("Threshold must be a number greater than 0 and less than 1");
  }
}

void CheckBurnIn(std::int32_t burnIn) {
  if (burnIn < 0) {
    throw TError("Burn-in must not be negative");
  }
}

void CheckWindow(std::int32_t window) {
  if (window < 1) {
    throw TError("Window size must be at least 1");
  }
}

void CheckDelimiter(std::string_view delimiter) {
  if (delimiter.empty()) {
    throw TError("Delimiter must not be empty");
  }
}

std::int32_t ParseWholeNumberArgument(std::string_view text, std::string_view name) {
  std::int32_t value = 0;
  switch (ParseWholeNumber(text, value)) {
    case TWholeNumber::kValid:
      return value;
    case TWholeNumber::kOutOfRange:
      throw TError(std::string(name) + " out of range");
    case TWholeNumber::kNotWhole:
      break;
  }
  throw TError(std::string(name) + " must be a whole number");
}

char ParseAxis(std::string_view text) {
  // One character only: "XY" or "Y " is a mistake, not an axis.
  return CheckAxis(text.size() == 1 ? text[0] : '\0');
}

double ParseThreshold(std::string_view text) {
  double threshold = 0.0;
  // A text that is no number leaves 0, which the range check refuses with the same message.
  if (!ParseStrictDouble(text, threshold)) {
    threshold = 0.0;
  }
  CheckThreshold(threshold);
  return threshold;
}

TAnalysisOptions CheckOptions(TAnalysisOptions options) {
  options.axis = CheckAxis(options.axis);
  CheckThreshold(options.threshold);
  CheckBurnIn(options.burnIn);
  if (options.smoothing != TSmoothing::kNone) {
    CheckWindow(options.window);
  }
  return options;
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

TAnalysisResult Analyse(TPatches patches, const TAnalysisOptions& unchecked) {
  const TAnalysisOptions options = CheckOptions(unchecked);
  TAnalysisResult result;
  result.numPatchesLoaded = patches.GetNumPatches();
  if (patches.GetNumPatches() == 0) {
    throw TError("No patches to analyse");
  }
  if (options.patchSizeThreshold > 0) {
    // The loaded collection is not needed after cleaning: its retained patches move over.
    patches = TCentroidTools::CleanPatches(std::move(patches), options.patchSizeThreshold);
    result.numPatchesAfterCleaning = patches.GetNumPatches();
    if (patches.GetNumPatches() == 0) {
      throw TError("No patches to analyse");
    }
  }
  result.resolution = patches.GetResolution();

  // The South margin (gathered from the high end of the axis), the North margin (from the low
  // end) and the all-patch centroid series, in one pass over the populations.
  TCentroidTools::TRangeSeries range =
      TCentroidTools::GetRangeSeries(patches, options.threshold, options.axis);
  // The populations are not needed any more: their memory goes before the series are smoothed.
  // cppcheck-suppress uselessAssignmentArg
  patches = TPatches();
  TCentroids& south = range.south;
  TCentroids& north = range.north;
  TCentroids& all = range.all;
  if (options.smoothing != TSmoothing::kNone) {
    const double factor = 2.0 / (options.window + 1.0);
    Smooth(north, options.smoothing, options.window, factor);
    Smooth(south, options.smoothing, options.window, factor);
    Smooth(all, options.smoothing, options.window, factor);
  }

  if (north.GetNumYears() == 0) {
    throw TError("No years to analyse");
  }
  if (north.GetNumYears() <= static_cast<std::size_t>(options.burnIn)) {
    throw TError("Burn-in leaves no years to analyse");
  }
  // Each series goes as soon as it is used; the centroid points move into the result.
  TCentroids northShift =
      TCentroidTools::GetPropInitialRangeCoordShifts(all, north, options.burnIn);
  result.years = northShift.GetYearList();
  result.northShifts = UnsignedPoints(std::move(northShift));
  result.northCentroids = north.TakePoints();
  // Both margins have the same years: they are cut from the same collection.
  result.southShifts =
      UnsignedPoints(TCentroidTools::GetPropInitialRangeCoordShifts(all, south, options.burnIn));
  result.southCentroids = south.TakePoints();
  result.centroidYears = all.GetYearList();
  result.allCentroids = all.TakePoints();
  return result;
}

TAnalysisResult AnalyseMP(const std::string& fileName, const TAnalysisOptions& options) {
  const TAnalysisOptions checked = CheckOptions(options);
  return Analyse(TMPParser::LoadMP(fileName, checked.startYear), checked);
}

}  // namespace varrowin
