#include <varrowin/TCentroids.h>

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "TestSupport.h"

namespace varrowin {
namespace {

void ExpectMissing(const TCentroids& series, TYear year) {
  EXPECT_FALSE(series.YearExists(year)) << year;
  test::ExpectError([&] { series.GetCoords(year); }, "Year does not exist.");
}

TEST(TCentroidsTest, NewSeriesIsEmpty) {
  const TCentroids series("north");
  EXPECT_TRUE(series.GetYearList().empty());
  EXPECT_EQ(series.GetNumYears(), 0U);
  for (const TYear year : {0, 2000, -1, std::numeric_limits<TYear>::min()}) {
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
  const TYearList years{low, -40, 2001, 2003, 2005, far};
  EXPECT_EQ(series.GetYearList(), years);
  // The walk visits the same years in the same order, each with its own point.
  TYearList walked;
  for (const auto& [year, point] : series) {
    walked.push_back(year);
    EXPECT_EQ(point.X(), year);
    EXPECT_EQ(point.Y(), -static_cast<double>(year) / 2);
  }
  EXPECT_EQ(walked, years);
  EXPECT_EQ(series.GetCoords(-40).Y(), 20);
  // A failed lookup adds no year.
  ExpectMissing(series, 2002);
  EXPECT_EQ(series.GetNumYears(), years.size());
}

TEST(TCentroidsTest, SettingAYearTwiceKeepsTheSecondPointAndLookupsCopy) {
  TCentroids series;
  TPoint given(1, 2);
  series.SetCoords(2000, TPoint(7, 7));
  series.SetCoords(2000, given);
  given.X() = 99;  // the series holds its own point
  TPoint first = series.GetCoords(2000);
  first.Y() = 60;
  const TPoint second = series.GetCoords(2000);
  EXPECT_EQ(series.GetNumYears(), 1U);
  EXPECT_EQ(second.X(), 1);
  EXPECT_EQ(second.Y(), 2);
}

}  // namespace
}  // namespace varrowin
