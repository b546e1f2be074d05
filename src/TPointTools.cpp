#include <varrowin/TPointTools.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iterator>

namespace varrowin::TPointTools {

namespace {

// Twice the signed area of the triangle o, a, b: positive when o -> a -> b turns
// counter-clockwise, negative when it turns clockwise, 0 when the three lie on one line.
double Cross(const TPoint& o, const TPoint& a, const TPoint& b) {
  return (a.X() - o.X()) * (b.Y() - o.Y()) - (a.Y() - o.Y()) * (b.X() - o.X());
}

// Appends p to the chain after removing every trailing vertex that would not make a strict
// counter-clockwise turn with p; the chain stops at floor, the chain's own first vertex.
void PushConvex(std::vector<TPoint>& chain, std::size_t floor, const TPoint& p) {
  while (chain.size() >= floor + 2 &&
         Cross(chain[chain.size() - 2], chain[chain.size() - 1], p) <= 0.0) {
    chain.pop_back();
  }
  chain.push_back(p);
}

}  // namespace

TPoint FindCentroid(const std::vector<TPoint>& points) {
  double sumX = 0.0;
  double sumY = 0.0;
  for (const TPoint& p : points) {
    sumX += p.X();
    sumY += p.Y();
  }
  const auto n = static_cast<double>(points.size());
  return {sumX / n, sumY / n};
}

double Theta(const TPoint& p1, const TPoint& p2) {
  const double dx = p1.X() - p2.X();
  const double dy = p1.Y() - p2.Y();
  double t = 0.0;
  if (dx != 0.0 || dy != 0.0) {
    t = dy / (std::fabs(dx) + std::fabs(dy));
  }
  if (dx < 0.0) {
    t = 2.0 - t;
  } else if (dy < 0.0) {
    t = t + 4.0;
  }
  return t * 90.0;
}

double Heron(const TPoint& a, const TPoint& b, const TPoint& c) {
  const double d1 = a.Distance(b);
  const double d2 = a.Distance(c);
  const double d3 = b.Distance(c);
  const double s = (d1 + d2 + d3) * 0.5;
  double product = s * (s - d1) * (s - d2) * (s - d3);
  // Three corners on one line can round the product to just below zero; that triangle is flat.
  if (product < 0.0) {
    product = 0.0;
  }
  return std::sqrt(product);
}

double FindConvexPolygonArea(const std::vector<TPoint>& polygon) {
  const std::size_t n = polygon.size();
  // Fewer than two vertices enclose nothing. Two vertices are a segment: its two flat triangles
  // would only add up rounding noise, which grows with the square of the segment's length.
  if (n < 3) {
    return 0.0;
  }
  const TPoint g = FindCentroid(polygon);
  double area = 0.0;
  for (std::size_t k = 1; k < n; ++k) {
    area += Heron(polygon[k], polygon[k - 1], g);
  }
  area += Heron(polygon[0], polygon[n - 1], g);
  return area;
}

std::vector<TPoint> FindConvexHull(const std::vector<TPoint>& points) {
  std::vector<TPoint> sorted;
  sorted.reserve(points.size());
  std::copy_if(points.begin(), points.end(), std::back_inserter(sorted),
               [](const TPoint& p) { return !std::isnan(p.X()) && !std::isnan(p.Y()); });
  // Monotone chain sweeping upward: sorted by Y, then X, the first point is the start vertex
  // and the last the top one. The right chain runs from the start up to the top, the left
  // chain back down; both keep strict counter-clockwise turns only, so points on an edge and
  // repeated points drop out.
  std::sort(sorted.begin(), sorted.end(), [](const TPoint& a, const TPoint& b) {
    return a.Y() < b.Y() || (a.Y() == b.Y() && a.X() < b.X());
  });
  sorted.erase(std::unique(sorted.begin(), sorted.end(),
                           [](const TPoint& a, const TPoint& b) {
                             return a.X() == b.X() && a.Y() == b.Y();
                           }),
               sorted.end());
  if (sorted.size() < 3) {
    return sorted;
  }
  std::vector<TPoint> hull;
  hull.reserve(sorted.size() + 1);
  for (const TPoint& p : sorted) {
    PushConvex(hull, 0, p);
  }
  const std::size_t leftFloor = hull.size() - 1;
  for (std::size_t i = sorted.size() - 1; i-- > 0;) {
    PushConvex(hull, leftFloor, sorted[i]);
  }
  // The left chain ends on the start vertex, which the hull already begins with.
  hull.pop_back();
  return hull;
}

}  // namespace varrowin::TPointTools
