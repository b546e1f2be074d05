#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <varrowin/TCentroidTools.h>

#include "TestSupport.h"

namespace varrowin {
namespace {

using TCentroidTools::GetDiffInitial;
using TCentroidTools::GetDiffs;
using TCentroidTools::GetPropInitialRangeCoordShifts;
using TCentroidTools::GetPropYearlyRangeCoordShifts;
using TCentroidTools::GetRangeCoordShifts;
using TCentroidTools::GetYearlyRangeCoordShifts;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

using test::ExpectError;
using test::ExpectSeries;

// Input series carry a name; every result must have the empty one.
TCentroids MakeSeries(const std::vector<test::TEntry>& entries) {
  return test::MakeSeries(entries, "input");
}

// The usual inputs: the all-patch centroid series and a margin's centroid series. Only the
// reference year's all-patch point may matter, so the later ones are set to values that would
// change every result.
TCentroids AllCentroids() {
  return MakeSeries({{2000, 100, 50}, {2001, 1e6, 1e6}, {2002, -1e6, 7}, {2003, 3, -1e6}});
}
TCentroids MarginCentroids() {
  return MakeSeries({{2000, 90, 45}, {2001, 110, 60}, {2002, 105, 62}, {2003, 130, 44}});
}

// ---- Offsets from the reference year ----

TEST(GetDiffInitialTest, OffsetIsReferenceCentroidMinusMarginCentroid) {
  ExpectSeries(GetDiffInitial(AllCentroids(), MarginCentroids(), 1),
               {{2001, -10, -10}, {2002, -5, -12}, {2003, -30, 6}});
  // Without burn-in the first year is the reference and is covered too.
  ExpectSeries(GetDiffInitial(AllCentroids(), MarginCentroids(), 0),
               {{2000, 10, 5}, {2001, -10, -10}, {2002, -5, -12}, {2003, -30, 6}});
  // Burn-in equal to the count leaves nothing.
  ExpectSeries(GetDiffInitial(AllCentroids(), MarginCentroids(), 4), {});
  ExpectSeries(GetDiffInitial(AllCentroids(), TCentroids(), 0), {});
}

TEST(GetDiffInitialTest, ReferenceIsTheLastBurnInEntryNotCalendarYear) {
  // Years with a gap: the burn-in of 2 entries ends at 2003, the result starts at 2010.
  const TCentroids a = MakeSeries({{2003, 7, 7}});
  const TCentroids b = MakeSeries({{2000, 0, 0}, {2003, 0, 0}, {2010, 1, 2}, {2011, 4, 8}});
  ExpectSeries(GetDiffInitial(a, b, 2), {{2010, 6, 5}, {2011, 3, -1}});
}

TEST(GetDiffInitialTest, MissingReferenceYearFails) {
  const TCentroids a = MakeSeries({{2001, 1, 1}});
  ExpectError([&] { GetDiffInitial(a, MarginCentroids(), 1); }, "Year does not exist.");
  ExpectError([&] { GetPropInitialRangeCoordShifts(a, MarginCentroids(), 0); },
              "Year does not exist.");
}

TEST(GetDiffInitialTest, BurnInOutOfRangeIsRefused) {
  const TCentroids a = AllCentroids();
  const TCentroids b = MarginCentroids();
  for (const std::int32_t burnIn : {-1, 5, std::numeric_limits<std::int32_t>::min(),
                                    std::numeric_limits<std::int32_t>::max()}) {
    SCOPED_TRACE(burnIn);
    ExpectError([&] { GetDiffInitial(a, b, burnIn); }, "Burn-in out of range");
    ExpectError([&] { GetPropInitialRangeCoordShifts(a, b, burnIn); }, "Burn-in out of range");
  }
  // The percentage needs a baseline year after the burn-in.
  ExpectError([&] { GetPropInitialRangeCoordShifts(a, b, 4); }, "Burn-in out of range");
  ExpectError([&] { GetPropInitialRangeCoordShifts(a, TCentroids(), 0); }, "Burn-in out of range");
}

// ---- Percentage shifts from the baseline ----

TEST(GetPropInitialRangeCoordShiftsTest, PercentChangeOfTheOffsetSizeFromTheFirstYearAfterBurnIn) {
  // The Y offset changes sign from -10 to 6: only the change of its size counts.
  ExpectSeries(GetPropInitialRangeCoordShifts(AllCentroids(), MarginCentroids(), 1),
               {{2001, 0, 0}, {2002, 50, 20}, {2003, 200, 40}});
}

TEST(GetPropInitialRangeCoordShiftsTest, BaselineIsFirstYearAfterBurnInNotReferenceYear) {
  // Offsets from A(2000) = (100, 50): (10, 5), (-10, -10), (-5, -12), (-30, 6); the baseline is
  // the first of them, so 2000 gets (0, 0).
  ExpectSeries(GetPropInitialRangeCoordShifts(AllCentroids(), MarginCentroids(), 0),
               {{2000, 0, 0}, {2001, 0, 100}, {2002, 50, 140}, {2003, 200, 20}});
  // Burn-in 2: reference A(2001), baseline the 2002 offset (1e6 - 105, 1e6 - 62).
  const double x0 = 1e6 - 105;
  const double y0 = 1e6 - 62;
  ExpectSeries(GetPropInitialRangeCoordShifts(AllCentroids(), MarginCentroids(), 2),
               {{2002, 0, 0},
                {2003, std::fabs(std::fabs(1e6 - 130) - x0) / x0 * 100.0,
                 std::fabs(std::fabs(1e6 - 44) - y0) / y0 * 100.0}});
}

TEST(GetPropInitialRangeCoordShiftsTest, ZeroBaselineGivesInfinityOrNaNInThatAxisOnly) {
  // Offsets from (100, 50): (0, -10), (0, -12), (-30, 6).
  const TCentroids a = MakeSeries({{2000, 100, 50}});
  const TCentroids b =
      MakeSeries({{2000, 0, 0}, {2001, 100, 60}, {2002, 100, 62}, {2003, 130, 44}});
  ExpectSeries(GetPropInitialRangeCoordShifts(a, b, 1),
               {{2001, kNaN, 0}, {2002, kNaN, 20}, {2003, kInf, 40}});
}

TEST(GetPropInitialRangeCoordShiftsTest, BurnInCountsEntriesLeftAfterSmoothing) {
  // A moving mean with w = 5 drops 2000 and 2001; burn-in 1 then refers to 2002.
  const TCentroids a = MakeSeries({{2002, 10, 10}});
  const TCentroids raw = MakeSeries(
      {{2000, 0, 0}, {2001, 0, 0}, {2002, 0, 0}, {2003, 0, 0}, {2004, 5, 5}, {2005, 10, 0}});
  const TCentroids smoothed = TCentroidTools::MovingAverage(raw, 5);
  ASSERT_EQ(smoothed.GetYearList(), (TYearList{2002, 2003}));
  // Smoothed 2003: (3, 1); offset (7, 9) is the baseline of its own year.
  ExpectSeries(GetPropInitialRangeCoordShifts(a, smoothed, 1), {{2003, 0, 0}});
  ExpectSeries(GetDiffInitial(a, smoothed, 1), {{2003, 7, 9}});
}

// ---- Series differences and steps ----

TEST(GetDiffsTest, FirstSeriesMinusSecondOverTheYearsOfTheFirst) {
  const TCentroids a = MakeSeries({{2000, 5, 1}, {2002, 3, 3}});
  const TCentroids b = MakeSeries({{1999, 9, 9}, {2000, 2, 4}, {2002, 4, 1}, {2005, 9, 9}});
  ExpectSeries(GetDiffs(a, b), {{2000, 3, -3}, {2002, -1, 2}});
  ExpectError([&] { GetDiffs(b, a); }, "Year does not exist.");
}

TEST(GetYearlyRangeCoordShiftsTest, CurrentMinusCalendarPredecessor) {
  ExpectSeries(GetYearlyRangeCoordShifts(MakeSeries({{2000, 1, 10}, {2001, 4, 8}, {2002, 3, 9}})),
               {{2001, 3, -2}, {2002, -1, 1}});
  ExpectSeries(GetYearlyRangeCoordShifts(MakeSeries({{2000, 1, 1}})), {});
  ExpectSeries(GetYearlyRangeCoordShifts(TCentroids()), {});
}

TEST(GetYearlyRangeCoordShiftsTest, GapInTheYearsFails) {
  ExpectError(
      [] {
        GetYearlyRangeCoordShifts(MakeSeries({{2000, 1, 1}, {2001, 2, 2}, {2003, 3, 3}}));
      },
      "Year does not exist.");
}

TEST(GetPropYearlyRangeCoordShiftsTest, StepOverGapKeepsSignsAndZeroGapGivesSignedInfinity) {
  // Step (10, -5) over the gap (-20, -5).
  ExpectSeries(GetPropYearlyRangeCoordShifts(MakeSeries({{2000, 0, 0}, {2001, 0, 0}}),
                                             MakeSeries({{2000, 10, 10}, {2001, 20, 5}})),
               {{2001, -50, 100}});
  ExpectSeries(GetPropYearlyRangeCoordShifts(MakeSeries({{2000, 0, 0}, {2001, 5, 5}}),
                                             MakeSeries({{2000, 8, 2}, {2001, 5, 5}})),
               {{2001, -kInf, kInf}});
}

TEST(GetPropYearlyRangeCoordShiftsTest, QuotientIsTakenBeforeScaling) {
  // 1 / 3 * 100 and 100 * 1 / 3 differ in the last bit.
  const TCentroids a = MakeSeries({{2000, 0, 0}, {2001, 4, 0}});
  const TCentroids b = MakeSeries({{2000, 0, 0}, {2001, 1, 0}});
  const TPoint p = GetPropYearlyRangeCoordShifts(a, b).GetCoords(2001);
  EXPECT_EQ(p.X(), 1.0 / 3.0 * 100.0);
  EXPECT_NE(p.X(), 100.0 / 3.0);
  EXPECT_TRUE(std::isnan(p.Y()));
}

TEST(GetPropYearlyRangeCoordShiftsTest, MissingYearsFail) {
  const TCentroids b = MakeSeries({{2000, 1, 1}, {2001, 2, 2}});
  // A lacks B's second year.
  ExpectError(
      [&] {
        GetPropYearlyRangeCoordShifts(MakeSeries({{2000, 0, 0}}), b);
      },
      "Year does not exist.");
  // B lacks a year of A.
  ExpectError(
      [&] {
        GetPropYearlyRangeCoordShifts(MakeSeries({{2000, 0, 0}, {2001, 0, 0}, {2002, 0, 0}}), b);
      },
      "Year does not exist.");
}

// ---- Shifts from a position ----

TEST(GetRangeCoordShiftsTest, ReferenceMinusEachLaterYear) {
  const TCentroids s = MakeSeries({{1990, 9, 9}, {2000, 5, 5}, {2001, 7, 1}, {2004, 2, 8}});
  ExpectSeries(GetRangeCoordShifts(s, 0), {{1990, 0, 0}, {2000, 4, 4}, {2001, 2, 8}, {2004, 7, 1}});
  ExpectSeries(GetRangeCoordShifts(s, 1), {{2000, 0, 0}, {2001, -2, 4}, {2004, 3, -3}});
  ExpectSeries(GetRangeCoordShifts(s, 3), {{2004, 0, 0}});
}

TEST(GetRangeCoordShiftsTest, PositionOutOfRangeIsRefused) {
  const TCentroids s = MakeSeries({{2000, 5, 5}, {2001, 7, 1}});
  for (const std::int32_t i : {-1, 2, std::numeric_limits<std::int32_t>::max()}) {
    SCOPED_TRACE(i);
    ExpectError([&] { GetRangeCoordShifts(s, i); }, "Position out of range");
  }
  ExpectError([] { GetRangeCoordShifts(TCentroids(), 0); }, "Position out of range");
}

}  // namespace
}  // namespace varrowin
