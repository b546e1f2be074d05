#include <varrowin/Analysis.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include <varrowin/TCentroidTools.h>
#include <varrowin/TCentroids.h>
#include <varrowin/TMPParser.h>
#include "AnalysisSpans.h"
#include "MPLoad.h"
#include "NumberText.h"
#include "SeriesPieces.h"

namespace varrowin {

namespace {

// Smooths the three series of an analysis as they arrive a span at a time, giving the points of
// the whole-series smoother. Exponential smoothing carries its state (the three recursions run
// side by side). The windowed smoothers keep the input points whose windows are not complete yet
// and smooth once at least a window's width of windows is complete, so that each point is copied
// a bounded number of times whatever the width; a median over long windows waits for the whole
// series.
class TSpanSmoother {
 public:
  static constexpr std::size_t kSeries = 3;
  using TSeries = std::array<std::vector<TPoint>*, kSeries>;

  TSpanSmoother(TSmoothing smoothing, std::int32_t window)
      : smoothing_(smoothing),
        width_(smoothing == TSmoothing::kMovingAverage || smoothing == TSmoothing::kMedian
                   ? static_cast<std::size_t>(window)
                   : 1),
        factor_(2.0 / (window + 1.0)) {}

  // The number of smoothed points that a series of n points gives: one per full window (width 1
  // for the smoothers without a window).
  std::size_t Count(std::size_t n) const { return n >= width_ ? n - width_ + 1 : 0; }

  // The offset of the first smoothed point's year from the first input year.
  std::int64_t YearOffset() const { return static_cast<std::int64_t>((width_ - 1) / 2); }

  // Takes the next input points of each series (all of the same length; last: the series end
  // with them) and leaves in them the smoothed points that are ready, possibly none.
  void Push(const TSeries& series, bool last) {
    switch (smoothing_) {
      case TSmoothing::kNone:
        return;
      case TSmoothing::kExponential:
        for (std::size_t k = 0; k < series[0]->size(); ++k) {
          for (std::size_t s = 0; s < kSeries; ++s) {
            TCentroidTools::SmoothExponentially((*series[s])[k], factor_, exponential_[s]);
          }
        }
        return;
      case TSmoothing::kMovingAverage:
      case TSmoothing::kMedian:
        break;
    }
    for (std::size_t s = 0; s < kSeries; ++s) {
      waiting_[s].insert(waiting_[s].end(), series[s]->begin(), series[s]->end());
      series[s]->clear();
    }
    const std::size_t waiting = waiting_[0].size();
    const bool wholeSeries =
        smoothing_ == TSmoothing::kMedian && width_ > TCentroidTools::kLongMedianWindow;
    if (!last && (wholeSeries || waiting < 2 * width_ - 1)) {
      return;
    }
    for (std::size_t s = 0; s < kSeries; ++s) {
      std::vector<TPoint>& points = *series[s];
      points.assign(waiting_[s].begin(), waiting_[s].end());
      if (smoothing_ == TSmoothing::kMovingAverage) {
        TCentroidTools::MovingAverageInPlace(points, width_);
      } else {
        TCentroidTools::MovingMedianInPlace(points, width_);
      }
      // The next window starts with the point after the first of the last window.
      waiting_[s].erase(waiting_[s].begin(),
                        waiting_[s].begin() + static_cast<std::ptrdiff_t>(points.size()));
    }
  }

 private:
  TSmoothing smoothing_;
  std::size_t width_;
  double factor_;
  std::array<TCentroidTools::TExponentialState, kSeries> exponential_;
  std::array<std::vector<TPoint>, kSeries> waiting_;
};

// Gathers what an analysis hands on into a TAnalysisResult.
class TResultSink : public TAnalysisSink {
 public:
  explicit TResultSink(TAnalysisResult& result) : result_(result) {}

  void Begin(const TAnalysisFigures& figures) override {
    result_.numPatchesLoaded = figures.numPatchesLoaded;
    result_.numPatchesAfterCleaning = figures.numPatchesAfterCleaning;
    result_.resolution = figures.resolution;
    result_.centroidYears.reserve(figures.numCentroidYears);
    result_.allCentroids.reserve(figures.numCentroidYears);
    result_.northCentroids.reserve(figures.numCentroidYears);
    result_.southCentroids.reserve(figures.numCentroidYears);
    result_.years.reserve(figures.numRows);
    result_.northShifts.reserve(figures.numRows);
    result_.southShifts.reserve(figures.numRows);
  }
  void Centroids(TYear first, const std::vector<TPoint>& all, const std::vector<TPoint>& north,
                 const std::vector<TPoint>& south) override {
    AppendYears(result_.centroidYears, first, all.size());
    result_.allCentroids.insert(result_.allCentroids.end(), all.begin(), all.end());
    result_.northCentroids.insert(result_.northCentroids.end(), north.begin(), north.end());
    result_.southCentroids.insert(result_.southCentroids.end(), south.begin(), south.end());
  }
  void Rows(TYear first, std::vector<TPoint>& north, std::vector<TPoint>& south) override {
    AppendYears(result_.years, first, north.size());
    result_.northShifts.insert(result_.northShifts.end(), north.begin(), north.end());
    result_.southShifts.insert(result_.southShifts.end(), south.begin(), south.end());
  }

 private:
  static void AppendYears(TYearList& years, TYear first, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) {
      years.push_back(static_cast<TYear>(std::int64_t{first} + static_cast<std::int64_t>(k)));
    }
  }

  TAnalysisResult& result_;
};

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

namespace {

// The threads the analysis may use: VARROWIN_THREADS, or the CPUs the process may run on. A
// value of VARROWIN_THREADS that the reader of a file would refuse leaves the analysis of patches
// from elsewhere on one thread.
unsigned AnalysisThreads() {
  try {
    return TMPParser::DefaultThreadCount();
  } catch (const TError&) {
    return 1;
  }
}

}  // namespace

void AnalyseInSpans(TPatches patches, const TAnalysisOptions& unchecked, TAnalysisSink& sink,
                    TCentroidTools::TRangeOrder* prepared) {
  const TAnalysisOptions options = CheckOptions(unchecked);
  TAnalysisFigures figures;
  figures.numPatchesLoaded = patches.GetNumPatches();
  if (patches.GetNumPatches() == 0) {
    throw TError("No patches to analyse");
  }
  if (options.patchSizeThreshold > 0) {
    // The loaded collection is not needed after cleaning: its retained patches move over.
    patches = TCentroidTools::CleanPatches(std::move(patches), options.patchSizeThreshold);
    prepared = nullptr;  // made for the patches before cleaning
    figures.numPatchesAfterCleaning = patches.GetNumPatches();
    if (patches.GetNumPatches() == 0) {
      throw TError("No patches to analyse");
    }
  }
  figures.resolution = patches.GetResolution();

  // The South margin (gathered from the high end of the axis), the North margin (from the low
  // end) and the all-patch centroid series, made a span of years at a time.
  const unsigned threads = AnalysisThreads();
  TCentroidTools::TRangeSpans spans(patches, options.threshold, options.axis, threads, prepared);
  TSpanSmoother smoother(options.smoothing, options.window);
  figures.numCentroidYears = smoother.Count(spans.NumYears());
  if (figures.numCentroidYears == 0) {
    throw TError("No years to analyse");
  }
  const auto burnIn = static_cast<std::size_t>(options.burnIn);
  if (figures.numCentroidYears <= burnIn) {
    throw TError("Burn-in leaves no years to analyse");
  }
  figures.numRows = figures.numCentroidYears - burnIn;
  sink.Begin(figures);
  spans.SetThreads(threads > sink.BusyThreads() ? threads - sink.BusyThreads() : 1);

  const std::size_t referencePosition = burnIn > 0 ? burnIn - 1 : 0;
  TCentroidTools::TShiftMeasure northShift(burnIn);
  TCentroidTools::TShiftMeasure southShift(burnIn);
  std::size_t position = 0;  // of the next smoothed point, from 0
  // The year of the smoothed point at position 0.
  const std::int64_t firstSmoothedYear = std::int64_t{spans.FirstYear()} + smoother.YearOffset();
  std::vector<TPoint> northRows;
  std::vector<TPoint> southRows;
  spans.ForEach([&](TYear first, std::vector<TPoint>& all, std::vector<TPoint>& south,
                    std::vector<TPoint>& north) {
    const auto received =
        static_cast<std::size_t>(std::int64_t{first} - spans.FirstYear()) + all.size();
    smoother.Push({&north, &south, &all}, received == spans.NumYears());
    if (all.empty()) {
      return;
    }
    const std::int64_t year = firstSmoothedYear + static_cast<std::int64_t>(position);
    sink.Centroids(static_cast<TYear>(year), all, north, south);
    // The rows are the points from the burn-in on.
    const std::size_t firstRow = burnIn > position ? burnIn - position : 0;
    northRows.clear();
    southRows.clear();
    for (std::size_t k = 0; k < all.size(); ++k, ++position) {
      if (position == referencePosition) {
        northShift.SetReference(all[k]);
        southShift.SetReference(all[k]);
      }
      if (k >= firstRow) {
        // The report prints the percentages without sign, also that of not-a-number.
        const TPoint northRow = northShift.Shift(position, north[k]);
        const TPoint southRow = southShift.Shift(position, south[k]);
        northRows.emplace_back(std::abs(northRow.X()), std::abs(northRow.Y()));
        southRows.emplace_back(std::abs(southRow.X()), std::abs(southRow.Y()));
      }
    }
    if (!northRows.empty()) {
      sink.Rows(static_cast<TYear>(year + static_cast<std::int64_t>(firstRow)), northRows,
                southRows);
    }
  });
}

TAnalysisResult Analyse(TPatches patches, const TAnalysisOptions& options) {
  TAnalysisResult result;
  TResultSink sink(result);
  AnalyseInSpans(std::move(patches), options, sink);
  return result;
}

TAnalysisResult AnalyseMP(const std::string& fileName, const TAnalysisOptions& options) {
  const TAnalysisOptions checked = CheckOptions(options);
  return Analyse(TMPParser::LoadMP(fileName, checked.startYear), checked);
}

}  // namespace varrowin
