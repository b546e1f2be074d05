#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "TCentroidTools.h"

namespace varrowin {
namespace {

using TCentroidTools::ExponentialSmoothing;
using TCentroidTools::MedianSmoothing;
using TCentroidTools::MovingAverage;
using TCentroidTools::MovingAverageSmoothing;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct TEntry {
  TYear year;
  double x;
  double y;
};

TCentroids MakeSeries(const std::vector<TEntry>& entries, std::string name = "") {
  TCentroids series(std::move(name));
  for (const auto& e : entries) {
    series.SetCoords(e.year, TPoint(e.x, e.y));
  }
  return series;
}

// Consecutive years from 2000 with the given X values and Y = 0.
TCentroids SeriesX(const std::vector<double>& xs) {
  std::vector<TEntry> entries;
  for (std::size_t i = 0; i < xs.size(); ++i) {
    entries.push_back({static_cast<TYear>(2000 + i), xs[i], 0.0});
  }
  return MakeSeries(entries);
}

std::vector<TEntry> Entries(const TCentroids& series) {
  std::vector<TEntry> entries;
  for (const auto& [year, point] : series) {
    entries.push_back({year, point.X(), point.Y()});
  }
  return entries;
}

// Compares year by year, exactly; NaN matches NaN.
void ExpectSeries(const TCentroids& actual, const std::vector<TEntry>& expected) {
  const auto got = Entries(actual);
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE("entry " + std::to_string(i));
    EXPECT_EQ(got[i].year, expected[i].year);
    if (std::isnan(expected[i].x)) {
      EXPECT_TRUE(std::isnan(got[i].x));
    } else {
      EXPECT_EQ(got[i].x, expected[i].x);
    }
    if (std::isnan(expected[i].y)) {
      EXPECT_TRUE(std::isnan(got[i].y));
    } else {
      EXPECT_EQ(got[i].y, expected[i].y);
    }
  }
}

// ---- Window placement, shared by the moving mean and median ----

struct TWindowCase {
  std::int32_t w;
  std::vector<TEntry> meanExpected;
};

class MovingAverageWindowTest : public ::testing::TestWithParam<TWindowCase> {};

TEST_P(MovingAverageWindowTest, PlacesEachWindowAtItsHalfWidth) {
  const TCentroids series = SeriesX({1, 2, 3, 4, 5});
  ExpectSeries(MovingAverage(series, GetParam().w), GetParam().meanExpected);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, MovingAverageWindowTest,
    ::testing::Values(
        TWindowCase{1, {{2000, 1, 0}, {2001, 2, 0}, {2002, 3, 0}, {2003, 4, 0}, {2004, 5, 0}}},
        TWindowCase{2, {{2000, 1.5, 0}, {2001, 2.5, 0}, {2002, 3.5, 0}, {2003, 4.5, 0}}},
        TWindowCase{3, {{2001, 2, 0}, {2002, 3, 0}, {2003, 4, 0}}},
        TWindowCase{4, {{2001, 2.5, 0}, {2002, 3.5, 0}}}, TWindowCase{5, {{2002, 3, 0}}},
        TWindowCase{6, {}}, TWindowCase{std::numeric_limits<std::int32_t>::max(), {}}));

TEST(MovingAverageTest, SmoothsXAndYIndependently) {
  const TCentroids series = MakeSeries({{2000, 1, 30}, {2001, 2, 60}, {2002, 6, 0}});
  ExpectSeries(MovingAverage(series, 3), {{2001, 3, 30}});
}

TEST(MovingAverageTest, WindowSpansEntriesAcrossGaps) {
  const TCentroids series = MakeSeries({{2000, 3, 0}, {2001, 6, 3}, {2005, 9, 9}});
  ExpectSeries(MovingAverage(series, 3), {{2001, 6, 4}});
}

TEST(MovingAverageTest, SumsInWindowOrderFromZero) {
  // 2^53 + 1 + 1 rounds back to 2^53 at each step, while 1 + 1 + 2^53 keeps the 2.
  const double big = 9007199254740992.0;
  const TCentroids series = SeriesX({big, 1, 1, big});
  const TCentroids result = MovingAverage(series, 3);
  EXPECT_EQ(result.GetCoords(2001).X(), big / 3.0);
  EXPECT_EQ(result.GetCoords(2002).X(), (big + 2.0) / 3.0);
  EXPECT_NE(result.GetCoords(2001).X(), result.GetCoords(2002).X());
}

TEST(MovingAverageTest, LeavesInputUnchangedAndNamesResultEmpty) {
  const TCentroids series = MakeSeries({{2000, 1, 1}, {2001, 3, 3}}, "north");
  const TCentroids result = MovingAverage(series, 1);
  EXPECT_EQ(result.GetName(), "");
  EXPECT_EQ(series.GetName(), "north");
  ExpectSeries(series, {{2000, 1, 1}, {2001, 3, 3}});
}

// ---- Moving median ----

TEST(MedianSmoothingTest, OddWindowTakesTheMiddleValue) {
  ExpectSeries(MedianSmoothing(SeriesX({5, 1, 3, 9, 7}), 3),
               {{2001, 3, 0}, {2002, 3, 0}, {2003, 7, 0}});
}

TEST(MedianSmoothingTest, EvenWindowTakesTheSmallerMiddleValueUnderTheEarlierYear) {
  ExpectSeries(MedianSmoothing(SeriesX({4, 2}), 2), {{2000, 2, 0}});
  ExpectSeries(MedianSmoothing(SeriesX({5, 1, 3, 9, 7}), 4), {{2001, 3, 0}, {2002, 3, 0}});
}

TEST(MedianSmoothingTest, SortsCoordinatesSeparately) {
  ExpectSeries(MedianSmoothing(MakeSeries({{2000, 0, 9}, {2001, 1, 8}, {2002, 2, 7}}), 3),
               {{2001, 1, 8}});
  // The median point need not be one of the input points.
  ExpectSeries(MedianSmoothing(MakeSeries({{2000, 0, 7}, {2001, 1, 9}, {2002, 2, 8}}), 3),
               {{2001, 1, 8}});
}

TEST(MedianSmoothingTest, NotANumberSortsAfterEveryNumber) {
  // X windows [NaN, 4, 1], [4, 1, NaN], [1, NaN, NaN] have the medians 4, 4, NaN;
  // Y windows [2, NaN, -3], [NaN, -3, 5], [-3, 5, 0] have 2, 5, 0.
  const TCentroids series = MakeSeries(
      {{2000, kNaN, 2}, {2001, 4, kNaN}, {2002, 1, -3}, {2003, kNaN, 5}, {2004, kNaN, 0}});
  ExpectSeries(MedianSmoothing(series, 3), {{2001, 4, 2}, {2002, 4, 5}, {2003, kNaN, 0}});
  // With w = 1 the value itself comes back, NaN included.
  ExpectSeries(MedianSmoothing(series, 1), Entries(series));
}

TEST(MedianSmoothingTest, InfinitiesAreOrderedAsNumbers) {
  const double inf = std::numeric_limits<double>::infinity();
  // Sorted: -inf, 2, inf, NaN, NaN.
  ExpectSeries(MedianSmoothing(SeriesX({inf, kNaN, -inf, 2, kNaN}), 5), {{2002, inf, 0}});
}

TEST(MedianSmoothingTest, WindowSpansEntriesAcrossGapsAndTooWideGivesEmpty) {
  const TCentroids series = MakeSeries({{2000, 3, 1}, {2001, 9, 2}, {2005, 6, 3}});
  ExpectSeries(MedianSmoothing(series, 3), {{2001, 6, 2}});
  ExpectSeries(MedianSmoothing(series, 4), {});
  EXPECT_EQ(MedianSmoothing(MakeSeries({{1, 1, 1}}, "x"), 1).GetName(), "");
}

// Long windows slide two ordered halves instead of sorting every window; the medians must be
// those of sorting each window, ties, zeros of both signs, infinities and NaN included.
TEST(MedianSmoothingTest, LongWindowsGiveTheMediansOfSortedWindows) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<double> pool{kNaN, inf, -inf, 0.0, -0.0, 1.0, 2.0, 2.0, -1.5, 7.0};
  std::mt19937 rng(99);
  std::uniform_int_distribution<std::size_t> pick(0, pool.size() - 1);
  std::uniform_int_distribution<int> wide(-1000, 1000);
  for (int round = 0; round < 40; ++round) {
    std::vector<TEntry> entries;
    const int n = 150 + round * 7;
    for (int i = 0; i < n; ++i) {
      const double x = round % 2 == 0 ? pool[pick(rng)] : 0.5 * wide(rng);
      entries.push_back({static_cast<TYear>(1800 + i), x, pool[pick(rng)]});
    }
    const TCentroids series = MakeSeries(entries);
    for (const std::int32_t w : {65, 66, 100, 149}) {
      const std::size_t h = static_cast<std::size_t>((w - 1) / 2);
      std::vector<TEntry> expected;
      for (std::size_t i = 0; i + static_cast<std::size_t>(w) <= entries.size(); ++i) {
        std::vector<double> xs;
        std::vector<double> ys;
        for (std::size_t j = i; j < i + static_cast<std::size_t>(w); ++j) {
          xs.push_back(entries[j].x);
          ys.push_back(entries[j].y);
        }
        const auto numbersFirst = [](double a, double b) {
          return a < b || (!std::isnan(a) && std::isnan(b));
        };
        std::stable_sort(xs.begin(), xs.end(), numbersFirst);
        std::stable_sort(ys.begin(), ys.end(), numbersFirst);
        expected.push_back({entries[i + h].year, xs[h], ys[h]});
      }
      SCOPED_TRACE("round " + std::to_string(round) + " w " + std::to_string(w));
      ExpectSeries(MedianSmoothing(series, w), expected);
    }
  }
}

// ---- Window below 1 ----

template <class F>
void ExpectWindowError(F&& call) {
  try {
    call();
    ADD_FAILURE() << "no error";
  } catch (const TError& e) {
    EXPECT_STREQ(e.what(), "Window size must be at least 1");
  }
}

TEST(WindowValidationTest, WindowBelowOneIsRefused) {
  const TCentroids series = SeriesX({1, 2, 3});
  for (const std::int32_t w : {0, -1, std::numeric_limits<std::int32_t>::min()}) {
    SCOPED_TRACE(w);
    ExpectWindowError([&] { MovingAverage(series, w); });
    ExpectWindowError([&] { MedianSmoothing(series, w); });
    ExpectWindowError([&] { MovingAverageSmoothing({1, 2, 3}, w); });
    // Also when there are no entries at all.
    ExpectWindowError([&] { MovingAverage(TCentroids(), w); });
  }
}

// ---- Exponential smoothing ----

TEST(ExponentialSmoothingTest, SeriesFollowsTheRecursion) {
  const TCentroids series = MakeSeries({{2000, 0, 8}, {2001, 10, 0}, {2003, 10, 4}}, "all");
  const TCentroids half = ExponentialSmoothing(series, 0.5);
  ExpectSeries(half, {{2000, 0, 8}, {2001, 5, 4}, {2003, 7.5, 4}});
  EXPECT_EQ(half.GetName(), "");
  ExpectSeries(ExponentialSmoothing(series, 1.0), Entries(series));
  ExpectSeries(ExponentialSmoothing(series, 0.0), {{2000, 0, 8}, {2001, 0, 8}, {2003, 0, 8}});
}

TEST(ExponentialSmoothingTest, SeriesUsesPreviousPlusAlphaTimesDifference) {
  const double alpha = 2.0 / (9.0 + 1.0);
  const TCentroids series = SeriesX({0.1, 0.7, 0.3});
  const double s1 = 0.1 + alpha * (0.7 - 0.1);
  const double s2 = s1 + alpha * (0.3 - s1);
  ExpectSeries(ExponentialSmoothing(series, alpha), {{2000, 0.1, 0}, {2001, s1, 0}, {2002, s2, 0}});
}

TEST(ExponentialSmoothingTest, EmptyInputsGiveEmptyResults) {
  EXPECT_EQ(ExponentialSmoothing(TCentroids(), 0.5).GetNumYears(), 0U);
  EXPECT_TRUE(ExponentialSmoothing(std::vector<double>{}, 0.5).empty());
}

TEST(ExponentialSmoothingTest, SequenceFollowsTheRecursion) {
  EXPECT_EQ(ExponentialSmoothing(std::vector<double>{0, 10, 10}, 0.5),
            (std::vector<double>{0, 5, 7.5}));
  EXPECT_EQ(ExponentialSmoothing(std::vector<double>{3, -1, 4}, 1.0),
            (std::vector<double>{3, -1, 4}));
  const double alpha = 0.2;
  const double o1 = 0.1 + (0.7 - 0.1) * alpha;
  const double o2 = o1 + (0.3 - o1) * alpha;
  EXPECT_EQ(ExponentialSmoothing(std::vector<double>{0.1, 0.7, 0.3}, alpha),
            (std::vector<double>{0.1, o1, o2}));
}

// ---- Moving mean of a sequence ----

TEST(MovingAverageSmoothingTest, WindowsStartAtEachEntry) {
  const std::vector<double> values{1, 2, 3, 4};
  EXPECT_EQ(MovingAverageSmoothing(values, 1), values);
  EXPECT_EQ(MovingAverageSmoothing(values, 2), (std::vector<double>{1.5, 2.5, 3.5}));
  EXPECT_EQ(MovingAverageSmoothing(values, 3), (std::vector<double>{2, 3}));
  EXPECT_EQ(MovingAverageSmoothing(values, 4), (std::vector<double>{2.5}));
  EXPECT_TRUE(MovingAverageSmoothing(values, 5).empty());
  EXPECT_TRUE(MovingAverageSmoothing({}, 1).empty());
}

}  // namespace
}  // namespace varrowin
