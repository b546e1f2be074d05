#include <varrowin/TPointTools.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>

namespace varrowin::TPointTools {

namespace {

// ---- Exact orientation ----
//
// The orientation of o, a, b is the sign of
//   det = (a.X - o.X) * (b.Y - o.Y) - (a.Y - o.Y) * (b.X - o.X).
// A floating-point evaluation decides it when its error bound allows; otherwise the determinant
// is evaluated exactly in integer arithmetic.

// Filter of the floating-point evaluation. Without underflow, the computed det differs from the
// true one by at most (3 + 16 * 2^-53) * 2^-53 * detSum, detSum being the computed
// |left product| + |right product| (the subtractions of coordinates and the products each round
// once, with a relative error of at most 2^-53). Underflow adds at most 2^-1075 per product
// (a subtraction whose result is below the normal range is exact). Above kFilterFloor these
// absolute errors are far below the gap between kFilterFactor and the factor of the bound. An
// overflow makes detSum infinite or not-a-number, which fails the filter.
constexpr double kFilterFactor = 4.0 * 0x1p-53;
constexpr double kFilterFloor = 0x1p-900;

// A finite double as sign, integer mantissa and power of two: |value| = mantissa * 2^exponent.
struct TBinaryDouble {
  std::uint64_t mantissa = 0;  // below 2^53
  int exponent = 0;            // -1074 to 971
  bool negative = false;
};

TBinaryDouble Decompose(double value) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  const auto biased = static_cast<int>((bits >> 52) & 0x7ffU);
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  TBinaryDouble d;
  d.negative = (bits >> 63) != 0;
  if (biased == 0) {
    d.mantissa = fraction;  // zero or denormal
    d.exponent = -1074;
  } else {
    d.mantissa = fraction | (std::uint64_t{1} << 52);
    d.exponent = biased - 1075;
  }
  return d;
}

// An unsigned integer of 32-bit limbs, least significant first, large enough for the sum of
// three products of two doubles: the products' powers of two span at most 1942 - (-2148) bits
// and each mantissa product has at most 106 bits.
class TWideSum {
 public:
  // Adds mantissa product a * b (each below 2^53) shifted left by shift bits.
  void AddProduct(std::uint64_t a, std::uint64_t b, int shift) {
    constexpr std::uint64_t kMask = 0xffffffffU;
    const std::uint64_t a0 = a & kMask;
    const std::uint64_t a1 = a >> 32;
    const std::uint64_t b0 = b & kMask;
    const std::uint64_t b1 = b >> 32;
    // a1 and b1 are below 2^21: no partial sum below overflows 64 bits.
    const std::uint64_t p00 = a0 * b0;
    const std::uint64_t p01 = a0 * b1;
    const std::uint64_t p10 = a1 * b0;
    const std::uint64_t p11 = a1 * b1;
    std::array<std::uint64_t, 4> product{};
    const std::uint64_t t1 = (p00 >> 32) + (p01 & kMask) + (p10 & kMask);
    const std::uint64_t t2 = (t1 >> 32) + (p01 >> 32) + (p10 >> 32) + (p11 & kMask);
    product[0] = p00 & kMask;
    product[1] = t1 & kMask;
    product[2] = t2 & kMask;
    product[3] = (t2 >> 32) + (p11 >> 32);
    // The product shifted by the bits within a limb, over five limbs.
    const auto word = static_cast<std::size_t>(shift / 32);
    const int bit = shift % 32;
    std::array<std::uint64_t, 5> shifted{};
    for (std::size_t i = 0; i < 4; ++i) {
      const std::uint64_t v = product[i] << bit;
      shifted[i] |= v & kMask;
      shifted[i + 1] |= v >> 32;
    }
    std::uint64_t carry = 0;
    for (std::size_t i = word; i < limbs_.size(); ++i) {
      const std::uint64_t sum = limbs_[i] + (i - word < 5 ? shifted[i - word] : 0) + carry;
      limbs_[i] = static_cast<std::uint32_t>(sum & kMask);
      carry = sum >> 32;
      if (carry == 0 && i - word >= 4) {
        break;
      }
    }
  }

  // -1, 0 or 1 as this sum is below, equal to or above other.
  int Compare(const TWideSum& other) const {
    for (std::size_t i = limbs_.size(); i-- > 0;) {
      if (limbs_[i] != other.limbs_[i]) {
        return limbs_[i] < other.limbs_[i] ? -1 : 1;
      }
    }
    return 0;
  }

 private:
  std::array<std::uint32_t, 136> limbs_{};
};

// The sign of det evaluated exactly: expanded, det is the sum of six products of coordinates,
//   a.X b.Y - a.X o.Y - o.X b.Y - a.Y b.X + a.Y o.X + o.Y b.X,
// each an integer times a power of two; the positive and the negative products are summed
// separately over a common power of two and the two sums compared.
int ExactOrientation(const TPoint& o, const TPoint& a, const TPoint& b) {
  struct TTerm {
    double x;
    double y;
    bool minus;
  };
  const std::array<TTerm, 6> terms{{{a.X(), b.Y(), false},
                                    {a.X(), o.Y(), true},
                                    {o.X(), b.Y(), true},
                                    {a.Y(), b.X(), true},
                                    {a.Y(), o.X(), false},
                                    {o.Y(), b.X(), false}}};
  std::array<TBinaryDouble, 6> xs;
  std::array<TBinaryDouble, 6> ys;
  int lowest = std::numeric_limits<int>::max();
  for (std::size_t i = 0; i < terms.size(); ++i) {
    xs[i] = Decompose(terms[i].x);
    ys[i] = Decompose(terms[i].y);
    if (xs[i].mantissa != 0 && ys[i].mantissa != 0) {
      lowest = std::min(lowest, xs[i].exponent + ys[i].exponent);
    }
  }
  TWideSum positive;
  TWideSum negative;
  for (std::size_t i = 0; i < terms.size(); ++i) {
    if (xs[i].mantissa == 0 || ys[i].mantissa == 0) {
      continue;
    }
    const bool minus = terms[i].minus != (xs[i].negative != ys[i].negative);
    (minus ? negative : positive)
        .AddProduct(xs[i].mantissa, ys[i].mantissa, xs[i].exponent + ys[i].exponent - lowest);
  }
  return positive.Compare(negative);
}

// The orientation of o, a, b, exactly for all finite coordinates: 1 when o -> a -> b turns
// counter-clockwise, -1 when it turns clockwise, 0 when the three lie on one line.
int Orientation(const TPoint& o, const TPoint& a, const TPoint& b) {
  const double left = (a.X() - o.X()) * (b.Y() - o.Y());
  const double right = (a.Y() - o.Y()) * (b.X() - o.X());
  const double det = left - right;
  const double detSum = std::fabs(left) + std::fabs(right);
  if (detSum >= kFilterFloor && detSum <= std::numeric_limits<double>::max()) {
    const double bound = kFilterFactor * detSum;
    if (det > bound) {
      return 1;
    }
    if (det < -bound) {
      return -1;
    }
  }
  return ExactOrientation(o, a, b);
}

// Appends p to the chain after removing every trailing vertex that would not make a strict
// counter-clockwise turn with p; the chain stops at floor, the chain's own first vertex.
void PushConvex(std::vector<TPoint>& chain, std::size_t floor, const TPoint& p) {
  while (chain.size() >= floor + 2 &&
         Orientation(chain[chain.size() - 2], chain[chain.size() - 1], p) <= 0) {
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
               [](const TPoint& p) { return std::isfinite(p.X()) && std::isfinite(p.Y()); });
  // Monotone chain sweeping upward: sorted by Y, then X, the first point is the start vertex
  // and the last the top one. The right chain runs from the start up to the top, the left
  // chain back down; both keep strict counter-clockwise turns only, so points on an edge and
  // repeated points drop out. Every turn is decided exactly.
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
