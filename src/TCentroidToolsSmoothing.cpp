// Series smoothing: moving mean, moving median and exponential smoothing of centroid series, and
// the moving mean and exponential smoothing of plain sequences of numbers.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <set>
#include <vector>

#include <varrowin/TCentroidTools.h>
#include "SeriesPieces.h"

namespace varrowin::TCentroidTools {

namespace {

std::vector<TPoint> ReadPoints(const TCentroids& series) {
  std::vector<TPoint> points;
  points.reserve(series.GetNumYears());
  for (const auto& entry : series) {
    points.push_back(entry.second);
  }
  return points;
}

void CheckWindow(std::int32_t w) {
  if (w < 1) {
    throw TError("Window size must be at least 1");
  }
}

// Number of full windows of width entries over n entries: n - width + 1, or 0 when width is
// larger than n.
std::size_t WindowCount(std::size_t n, std::size_t width) {
  return width > n ? 0 : n - width + 1;
}

// Sum of values[start .. start + w - 1], added in window order from 0.0.
double WindowSum(const std::vector<double>& values, std::size_t start, std::size_t w) {
  double sum = 0.0;
  for (std::size_t j = start; j < start + w; ++j) {
    sum += values[j];
  }
  return sum;
}

// Sorts ascending with every not-a-number after all numbers.
void SortNumbersFirst(std::vector<double>& values) {
  const auto numbersEnd =
      std::partition(values.begin(), values.end(), [](double v) { return !std::isnan(v); });
  std::sort(values.begin(), numbersEnd);
}

// The order used for medians: ascending, not-a-number after every number.
struct TNumbersFirst {
  bool operator()(double a, double b) const { return a < b || (!std::isnan(a) && std::isnan(b)); }
};

// For every window of width consecutive values, the value at index h of the window sorted in
// TNumbersFirst order. Short windows are sorted afresh, in one work array for all of them; long
// windows keep their values in two ordered halves that slide along, so that a long series with a
// long window costs n log w rather than n w log w. Both give the same values.
std::vector<double> WindowOrderValues(const std::vector<double>& values, std::size_t width,
                                      std::size_t h) {
  const std::size_t windows = WindowCount(values.size(), width);
  std::vector<double> result;
  result.reserve(windows);
  if (windows == 0) {
    return result;
  }
  if (width <= kLongMedianWindow) {
    std::vector<double> work(width);
    for (std::size_t i = 0; i < windows; ++i) {
      const auto first = values.begin() + static_cast<std::ptrdiff_t>(i);
      std::copy(first, first + static_cast<std::ptrdiff_t>(width), work.begin());
      SortNumbersFirst(work);
      result.push_back(work[h]);
    }
    return result;
  }
  // low holds the h + 1 first values of the window in sorted order, high the others; every value
  // of low comes before or ties with every value of high.
  std::multiset<double, TNumbersFirst> low;
  std::multiset<double, TNumbersFirst> high;
  std::vector<double> window(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(width));
  SortNumbersFirst(window);
  low.insert(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(h + 1));
  high.insert(window.begin() + static_cast<std::ptrdiff_t>(h + 1), window.end());
  result.push_back(*low.rbegin());
  const TNumbersFirst before;
  for (std::size_t i = 1; i < windows; ++i) {
    const double leaving = values[i - 1];
    const double entering = values[i + width - 1];
    // A value that ties with the largest of low may sit in either half; tied values are
    // interchangeable, so removing it from low is right.
    if (!before(*low.rbegin(), leaving)) {
      low.erase(low.find(leaving));
    } else {
      high.erase(high.find(leaving));
    }
    low.insert(entering);
    high.insert(*low.rbegin());
    low.erase(std::prev(low.end()));
    if (low.size() < h + 1) {
      low.insert(*high.begin());
      high.erase(high.begin());
    }
    result.push_back(*low.rbegin());
  }
  return result;
}

}  // namespace

void MovingMedianInPlace(std::vector<TPoint>& points, std::size_t width) {
  std::vector<double> xs;
  std::vector<double> ys;
  xs.reserve(points.size());
  ys.reserve(points.size());
  for (const TPoint& point : points) {
    xs.push_back(point.X());
    ys.push_back(point.Y());
  }
  const std::size_t h = (width - 1) / 2;
  xs = WindowOrderValues(xs, width, h);
  ys = WindowOrderValues(ys, width, h);
  for (std::size_t k = 0; k < xs.size(); ++k) {
    points[k] = TPoint(xs[k], ys[k]);
  }
  points.erase(points.begin() + static_cast<std::ptrdiff_t>(xs.size()), points.end());
}

TCentroids MovingAverage(const TCentroids& series, std::int32_t w) {
  CheckWindow(w);
  const TYearList years = series.GetYearList();
  std::vector<TPoint> points = ReadPoints(series);
  MovingAverageInPlace(points, static_cast<std::size_t>(w));
  const auto h = static_cast<std::size_t>((w - 1) / 2);
  TCentroids result;
  result.Reserve(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    result.SetCoords(years[i + h], points[i]);
  }
  return result;
}

TCentroids MedianSmoothing(const TCentroids& series, std::int32_t w) {
  CheckWindow(w);
  const TYearList years = series.GetYearList();
  std::vector<TPoint> points = ReadPoints(series);
  MovingMedianInPlace(points, static_cast<std::size_t>(w));
  const auto h = static_cast<std::size_t>((w - 1) / 2);
  TCentroids result;
  result.Reserve(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    result.SetCoords(years[i + h], points[i]);
  }
  return result;
}

TCentroids ExponentialSmoothing(const TCentroids& series, double alpha) {
  const TYearList years = series.GetYearList();
  std::vector<TPoint> points = ReadPoints(series);
  TExponentialState state;
  SmoothExponentiallyInPlace(points, alpha, state);
  TCentroids result;
  result.Reserve(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    result.SetCoords(years[i], points[i]);
  }
  return result;
}

std::vector<double> MovingAverageSmoothing(std::vector<double> values, std::int32_t w) {
  CheckWindow(w);
  const auto width = static_cast<std::size_t>(w);
  const double divisor = static_cast<double>(w);
  const std::size_t windows = WindowCount(values.size(), width);
  // In place: window k reads entries k onwards, and only entry k is overwritten after it.
  for (std::size_t k = 0; k < windows; ++k) {
    values[k] = WindowSum(values, k, width) / divisor;
  }
  values.resize(windows);
  return values;
}

std::vector<double> ExponentialSmoothing(std::vector<double> values, double alpha) {
  // In place: entry k - 1 already holds the smoothed value when entry k is computed.
  for (std::size_t k = 1; k < values.size(); ++k) {
    values[k] = values[k - 1] + (values[k] - values[k - 1]) * alpha;
  }
  return values;
}

}  // namespace varrowin::TCentroidTools
