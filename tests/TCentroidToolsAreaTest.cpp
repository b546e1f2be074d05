#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include <varrowin/TCentroidTools.h>

namespace varrowin {
namespace {

using TCentroidTools::GetMCPArea;
using TCentroidTools::GetMCPAreas;
using TCentroidTools::GetNonzeroPoints;

// A patch at (x, y) with the given (year, population) entries.
TPatch MakePatch(const std::string& name, double x, double y,
                 const std::vector<std::pair<TYear, double>>& years) {
  TPatch patch(name, x, y);
  for (const auto& [year, value] : years) {
    patch.SetYear(year, value);
  }
  return patch;
}

// The unit square's corners, each occupied in 2000; in 2001 "d" is empty and "c" has a negative
// population; "e" at (5, 5) only has 2002, and nobody is occupied in 2003.
TPatches SquarePatches() {
  TPatches patches;
  patches.AddPatch(MakePatch("d", 0, 1, {{2000, 2}, {2001, 0}, {2003, 0}}));
  patches.AddPatch(MakePatch("a", 0, 0, {{2000, 1}, {2001, 1}}));
  patches.AddPatch(MakePatch("c", 1, 1, {{2000, 0.5}, {2001, -3}}));
  patches.AddPatch(MakePatch("b", 1, 0, {{2000, 7}, {2001, 4}}));
  patches.AddPatch(MakePatch("e", 5, 5, {{2002, 9}}));
  return patches;
}

std::vector<std::pair<double, double>> CoordsOf(const std::vector<TPoint>& points) {
  std::vector<std::pair<double, double>> coords;
  for (const TPoint& p : points) {
    coords.emplace_back(p.X(), p.Y());
  }
  return coords;
}

TEST(TCentroidToolsAreaTest, NonzeroPointsInNameOrderOccupiedOnly) {
  const TPatches patches = SquarePatches();
  using Coords = std::vector<std::pair<double, double>>;
  EXPECT_EQ(CoordsOf(GetNonzeroPoints(patches, 2000)), (Coords{{0, 0}, {1, 0}, {1, 1}, {0, 1}}));
  EXPECT_EQ(CoordsOf(GetNonzeroPoints(patches, 2001)), (Coords{{0, 0}, {1, 0}}));
  EXPECT_EQ(CoordsOf(GetNonzeroPoints(patches, 2002)), (Coords{{5, 5}}));
  EXPECT_TRUE(GetNonzeroPoints(patches, 2003).empty());
  EXPECT_TRUE(GetNonzeroPoints(patches, 1999).empty());
}

TEST(TCentroidToolsAreaTest, AreaOfOccupiedHull) {
  const TPatches patches = SquarePatches();
  EXPECT_DOUBLE_EQ(GetMCPArea(patches, 2000), 1.0);  // the whole unit square
  EXPECT_EQ(GetMCPArea(patches, 2001), 0.0);         // two occupied patches
  EXPECT_EQ(GetMCPArea(patches, 2002), 0.0);         // one
  EXPECT_EQ(GetMCPArea(patches, 2003), 0.0);         // none
  EXPECT_EQ(GetMCPArea(TPatches(), 2000), 0.0);
  // Two patches far apart: no rounding noise from the two flat triangles.
  TPatches two;
  two.AddPatch(MakePatch("x", 1.4, 0.3, {{1, 1}}));
  two.AddPatch(MakePatch("y", 128.2, 18.2, {{1, 1}}));
  EXPECT_EQ(GetMCPArea(two, 1), 0.0);
}

TEST(TCentroidToolsAreaTest, PatchesWithoutFiniteCoordinatesLeftOut) {
  TPatches patches = SquarePatches();
  const double inf = std::numeric_limits<double>::infinity();
  patches.AddPatch(MakePatch("far", inf, 0.5, {{2000, 1}}));
  patches.AddPatch(MakePatch("nowhere", 0.5, std::nan(""), {{2000, 1}}));
  EXPECT_DOUBLE_EQ(GetMCPArea(patches, 2000), 1.0);
  EXPECT_DOUBLE_EQ(GetMCPAreas(patches).front(), 1.0);
}

TEST(TCentroidToolsAreaTest, RegularGridCountsEveryOccupiedCell) {
  // A 10 x 10 grid of unit spacing; in year 1 only the block x = 2..6,
  // y = 1..4 (4 by 3 units) is occupied; its edges hold many collinear patches.
  TPatches patches;
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) {
      const bool occupied = x >= 2 && x <= 6 && y >= 1 && y <= 4;
      std::string name = "p";
      name += std::to_string(y * 10 + x);
      patches.AddPatch(MakePatch(name, x, y, {{0, 1}, {1, occupied ? 3.0 : 0.0}}));
    }
  }
  EXPECT_DOUBLE_EQ(GetMCPArea(patches, 0), 81.0);
  EXPECT_DOUBLE_EQ(GetMCPArea(patches, 1), 12.0);
}

TEST(TCentroidToolsAreaTest, OneAreaPerYearOfTheSpan) {
  const TPatches patches = SquarePatches();
  EXPECT_EQ(GetMCPAreas(patches), (std::vector<double>{GetMCPArea(patches, 2000), 0.0, 0.0, 0.0}));
  // A year inside the span that no patch has still gets its entry.
  TPatches gap;
  gap.AddPatch(MakePatch("a", 0, 0, {{10, 1}, {13, 1}}));
  gap.AddPatch(MakePatch("b", 2, 0, {{10, 1}, {13, 1}}));
  gap.AddPatch(MakePatch("c", 0, 2, {{10, 1}, {13, 0}}));
  const std::vector<double> gapAreas = GetMCPAreas(gap);
  ASSERT_EQ(gapAreas.size(), 4U);
  EXPECT_DOUBLE_EQ(gapAreas[0], 2.0);
  EXPECT_EQ(gapAreas, (std::vector<double>{gapAreas[0], 0.0, 0.0, 0.0}));
  EXPECT_TRUE(GetMCPAreas(TPatches()).empty());
}

}  // namespace
}  // namespace varrowin
