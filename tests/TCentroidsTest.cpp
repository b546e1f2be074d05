#include <varrowin/TCentroids.h>

#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <random>
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

// Random settings of years (ascending runs, replacements, gaps, years before the first, far
// years) give the same series as an ordered map of the same settings, in every operation, and so
// do copies of it.
TEST(TCentroidsTest, AnyPatternOfYearsFollowsAMapModel) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> step(-3, 4);
  std::uniform_int_distribution<int> kind(0, 9);
  for (int round = 0; round < 200; ++round) {
    TCentroids series;
    std::map<TYear, TPoint> model;
    TYear year = 1990 + round % 7;
    const int settings = 1 + round % 40;
    for (int i = 0; i < settings; ++i) {
      // Mostly the next year, as the analytics set them; sometimes a jump or a step back.
      const int k = kind(rng);
      year = k < 6 ? year + 1 : k < 9 ? year + step(rng) : std::numeric_limits<TYear>::max() - i;
      const TPoint point(i, -i);
      series.SetCoords(year, point);
      model.insert_or_assign(year, point);
      if (k >= 9) {
        year = 1990;
      }
    }
    const TCentroids copy = series;
    for (const TCentroids* s : {static_cast<const TCentroids*>(&series), &copy}) {
      ASSERT_EQ(s->GetNumYears(), model.size()) << round;
      TYearList years;
      for (const auto& [y, point] : model) {
        years.push_back(y);
        ASSERT_TRUE(s->YearExists(y));
        EXPECT_EQ(s->GetCoords(y).X(), point.X());
      }
      EXPECT_EQ(s->GetYearList(), years);
      auto it = model.begin();
      for (const auto& [y, point] : *s) {
        ASSERT_NE(it, model.end());
        EXPECT_EQ(y, it->first);
        EXPECT_EQ(point.Y(), it->second.Y());
        ++it;
      }
      EXPECT_FALSE(s->YearExists(model.begin()->first - 1));
    }
    std::vector<TPoint> taken = series.TakePoints();
    ASSERT_EQ(taken.size(), model.size());
    EXPECT_EQ(taken.back().X(), model.rbegin()->second.X());
    EXPECT_EQ(series.GetNumYears(), 0U);
  }
}

}  // namespace
}  // namespace varrowin
