#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <varrowin/TCentroidTools.h>
#include "TestSupport.h"

namespace varrowin {
namespace {

using TCentroidTools::ExponentialSmoothing;
using TCentroidTools::MedianSmoothing;
using TCentroidTools::MovingAverage;
using TCentroidTools::MovingAverageSmoothing;
using test::Entries;
using test::ExpectSeries;
using test::MakeSeries;
using test::SeriesX;
using test::TEntry;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// ---- Windowed smoothers on small series ----

struct TWindowCase {
  const char* what;
  bool median;  // MedianSmoothing, else MovingAverage
  TCentroids series;
  std::int32_t w;
  std::vector<TEntry> expected;
};

class WindowTest : public ::testing::TestWithParam<TWindowCase> {};

TEST_P(WindowTest, StoresEachWindowAtItsHalfWidth) {
  const TWindowCase& c = GetParam();
  SCOPED_TRACE(c.what);
  ExpectSeries(c.median ? MedianSmoothing(c.series, c.w) : MovingAverage(c.series, c.w),
               c.expected);
}

const TCentroids kOneToFive = SeriesX({1, 2, 3, 4, 5});
const TCentroids kGaps = MakeSeries({{2000, 3, 1}, {2001, 9, 2}, {2005, 6, 3}}, "north");
// X windows [NaN, 4, 1], [4, 1, NaN], [1, NaN, NaN] have the medians 4, 4, NaN;
// Y windows [2, NaN, -3], [NaN, -3, 5], [-3, 5, 0] have 2, 5, 0.
const TCentroids kNaNs =
    MakeSeries({{2000, kNaN, 2}, {2001, 4, kNaN}, {2002, 1, -3}, {2003, kNaN, 5}, {2004, kNaN, 0}});

INSTANTIATE_TEST_SUITE_P(
    Cases, WindowTest,
    ::testing::Values(
        TWindowCase{"mean w 1",
                    false,
                    kOneToFive,
                    1,
                    {{2000, 1, 0}, {2001, 2, 0}, {2002, 3, 0}, {2003, 4, 0}, {2004, 5, 0}}},
        TWindowCase{"mean w 2",
                    false,
                    kOneToFive,
                    2,
                    {{2000, 1.5, 0}, {2001, 2.5, 0}, {2002, 3.5, 0}, {2003, 4.5, 0}}},
        TWindowCase{"mean w 3", false, kOneToFive, 3, {{2001, 2, 0}, {2002, 3, 0}, {2003, 4, 0}}},
        TWindowCase{"mean w 4", false, kOneToFive, 4, {{2001, 2.5, 0}, {2002, 3.5, 0}}},
        TWindowCase{"mean w 5", false, kOneToFive, 5, {{2002, 3, 0}}},
        TWindowCase{"mean too wide", false, kOneToFive, 6, {}},
        TWindowCase{"mean widest", false, kOneToFive, std::numeric_limits<std::int32_t>::max(), {}},
        TWindowCase{"mean X and Y apart",
                    false,
                    MakeSeries({{2000, 1, 30}, {2001, 2, 60}, {2002, 6, 0}}),
                    3,
                    {{2001, 3, 30}}},
        TWindowCase{"mean across gaps", false, kGaps, 3, {{2001, 6, 2}}},
        TWindowCase{"median odd w",
                    true,
                    SeriesX({5, 1, 3, 9, 7}),
                    3,
                    {{2001, 3, 0}, {2002, 3, 0}, {2003, 7, 0}}},
        TWindowCase{
            "median even w takes the smaller middle", true, SeriesX({4, 2}), 2, {{2000, 2, 0}}},
        TWindowCase{"median w 4", true, SeriesX({5, 1, 3, 9, 7}), 4, {{2001, 3, 0}, {2002, 3, 0}}},
        TWindowCase{"median sorts X and Y apart",
                    true,
                    MakeSeries({{2000, 0, 7}, {2001, 1, 9}, {2002, 2, 8}}),
                    3,
                    {{2001, 1, 8}}},
        TWindowCase{"median NaN after numbers",
                    true,
                    kNaNs,
                    3,
                    {{2001, 4, 2}, {2002, 4, 5}, {2003, kNaN, 0}}},
        TWindowCase{
            "median w 1 keeps NaN",
            true,
            kNaNs,
            1,
            {{2000, kNaN, 2}, {2001, 4, kNaN}, {2002, 1, -3}, {2003, kNaN, 5}, {2004, kNaN, 0}}},
        // Sorted: -inf, 2, inf, NaN, NaN.
        TWindowCase{"median infinities are numbers",
                    true,
                    SeriesX({kInf, kNaN, -kInf, 2, kNaN}),
                    5,
                    {{2002, kInf, 0}}},
        TWindowCase{"median across gaps", true, kGaps, 3, {{2001, 6, 2}}},
        TWindowCase{"median too wide", true, kGaps, 4, {}}),
    [](const auto& info) { return test::CaseName(info.param.what); });

TEST(MovingAverageTest, SumsInWindowOrderFromZero) {
  // 2^53 + 1 + 1 rounds back to 2^53 at each step, while 1 + 1 + 2^53 keeps the 2.
  const double big = 9007199254740992.0;
  const TCentroids result = MovingAverage(SeriesX({big, 1, 1, big}), 3);
  EXPECT_EQ(result.GetCoords(2001).X(), big / 3.0);
  EXPECT_EQ(result.GetCoords(2002).X(), (big + 2.0) / 3.0);
  EXPECT_NE(result.GetCoords(2001).X(), result.GetCoords(2002).X());
}

// Long windows slide two ordered halves instead of sorting every window; the medians must be
// those of sorting each window, ties, zeros of both signs, infinities and NaN included.
TEST(MedianSmoothingTest, LongWindowsGiveTheMediansOfSortedWindows) {
  const std::vector<double> pool{kNaN, kInf, -kInf, 0.0, -0.0, 1.0, 2.0, 2.0, -1.5, 7.0};
  const auto numbersFirst = [](double a, double b) {
    return a < b || (!std::isnan(a) && std::isnan(b));
  };
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
      const auto width = static_cast<std::size_t>(w);
      const std::size_t h = (width - 1) / 2;
      std::vector<TEntry> expected;
      for (std::size_t i = 0; i + width <= entries.size(); ++i) {
        std::vector<double> xs;
        std::vector<double> ys;
        for (std::size_t j = i; j < i + width; ++j) {
          xs.push_back(entries[j].x);
          ys.push_back(entries[j].y);
        }
        std::stable_sort(xs.begin(), xs.end(), numbersFirst);
        std::stable_sort(ys.begin(), ys.end(), numbersFirst);
        expected.push_back({entries[i + h].year, xs[h], ys[h]});
      }
      SCOPED_TRACE("round " + std::to_string(round) + " w " + std::to_string(w));
      ExpectSeries(MedianSmoothing(series, w), expected);
    }
  }
}

TEST(WindowValidationTest, WindowBelowOneIsRefused) {
  const TCentroids series = SeriesX({1, 2, 3});
  const char* const message = "Window size must be at least 1";
  for (const std::int32_t w : {0, -1, std::numeric_limits<std::int32_t>::min()}) {
    SCOPED_TRACE(w);
    test::ExpectError([&] { MovingAverage(series, w); }, message);
    test::ExpectError([&] { MedianSmoothing(series, w); }, message);
    test::ExpectError([&] { MovingAverageSmoothing({1, 2, 3}, w); }, message);
    // Also when there are no entries at all.
    test::ExpectError([&] { MovingAverage(TCentroids(), w); }, message);
  }
}

// ---- Exponential smoothing ----

TEST(ExponentialSmoothingTest, SeriesFollowsTheRecursion) {
  const TCentroids series = MakeSeries({{2000, 0, 8}, {2001, 10, 0}, {2003, 10, 4}}, "all");
  ExpectSeries(ExponentialSmoothing(series, 0.5), {{2000, 0, 8}, {2001, 5, 4}, {2003, 7.5, 4}});
  ExpectSeries(ExponentialSmoothing(series, 1.0), Entries(series));
  ExpectSeries(ExponentialSmoothing(series, 0.0), {{2000, 0, 8}, {2001, 0, 8}, {2003, 0, 8}});
  EXPECT_EQ(series.GetCoords(2001).X(), 10);
  // S + alpha * (P - S), in that order.
  const double alpha = 2.0 / (9.0 + 1.0);
  const double s1 = 0.1 + alpha * (0.7 - 0.1);
  const double s2 = s1 + alpha * (0.3 - s1);
  ExpectSeries(ExponentialSmoothing(SeriesX({0.1, 0.7, 0.3}), alpha),
               {{2000, 0.1, 0}, {2001, s1, 0}, {2002, s2, 0}});
  EXPECT_EQ(ExponentialSmoothing(TCentroids(), 0.5).GetNumYears(), 0U);
}

TEST(ExponentialSmoothingTest, SequenceFollowsTheRecursion) {
  EXPECT_EQ(ExponentialSmoothing(std::vector<double>{0, 10, 10}, 0.5),
            (std::vector<double>{0, 5, 7.5}));
  const double alpha = 0.2;
  const double o1 = 0.1 + (0.7 - 0.1) * alpha;
  const double o2 = o1 + (0.3 - o1) * alpha;
  EXPECT_EQ(ExponentialSmoothing(std::vector<double>{0.1, 0.7, 0.3}, alpha),
            (std::vector<double>{0.1, o1, o2}));
  EXPECT_TRUE(ExponentialSmoothing(std::vector<double>{}, 0.5).empty());
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
