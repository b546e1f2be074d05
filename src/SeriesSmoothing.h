// Exponential smoothing and the moving mean over points held in year order, in place: the one
// arithmetic behind the smoothing of centroid series, whether a new series is built or a series
// is smoothed where it lies.
#pragma once

#include <cstddef>
#include <vector>

#include <varrowin/TPoint.h>

namespace varrowin {

// The first point stays; every later one becomes S + alpha * (P - S), S the previous result.
inline void SmoothExponentiallyInPlace(std::vector<TPoint>& points, double alpha) {
  if (points.empty()) {
    return;
  }
  double sx = points.front().X();
  double sy = points.front().Y();
  for (std::size_t k = 1; k < points.size(); ++k) {
    sx = sx + alpha * (points[k].X() - sx);
    sy = sy + alpha * (points[k].Y() - sy);
    points[k] = TPoint(sx, sy);
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

}  // namespace varrowin
