#include <varrowin/TPointTools.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <limits>
#include <ostream>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "ExactOrientation.h"

namespace varrowin {
namespace {

using TPointTools::FindConvexHull;
using TPointTools::FindConvexPolygonArea;
using Coords = std::vector<std::pair<double, double>>;

std::vector<TPoint> Points(const Coords& coords) {
  std::vector<TPoint> points;
  for (const auto& [x, y] : coords) {
    points.emplace_back(x, y);
  }
  return points;
}

Coords CoordsOf(const std::vector<TPoint>& points) {
  Coords coords;
  for (const TPoint& p : points) {
    coords.emplace_back(p.X(), p.Y());
  }
  return coords;
}

double Cross(const TPoint& o, const TPoint& a, const TPoint& b) {
  return (a.X() - o.X()) * (b.Y() - o.Y()) - (a.Y() - o.Y()) * (b.X() - o.X());
}

double Shoelace(const std::vector<TPoint>& polygon) {
  double twice = 0.0;
  for (std::size_t i = 0; i < polygon.size(); ++i) {
    const TPoint& a = polygon[i];
    const TPoint& b = polygon[(i + 1) % polygon.size()];
    twice += a.X() * b.Y() - b.X() * a.Y();
  }
  return twice / 2.0;
}

struct TThetaCase {
  double dx;
  double dy;
  double expected;
};

void PrintTo(const TThetaCase& c, std::ostream* os) {
  *os << "(" << c.dx << ", " << c.dy << ")";
}

class ThetaTest : public testing::TestWithParam<TThetaCase> {};

TEST_P(ThetaTest, PseudoAngleOfDirectionFromSecondToFirst) {
  const auto& c = GetParam();
  const TPoint from(2.5, -1.0);
  const TPoint to(from.X() + c.dx, from.Y() + c.dy);
  EXPECT_DOUBLE_EQ(TPointTools::Theta(to, from), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Directions, ThetaTest,
                         testing::Values(TThetaCase{1, 0, 0}, TThetaCase{2, 1, 30},
                                         TThetaCase{1, 1, 45}, TThetaCase{0, 1, 90},
                                         TThetaCase{-1, 1, 135}, TThetaCase{-1, 0, 180},
                                         TThetaCase{-1, -1, 225}, TThetaCase{0, -1, 270},
                                         TThetaCase{1, -1, 315}, TThetaCase{0, 0, 0}));

TEST(TPointToolsTest, FindCentroidIsVertexMean) {
  const TPoint c = TPointTools::FindCentroid(Points({{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 2}}));
  EXPECT_DOUBLE_EQ(c.X(), 8.0 / 5.0);
  EXPECT_DOUBLE_EQ(c.Y(), 2.0);
  const TPoint empty = TPointTools::FindCentroid({});
  EXPECT_TRUE(std::isnan(empty.X()));
  EXPECT_TRUE(std::isnan(empty.Y()));
}

TEST(TPointToolsTest, HeronAreaInAnyCornerOrder) {
  const TPoint a(0, 0);
  const TPoint b(4, 0);
  const TPoint c(0, 3);
  for (const auto& [p, q, r] : {std::tuple{a, b, c}, std::tuple{b, c, a}, std::tuple{c, a, b},
                                std::tuple{a, c, b}, std::tuple{c, b, a}, std::tuple{b, a, c}}) {
    EXPECT_DOUBLE_EQ(TPointTools::Heron(p, q, r), 6.0);
  }
}

TEST(TPointToolsTest, HeronOfFlatTriangleIsZeroNeverNaN) {
  // (0,0), (1,1), (4,4): the product under the root rounds to just below zero.
  for (const Coords& flat : {Coords{{0, 0}, {1, 1}, {4, 4}}, Coords{{0, 0}, {1, 5}, {3, 15}},
                             Coords{{0, 0}, {1, 0}, {2, 0}}, Coords{{7, 7}, {7, 7}, {7, 7}}}) {
    const std::vector<TPoint> t = Points(flat);
    EXPECT_EQ(TPointTools::Heron(t[0], t[1], t[2]), 0.0);
    EXPECT_EQ(TPointTools::Heron(t[1], t[0], t[2]), 0.0);
  }
}

TEST(TPointToolsTest, ConvexPolygonArea) {
  EXPECT_DOUBLE_EQ(FindConvexPolygonArea(Points({{0, 0}, {2, 0}, {2, 2}, {0, 2}})), 4.0);
  EXPECT_DOUBLE_EQ(FindConvexPolygonArea(Points({{0, 0}, {4, 0}, {0, 3}})), 6.0);
  EXPECT_EQ(FindConvexPolygonArea({}), 0.0);
  EXPECT_EQ(FindConvexPolygonArea(Points({{3, 3}})), 0.0);
  EXPECT_EQ(FindConvexPolygonArea(Points({{0, 0}, {0, 1}})), 0.0);
  // A segment whose two flat triangles around its midpoint would add up rounding noise (~1e-4).
  EXPECT_EQ(FindConvexPolygonArea(Points({{1.4, 0.3}, {128.2, 18.2}})), 0.0);
}

struct THullCase {
  const char* name;
  Coords input;
  Coords hull;
};

void PrintTo(const THullCase& c, std::ostream* os) {
  *os << c.name;
}

class HullTest : public testing::TestWithParam<THullCase> {};

TEST_P(HullTest, ReturnsTrueHullCounterClockwiseFromLowestPoint) {
  const auto& c = GetParam();
  const std::vector<TPoint> input = Points(c.input);
  EXPECT_EQ(CoordsOf(FindConvexHull(input)), c.hull);
  EXPECT_EQ(CoordsOf(input), c.input);
}

Coords Grid(int n) {
  Coords grid;
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      grid.emplace_back(x, y);
    }
  }
  return grid;
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Cases, HullTest,
    testing::Values(
        THullCase{"Empty", {}, {}}, THullCase{"OnePoint", {{3, 4}}, {{3, 4}}},
        THullCase{"TwoStacked", {{0, 1}, {0, 0}}, {{0, 0}, {0, 1}}},
        THullCase{"TwoLevel", {{1, 0}, {0, 0}}, {{0, 0}, {1, 0}}},
        THullCase{
            "InnerPointLeftOut", {{0, 0}, {2, 1}, {0, 3}, {0.5, 1.2}}, {{0, 0}, {2, 1}, {0, 3}}},
        THullCase{"UnitSquare", {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}},
        THullCase{"UnitSquareShuffled",
                  {{1, 1}, {0, 1}, {1, 0}, {0, 0}},
                  {{0, 0}, {1, 0}, {1, 1}, {0, 1}}},
        THullCase{"GridKeepsCornersOnly", Grid(5), {{0, 0}, {4, 0}, {4, 4}, {0, 4}}},
        THullCase{"PointsOnOneRay", {{0, 0}, {1, 1}, {2, 2}, {0, 2}}, {{0, 0}, {2, 2}, {0, 2}}},
        THullCase{"DuplicatesOnce",
                  {{0, 0}, {1, 1}, {0, 2}, {0, 0}, {1, 1}, {0, 2}},
                  {{0, 0}, {1, 1}, {0, 2}}},
        THullCase{"AllEqual", {{2, 2}, {2, 2}, {2, 2}}, {{2, 2}}},
        THullCase{"CollinearGivesEndPoints", {{1, 2}, {3, 6}, {0, 0}, {2, 4}}, {{0, 0}, {3, 6}}},
        THullCase{"HorizontalLine", {{3, 1}, {1, 1}, {2, 1}}, {{1, 1}, {3, 1}}},
        THullCase{"LowestThenLeftmostStart",
                  {{2, 0}, {3, 1}, {0, 0}, {-1, 1}},
                  {{0, 0}, {2, 0}, {3, 1}, {-1, 1}}}),
    [](const testing::TestParamInfo<THullCase>& info) { return info.param.name; });

TEST(TPointToolsTest, HullLeavesOutNaNPoints) {
  const std::vector<TPoint> input =
      Points({{0, 0}, {kNaN, -5}, {1, 0}, {0.5, kNaN}, {1, 1}, {kNaN, kNaN}, {0, 1}});
  EXPECT_EQ(CoordsOf(FindConvexHull(input)), (Coords{{0, 0}, {1, 0}, {1, 1}, {0, 1}}));
  EXPECT_TRUE(FindConvexHull(Points({{kNaN, 1}, {1, kNaN}})).empty());
}

// Hull vertices by brute force: the end points of every pair (a, b) with all points on the left
// of a -> b or on the segment between them. Exact for the integer coordinates used here.
std::vector<TPoint> BruteForceVertices(const std::vector<TPoint>& points) {
  std::vector<TPoint> vertices;
  for (const TPoint& a : points) {
    for (const TPoint& b : points) {
      if (a.X() == b.X() && a.Y() == b.Y()) {
        continue;
      }
      const bool edge = std::all_of(points.begin(), points.end(), [&](const TPoint& p) {
        const double cross = Cross(a, b, p);
        const double along = (p.X() - a.X()) * (b.X() - a.X()) + (p.Y() - a.Y()) * (b.Y() - a.Y());
        const double length = (b.X() - a.X()) * (b.X() - a.X()) + (b.Y() - a.Y()) * (b.Y() - a.Y());
        return cross > 0 || (cross == 0 && along >= 0 && along <= length);
      });
      if (edge) {
        vertices.push_back(a);
      }
    }
  }
  // No pair at all: every point is the same one.
  if (vertices.empty() && !points.empty()) {
    vertices.push_back(points.front());
  }
  return vertices;
}

Coords SortedUnique(Coords coords) {
  std::sort(coords.begin(), coords.end());
  coords.erase(std::unique(coords.begin(), coords.end()), coords.end());
  return coords;
}

TEST(TPointToolsTest, RandomCloudsMatchIndependentComputation) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 200; ++round) {
    // Small integer ranges give many duplicates and collinear points; all arithmetic is exact.
    const int range = round % 2 == 0 ? 6 : 1000;
    std::uniform_int_distribution<int> coord(-range, range);
    std::uniform_int_distribution<int> count(1, 40);
    std::vector<TPoint> cloud;
    for (int i = count(random); i > 0; --i) {
      cloud.emplace_back(coord(random), coord(random));
    }
    const std::vector<TPoint> hull = FindConvexHull(cloud);
    SCOPED_TRACE(testing::Message() << "round " << round << ", " << cloud.size() << " points");

    EXPECT_EQ(SortedUnique(CoordsOf(hull)), SortedUnique(CoordsOf(BruteForceVertices(cloud))));
    ASSERT_FALSE(hull.empty());
    const auto lowest = std::min_element(cloud.begin(), cloud.end(), [](auto& a, auto& b) {
      return a.Y() < b.Y() || (a.Y() == b.Y() && a.X() < b.X());
    });
    EXPECT_EQ(hull.front().X(), lowest->X());
    EXPECT_EQ(hull.front().Y(), lowest->Y());
    if (hull.size() < 3) {
      continue;
    }
    for (std::size_t i = 0; i < hull.size(); ++i) {
      const TPoint& a = hull[i];
      const TPoint& b = hull[(i + 1) % hull.size()];
      EXPECT_GT(Cross(a, b, hull[(i + 2) % hull.size()]), 0) << "vertex " << i + 1;
      for (const TPoint& p : cloud) {
        EXPECT_GE(Cross(a, b, p), 0) << "point outside edge " << i;
      }
    }
    const double shoelace = Shoelace(hull);
    EXPECT_NEAR(FindConvexPolygonArea(hull), shoelace, 1e-9 * shoelace);
  }
}

TEST(TPointToolsTest, AreaOfRandomHullsMatchesShoelace) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> coord(-1e5, 1e5);
  for (int round = 0; round < 100; ++round) {
    std::vector<TPoint> cloud;
    for (int i = 0; i < 200; ++i) {
      cloud.emplace_back(coord(random), coord(random));
    }
    const std::vector<TPoint> hull = FindConvexHull(cloud);
    ASSERT_GE(hull.size(), 3U);
    const double shoelace = Shoelace(hull);
    EXPECT_GT(shoelace, 0);
    EXPECT_NEAR(FindConvexPolygonArea(hull), shoelace, 1e-9 * shoelace) << "round " << round;
  }
}

// ---- Exact hulls ----

using exact::TXY;

std::vector<TXY> Xys(const std::vector<TPoint>& points) {
  std::vector<TXY> xys;
  for (const TPoint& p : points) {
    xys.push_back({p.X(), p.Y()});
  }
  return xys;
}

// Checks the library's hull of the points with the exact brute-force check.
void ExpectExactHull(const std::vector<TPoint>& points) {
  const std::vector<TPoint> hull = FindConvexHull(points);
  EXPECT_EQ(exact::HullFault(Xys(points), Xys(hull)), "");
}

constexpr double kMax = std::numeric_limits<double>::max();
constexpr double kMinDenormal = std::numeric_limits<double>::denorm_min();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The checking arithmetic itself, on triples whose plain floating-point cross product is wrong.
TEST(TPointToolsTest, ExactOrientationOfTheChecks) {
  struct TCase {
    TXY o, a, b;
    int turn;
  };
  const std::vector<TCase> cases{
      {{0, 0}, {1, 0}, {0, 1}, 1},
      {{0, 0}, {0, 1}, {1, 0}, -1},
      {{0, 0}, {1, 1}, {2, 2}, 0},
      // Denormals: every product underflows to 0 in double arithmetic.
      {{0, 0}, {kMinDenormal, 0}, {0, kMinDenormal}, 1},
      {{0, 0}, {3 * kMinDenormal, kMinDenormal}, {6 * kMinDenormal, 2 * kMinDenormal}, 0},
      {{0, 0}, {3 * kMinDenormal, kMinDenormal}, {6 * kMinDenormal, 3 * kMinDenormal}, 1},
      // Near overflow: the differences and products overflow in double arithmetic.
      {{-kMax, -kMax}, {kMax, -kMax}, {kMax, kMax}, 1},
      {{-kMax, -kMax}, {0, 0}, {kMax, kMax}, 0},
      {{-kMax, -kMax}, {kMax, kMax}, {0, 0x1p-1074}, 1},
      // Nearly collinear: the rounded cross product is 0 or has the wrong sign.
      {{0.5, 0.5}, {12, 12}, {24, 24}, 0},
      {{0.5 + 0x1p-53, 0.5}, {12, 12}, {24, 24}, -1},
      {{0.5, 0.5 + 0x1p-53}, {12, 12}, {24, 24}, 1},
      {{1e-300, 1e300}, {1e300, 1e-300}, {0, 0}, -1},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(exact::Orientation(c.o, c.a, c.b), c.turn)
        << c.o.x << ' ' << c.o.y << ' ' << c.a.x << ' ' << c.a.y << ' ' << c.b.x << ' ' << c.b.y;
  }
}

// Integer clouds scaled by a power of two: the scaling is exact, so the hull is the integer
// cloud's hull scaled, and exactly right, from denormals to near the largest double.
TEST(TPointToolsTest, HullAtEveryScale) {
  std::mt19937 random(99);
  for (const double scale :
       {0x1p-1074, 0x1p-1060, 0x1p-1000, 0x1p-500, 1.0, 0x1p500, 0x1p960, 0x1p1013}) {
    for (int round = 0; round < 30; ++round) {
      const int range = round % 3 == 0 ? 4 : 1000;
      std::uniform_int_distribution<int> coord(-range, range);
      std::uniform_int_distribution<int> count(1, 30);
      std::vector<TPoint> integers;
      std::vector<TPoint> scaled;
      for (int i = count(random); i > 0; --i) {
        const int x = coord(random);
        const int y = coord(random);
        integers.emplace_back(x, y);
        scaled.emplace_back(x * scale, y * scale);
      }
      SCOPED_TRACE(testing::Message() << "scale " << scale << ", round " << round);
      ExpectExactHull(scaled);
      Coords expected = CoordsOf(FindConvexHull(integers));
      for (auto& [x, y] : expected) {
        x *= scale;
        y *= scale;
      }
      EXPECT_EQ(CoordsOf(FindConvexHull(scaled)), expected);
    }
  }
}

// Any finite doubles, with exponents over the whole range in one cloud.
TEST(TPointToolsTest, HullOfDoublesOfEveryMagnitude) {
  std::mt19937_64 random(5);
  const auto anyDouble = [&random] {
    for (;;) {
      const double value = std::bit_cast<double>(random());
      if (std::isfinite(value)) {
        return value;
      }
    }
  };
  for (int round = 0; round < 40; ++round) {
    std::vector<TPoint> cloud;
    for (int i = 0; i < 3 + round % 10; ++i) {
      // Some coordinates shared, so that level and upright edges occur.
      const double x = i > 0 && random() % 4 == 0 ? cloud.back().X() : anyDouble();
      const double y = i > 0 && random() % 4 == 0 ? cloud.back().Y() : anyDouble();
      cloud.emplace_back(x, y);
    }
    SCOPED_TRACE(testing::Message() << "round " << round);
    ExpectExactHull(cloud);
  }
  ExpectExactHull(Points({{-kMax, -kMax},
                          {kMax, -kMax},
                          {kMax, kMax},
                          {-kMax, kMax},
                          {0, 0},
                          {kMax, 0},
                          {0, -kMax},
                          {-kMax, 1e-300}}));
}

// Many points on or within an ulp or two of one line.
TEST(TPointToolsTest, HullOfNearlyCollinearPoints) {
  std::mt19937 random(17);
  std::uniform_int_distribution<int> ulps(0, 15);
  for (int round = 0; round < 20; ++round) {
    // Next to the line through (12, 12) and (24, 24): an exact grid of 2^-53 steps near 0.5.
    std::vector<TPoint> cloud{{12, 12}, {24, 24}};
    for (int i = 0; i < 40; ++i) {
      cloud.emplace_back(0.5 + ulps(random) * 0x1p-53, 0.5 + ulps(random) * 0x1p-53);
    }
    SCOPED_TRACE(testing::Message() << "grid round " << round);
    ExpectExactHull(cloud);
  }
  std::uniform_real_distribution<double> along(-1e3, 1e3);
  for (const double slope : {0.1, 1.0 / 3.0, 7.0, 1e-300, 1e300}) {
    // y = slope * x, rounded: each point lies within half an ulp of the line.
    std::vector<TPoint> cloud;
    for (int i = 0; i < 60; ++i) {
      const double x = along(random);
      cloud.emplace_back(x, slope * x);
    }
    SCOPED_TRACE(testing::Message() << "slope " << slope);
    ExpectExactHull(cloud);
  }
}

TEST(TPointToolsTest, HullLeavesOutInfinitePoints) {
  const std::vector<TPoint> input = Points(
      {{0, 0}, {kInf, 5}, {1, 0}, {0.5, -kInf}, {1, 1}, {-kInf, kInf}, {0, 1}, {kNaN, kInf}});
  EXPECT_EQ(CoordsOf(FindConvexHull(input)), (Coords{{0, 0}, {1, 0}, {1, 1}, {0, 1}}));
  EXPECT_DOUBLE_EQ(FindConvexPolygonArea(FindConvexHull(input)), 1.0);
  EXPECT_TRUE(FindConvexHull(Points({{kInf, 1}, {1, -kInf}})).empty());
}

}  // namespace
}  // namespace varrowin
