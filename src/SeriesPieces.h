// The pieces of the series functions that the analysis also runs on series that arrive a span of
// years at a time: the centroid series of the whole range and its margins in spans, smoothing in
// place with its state carried from one span to the next, and the percentage of a shift. The
// public series functions are built from the same pieces, so both give the same digits.
#pragma once

#include <cmath>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include <varrowin/Common.h>
#include <varrowin/TPatches.h>
#include <varrowin/TPoint.h>

namespace varrowin::TCentroidTools {

// Where exponential smoothing stands after the points it has seen.
struct TExponentialState {
  bool started = false;
  double sx = 0.0;
  double sy = 0.0;
};

// One step of exponential smoothing: the first point of a series stays; every later one becomes
// S + alpha * (P - S), S the previous result, which state carries.
inline void SmoothExponentially(TPoint& point, double alpha, TExponentialState& state) {
  if (!state.started) {
    state = {true, point.X(), point.Y()};
    return;
  }
  state.sx = state.sx + alpha * (point.X() - state.sx);
  state.sy = state.sy + alpha * (point.Y() - state.sy);
  point = TPoint(state.sx, state.sy);
}

// Exponential smoothing of the points of a series, state carried from one call to the next.
inline void SmoothExponentiallyInPlace(std::vector<TPoint>& points, double alpha,
                                       TExponentialState& state) {
  for (TPoint& point : points) {
    SmoothExponentially(point, alpha, state);
  }
}

// Point k becomes the mean of points k to k + width - 1, each sum added in window order from 0.0,
// for every full window; the points after the last full window go. width is at least 1.
inline void MovingAverageInPlace(std::vector<TPoint>& points, std::size_t width) {
  const std::size_t windows = width > points.size() ? 0 : points.size() - width + 1;
  const auto divisor = static_cast<double>(width);
  // Window k reads points k onwards, and only point k is overwritten after it.
  for (std::size_t k = 0; k < windows; ++k) {
    double sx = 0.0;
    double sy = 0.0;
    for (std::size_t j = k; j < k + width; ++j) {
      sx += points[j].X();
      sy += points[j].Y();
    }
    points[k] = TPoint(sx / divisor, sy / divisor);
  }
  points.erase(points.begin() + static_cast<std::ptrdiff_t>(windows), points.end());
}

// Medians of windows up to this width sort each window afresh; longer windows slide two ordered
// halves along the series. Which of two equal values (-0.0 and 0.0) a sliding median gives
// depends on the series from its start, so such a median is taken over a whole series at once.
inline constexpr std::size_t kLongMedianWindow = 64;

// Point k becomes the medians (X and Y apart) of points k to k + width - 1: the value at
// (width - 1) / 2 of the window sorted with not-a-number last, for every full window; the points
// after the last full window go. width is at least 1.
void MovingMedianInPlace(std::vector<TPoint>& points, std::size_t width);

// Percentage by which the size of an offset component differs from the size of the baseline
// component; the division is not guarded.
inline double SizeChangePercent(double offset, double baselineSize) {
  return std::fabs(std::fabs(offset) - baselineSize) / baselineSize * 100.0;
}

// The percentage shifts of one margin (GetPropInitialRangeCoordShifts): the offset of each year's
// margin centroid from the whole range's centroid in the reference year (the last burn-in year,
// or the first year without burn-in), against the size of the offset in the first year after the
// burn-in.
class TShiftMeasure {
 public:
  explicit TShiftMeasure(std::size_t burnIn) : burnIn_(burnIn) {}

  void SetReference(const TPoint& reference) { reference_ = reference; }

  // The shift of the margin centroid point of the year at position (counted from 0, burn-in
  // included), for positions from the burn-in on, in ascending order.
  TPoint Shift(std::size_t position, const TPoint& point) {
    const TPoint offset = reference_.Diff(point);
    if (position == burnIn_) {
      x0_ = std::fabs(offset.X());
      y0_ = std::fabs(offset.Y());
    }
    return {SizeChangePercent(offset.X(), x0_), SizeChangePercent(offset.Y(), y0_)};
  }

 private:
  std::size_t burnIn_;
  TPoint reference_{0.0, 0.0};
  double x0_ = 0.0;
  double y0_ = 0.0;
};

// The order in which the range series walk the patches: name order and the ranking along an
// axis. It needs only the names and the coordinates, so a reader can make it while it still reads
// the populations, and hand it to TRangeSpans.
class TRangeOrder {
 public:
  TRangeOrder(const TPatches& patches, char axis);
  TRangeOrder(const TRangeOrder&) = delete;
  TRangeOrder& operator=(const TRangeOrder&) = delete;
  TRangeOrder(TRangeOrder&&) noexcept;
  TRangeOrder& operator=(TRangeOrder&&) noexcept;
  ~TRangeOrder();

  struct TData;

 private:
  friend class TRangeSpans;
  std::unique_ptr<TData> data_;
};

// The three series of GetRangeSeries, a span of years at a time: ForEach calls
// visit(first, all, south, north) with the centroids of the years first, first + 1, ... of each
// span, the spans in year order and together every year of the series. The patches must stay
// unchanged while the object lives. With threads > 1 a span with enough work is cut into pieces
// of consecutive years, one thread each; every year's sums are still taken in the same order, so
// the points do not depend on the thread count.
class TRangeSpans {
 public:
  // The points are the visitor's to change or take: each span's are made afresh.
  using TVisit = std::function<void(TYear first, std::vector<TPoint>& all,
                                    std::vector<TPoint>& south, std::vector<TPoint>& north)>;

  // prepared: an order made from the same patches for the same axis, taken over instead of
  // being made again; one made from other patches or for the other axis is not used.
  TRangeSpans(const TPatches& patches, double proportion, char axis, unsigned threads = 1,
              TRangeOrder* prepared = nullptr);
  TRangeSpans(const TRangeSpans&) = delete;
  TRangeSpans& operator=(const TRangeSpans&) = delete;
  TRangeSpans(TRangeSpans&&) noexcept;
  TRangeSpans& operator=(TRangeSpans&&) noexcept;
  ~TRangeSpans();

  // The number of years of each series: from the first to the last year of any patch.
  std::size_t NumYears() const;
  // The first of those years (0 when there are none).
  TYear FirstYear() const;

  // The number of threads the spans to come may be cut for (at least 1).
  void SetThreads(unsigned threads);

  void ForEach(const TVisit& visit);

 private:
  struct TState;
  std::unique_ptr<TState> state_;
};

}  // namespace varrowin::TCentroidTools
