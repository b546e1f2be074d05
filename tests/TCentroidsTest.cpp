#include "TCentroids.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace varrowin {
namespace {

// Expects GetCoords of the year to fail with the series' message.
void ExpectMissing(const TCentroids& series, TYear year) {
  try {
    series.GetCoords(year);
    ADD_FAILURE() << "year " << year << " found";
  } catch (const TError& e) {
    EXPECT_STREQ(e.what(), "Year does not exist.");
  }
}

TEST(TCentroidsTest, NewSeriesIsEmpty) {
  const TCentroids series("north");
  EXPECT_EQ(series.GetName(), "north");
  EXPECT_TRUE(series.GetYearList().empty());
  EXPECT_EQ(series.GetNumYears(), 0U);
  for (const TYear year : {0, 2000, -1, std::numeric_limits<TYear>::min()}) {
    EXPECT_FALSE(series.YearExists(year));
    ExpectMissing(series, year);
  }
  EXPECT_EQ(TCentroids().GetName(), "");
}

TEST(TCentroidsTest, YearsComeBackAscendingWhateverTheSettingOrder) {
  TCentroids series;
  const TYear far = std::numeric_limits<TYear>::max();
  const TYear low = std::numeric_limits<TYear>::min();
  for (const TYear year : {2005, 2001, 2003, -40, far, low}) {
    series.SetCoords(year, TPoint(year, -static_cast<double>(year) / 2));
  }
  EXPECT_EQ(series.GetYearList(), (TYearList{low, -40, 2001, 2003, 2005, far}));
  EXPECT_TRUE(series.YearExists(-40));
  EXPECT_FALSE(series.YearExists(2002));
  EXPECT_EQ(series.GetCoords(2003).X(), 2003);
  EXPECT_EQ(series.GetCoords(far).X(), far);
  EXPECT_EQ(series.GetCoords(-40).Y(), 20);
}

TEST(TCentroidsTest, FailedLookupAddsNoYear) {
  TCentroids series;
  series.SetCoords(2000, TPoint(1, 2));
  ExpectMissing(series, 1999);
  ExpectMissing(series, 2001);
  EXPECT_EQ(series.GetYearList(), TYearList{2000});
  EXPECT_FALSE(series.YearExists(1999));
}

TEST(TCentroidsTest, SettingAYearTwiceKeepsTheSecondPoint) {
  TCentroids series;
  series.SetCoords(2000, TPoint(1, 2));
  series.SetCoords(2000, TPoint(3, 4));
  EXPECT_EQ(series.GetNumYears(), 1U);
  const TPoint p = series.GetCoords(2000);
  EXPECT_EQ(p.X(), 3);
  EXPECT_EQ(p.Y(), 4);
}

TEST(TCentroidsTest, GetCoordsReturnsACopy) {
  TCentroids series;
  TPoint given(1, 2);
  series.SetCoords(2000, given);
  given.X() = 99;  // the series holds its own point
  TPoint first = series.GetCoords(2000);
  first.X() = 50;
  first.Y() = 60;
  const TPoint second = series.GetCoords(2000);
  EXPECT_EQ(second.X(), 1);
  EXPECT_EQ(second.Y(), 2);
}

TEST(TCentroidsTest, WalkVisitsYearsInOrderWithTheirPoints) {
  TCentroids series;
  series.SetCoords(3, TPoint(30, 0));
  series.SetCoords(1, TPoint(10, 0));
  std::int64_t visited = 0;
  double lastX = 0;
  for (const auto& [year, point] : series) {
    EXPECT_EQ(point.X(), year * 10.0);
    EXPECT_GT(point.X(), lastX);
    lastX = point.X();
    ++visited;
  }
  EXPECT_EQ(visited, 2);
}

}  // namespace
}  // namespace varrowin
