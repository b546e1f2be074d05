// An exact orientation test for checking hulls, independent of the library's: every double is an
// arbitrary-precision integer times a power of two, and the determinant is evaluated as written,
// differences first, in that arithmetic. Slow, but exact for all finite doubles. Header-only, so
// that the fuzz targets can use it too.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace varrowin::exact {

// A signed integer: magnitude in 32-bit limbs, least significant first, without leading zeros.
struct TBig {
  bool negative = false;
  std::vector<std::uint32_t> limbs;

  void Trim() {
    while (!limbs.empty() && limbs.back() == 0) {
      limbs.pop_back();
    }
    if (limbs.empty()) {
      negative = false;
    }
  }
};

inline int CompareMagnitude(const std::vector<std::uint32_t>& a,
                            const std::vector<std::uint32_t>& b) {
  if (a.size() != b.size()) {
    return a.size() < b.size() ? -1 : 1;
  }
  for (std::size_t i = a.size(); i-- > 0;) {
    if (a[i] != b[i]) {
      return a[i] < b[i] ? -1 : 1;
    }
  }
  return 0;
}

inline std::vector<std::uint32_t> AddMagnitude(const std::vector<std::uint32_t>& a,
                                               const std::vector<std::uint32_t>& b) {
  std::vector<std::uint32_t> sum(std::max(a.size(), b.size()) + 1, 0);
  std::uint64_t carry = 0;
  for (std::size_t i = 0; i < sum.size(); ++i) {
    const std::uint64_t v = carry + (i < a.size() ? a[i] : 0U) + (i < b.size() ? b[i] : 0U);
    sum[i] = static_cast<std::uint32_t>(v);
    carry = v >> 32;
  }
  return sum;
}

// a - b for a >= b.
inline std::vector<std::uint32_t> SubtractMagnitude(const std::vector<std::uint32_t>& a,
                                                    const std::vector<std::uint32_t>& b) {
  std::vector<std::uint32_t> difference(a.size(), 0);
  std::int64_t borrow = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    std::int64_t v = static_cast<std::int64_t>(a[i]) - (i < b.size() ? b[i] : 0U) - borrow;
    borrow = v < 0 ? 1 : 0;
    v += borrow * (std::int64_t{1} << 32);
    difference[i] = static_cast<std::uint32_t>(v);
  }
  return difference;
}

inline TBig Add(const TBig& a, const TBig& b) {
  TBig r;
  if (a.negative == b.negative) {
    r.negative = a.negative;
    r.limbs = AddMagnitude(a.limbs, b.limbs);
  } else if (CompareMagnitude(a.limbs, b.limbs) >= 0) {
    r.negative = a.negative;
    r.limbs = SubtractMagnitude(a.limbs, b.limbs);
  } else {
    r.negative = b.negative;
    r.limbs = SubtractMagnitude(b.limbs, a.limbs);
  }
  r.Trim();
  return r;
}

inline TBig Negate(TBig a) {
  a.negative = !a.negative;
  a.Trim();
  return a;
}

inline TBig Multiply(const TBig& a, const TBig& b) {
  TBig r;
  r.negative = a.negative != b.negative;
  r.limbs.assign(a.limbs.size() + b.limbs.size() + 1, 0);
  for (std::size_t i = 0; i < a.limbs.size(); ++i) {
    if (a.limbs[i] == 0) {
      continue;  // shifted values have many zero limbs
    }
    std::uint64_t carry = 0;
    for (std::size_t j = 0; j < b.limbs.size(); ++j) {
      const std::uint64_t v =
          static_cast<std::uint64_t>(a.limbs[i]) * b.limbs[j] + r.limbs[i + j] + carry;
      r.limbs[i + j] = static_cast<std::uint32_t>(v);
      carry = v >> 32;
    }
    for (std::size_t k = i + b.limbs.size(); carry != 0; ++k) {
      const std::uint64_t v = r.limbs[k] + carry;
      r.limbs[k] = static_cast<std::uint32_t>(v);
      carry = v >> 32;
    }
  }
  r.Trim();
  return r;
}

inline TBig ShiftLeft(const TBig& a, int bits) {
  TBig r;
  r.negative = a.negative;
  const auto words = static_cast<std::size_t>(bits / 32);
  const int rest = bits % 32;
  r.limbs.assign(words + a.limbs.size() + 1, 0);
  for (std::size_t i = 0; i < a.limbs.size(); ++i) {
    const std::uint64_t v = static_cast<std::uint64_t>(a.limbs[i]) << rest;
    r.limbs[words + i] |= static_cast<std::uint32_t>(v);
    r.limbs[words + i + 1] |= static_cast<std::uint32_t>(v >> 32);
  }
  r.Trim();
  return r;
}

// value = mantissa * 2^exponent.
struct TExact {
  TBig mantissa;
  int exponent = 0;
};

inline TExact FromDouble(double value) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  const auto biased = static_cast<int>((bits >> 52) & 0x7ffU);
  std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
  TExact e;
  if (biased != 0) {
    m |= std::uint64_t{1} << 52;
  }
  e.exponent = biased == 0 ? -1074 : biased - 1075;
  e.mantissa.limbs = {static_cast<std::uint32_t>(m), static_cast<std::uint32_t>(m >> 32)};
  e.mantissa.negative = (bits >> 63) != 0;
  e.mantissa.Trim();
  return e;
}

inline TExact Subtract(const TExact& a, const TExact& b) {
  const int e = std::min(a.exponent, b.exponent);
  return {Add(ShiftLeft(a.mantissa, a.exponent - e), Negate(ShiftLeft(b.mantissa, b.exponent - e))),
          e};
}

inline TExact Multiply(const TExact& a, const TExact& b) {
  return {Multiply(a.mantissa, b.mantissa), a.exponent + b.exponent};
}

inline int Sign(const TExact& a) {
  if (a.mantissa.limbs.empty()) {
    return 0;
  }
  return a.mantissa.negative ? -1 : 1;
}

// The sign of (ax - ox)(by - oy) - (ay - oy)(bx - ox), exactly.
inline int Orientation(double ox, double oy, double ax, double ay, double bx, double by) {
  const TExact left =
      Multiply(Subtract(FromDouble(ax), FromDouble(ox)), Subtract(FromDouble(by), FromDouble(oy)));
  const TExact right =
      Multiply(Subtract(FromDouble(ay), FromDouble(oy)), Subtract(FromDouble(bx), FromDouble(ox)));
  return Sign(Subtract(left, right));
}

struct TXY {
  double x;
  double y;
  bool operator==(const TXY&) const = default;
};

inline int Orientation(const TXY& o, const TXY& a, const TXY& b) {
  return Orientation(o.x, o.y, a.x, a.y, b.x, b.y);
}

// The hull's vertices by brute force, in no particular order: a is a vertex when for some other
// point b every point lies strictly left of a -> b or on the segment from a to b. A set of one
// point (however often repeated) is its own vertex.
inline std::vector<TXY> BruteForceVertices(const std::vector<TXY>& points) {
  std::vector<TXY> vertices;
  for (const TXY& a : points) {
    if (std::find(vertices.begin(), vertices.end(), a) != vertices.end()) {
      continue;
    }
    for (const TXY& b : points) {
      if (a == b) {
        continue;
      }
      const bool edge = std::all_of(points.begin(), points.end(), [&](const TXY& p) {
        const int turn = Orientation(a, b, p);
        return turn > 0 || (turn == 0 && std::min(a.x, b.x) <= p.x && p.x <= std::max(a.x, b.x) &&
                            std::min(a.y, b.y) <= p.y && p.y <= std::max(a.y, b.y));
      });
      if (edge) {
        vertices.push_back(a);
        break;
      }
    }
  }
  if (vertices.empty() && !points.empty()) {
    vertices.push_back(points.front());
  }
  return vertices;
}

// What is wrong with hull as the convex hull of points (the points with a not-a-number or
// infinite coordinate left out): an empty text when hull holds every vertex once, none on an
// edge, counter-clockwise from the lowest point (smallest y, then smallest x).
inline std::string HullFault(const std::vector<TXY>& points, const std::vector<TXY>& hull) {
  std::vector<TXY> finite;
  for (const TXY& p : points) {
    if (std::isfinite(p.x) && std::isfinite(p.y)) {
      finite.push_back(p);
    }
  }
  const std::vector<TXY> vertices = BruteForceVertices(finite);
  if (hull.size() != vertices.size()) {
    return "hull has " + std::to_string(hull.size()) + " vertices, not " +
           std::to_string(vertices.size());
  }
  for (std::size_t i = 0; i < hull.size(); ++i) {
    if (std::find(vertices.begin(), vertices.end(), hull[i]) == vertices.end()) {
      return "vertex " + std::to_string(i) + " is no hull vertex";
    }
    if (std::find(hull.begin(), hull.begin() + static_cast<std::ptrdiff_t>(i), hull[i]) !=
        hull.begin() + static_cast<std::ptrdiff_t>(i)) {
      return "vertex " + std::to_string(i) + " repeated";
    }
  }
  if (hull.empty()) {
    return "";
  }
  for (const TXY& p : finite) {
    if (p.y < hull[0].y || (p.y == hull[0].y && p.x < hull[0].x)) {
      return "the first vertex is not the lowest point";
    }
  }
  if (hull.size() < 3) {
    return "";
  }
  for (std::size_t i = 0; i < hull.size(); ++i) {
    const TXY& a = hull[i];
    const TXY& b = hull[(i + 1) % hull.size()];
    if (Orientation(a, b, hull[(i + 2) % hull.size()]) <= 0) {
      return "no counter-clockwise turn after vertex " + std::to_string(i + 1);
    }
    for (const TXY& p : finite) {
      if (Orientation(a, b, p) < 0) {
        return "a point lies outside edge " + std::to_string(i);
      }
    }
  }
  return "";
}

}  // namespace varrowin::exact
