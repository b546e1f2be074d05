// Centroid analytics: patch cleaning, yearly and margin centroids, smoothing, shifts and the
// occupied-range area.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Common.h"
#include "TCentroids.h"
#include "TPatches.h"
#include "TPoint.h"

namespace varrowin::TCentroidTools {

// ---- Patch cleaning ----

// Returns a new collection, with the source's resolution, holding a copy of every patch that has
// n consecutive year entries all different from 0 (n = 0 keeps every patch, n < 0 none).
TPatches CleanPatches(const TPatches& source, std::int32_t n);

// The same result, built by moving the retained patches out of a collection the caller is done
// with; the source is left empty.
TPatches CleanPatches(TPatches&& source, std::int32_t n);

// ---- Yearly centroids ----

// Returns every year from the smallest first year to the largest last year of the patches that
// have years, ascending; empty when no patch has a year.
TYearList MakeYearList(const TPatches& patches);

// Returns the sum, in name order, of the populations of the patches that have the year.
double SumPopulations(const TPatches& patches, TYear year);

// Returns the population-weighted centroid of the year (not-a-number or infinite coordinates
// when the weights add up to 0).
TPoint WeightedMeans(const TPatches& patches, TYear year);

// Returns the plain centroid of the patches whose population in the year is above 0.
TPoint Means(const TPatches& patches, TYear year);

// Return the weighted (plain) centroid of every year of MakeYearList.
TCentroids WeightedMeans(const TPatches& patches);
TCentroids Means(const TPatches& patches);

// ---- Margin subpopulations ----

// Returns all patch names ranked by ascending coordinate (X for axis 'X', Y for any other
// character), ties ordered as a selection sort from name order leaves them.
std::vector<std::string> SortOnOrdinate(const TPatches& patches, char axis);

// Returns the margin subpopulation of the year: walking the ranking from its low end (fromLow)
// or its high end, the patches that hold the given proportion of the year's total, the patch at
// which the target is passed taken with the remaining share only. Stops at the end of the
// ranking. Throws TError("Patch does not exist") for a ranked name the collection lacks.
TPatches GetSubpopulation(const TPatches& patches, std::vector<std::string> ranking,
                          double proportion, TYear year, bool fromLow);

// Return, for every year of MakeYearList, the weighted (plain) centroid of that year's margin
// subpopulation.
TCentroids GetSubpopulationWeightedMeans(const TPatches& patches, double proportion, char axis,
                                         bool fromLow);
TCentroids GetSubpopulationMeans(const TPatches& patches, double proportion, char axis,
                                 bool fromLow);

// The three series of a range-margin analysis, as GetSubpopulationWeightedMeans (from the high
// end, then from the low end) and WeightedMeans return them.
struct TRangeSeries {
  TCentroids south;  // GetSubpopulationWeightedMeans(patches, proportion, axis, false)
  TCentroids north;  // GetSubpopulationWeightedMeans(patches, proportion, axis, true)
  TCentroids all;    // WeightedMeans(patches)
};

// Returns the three series with the same values as the three calls, computing the year totals
// and the ranking once for all of them.
TRangeSeries GetRangeSeries(const TPatches& patches, double proportion, char axis);

// ---- Series smoothing ----
// The windowed smoothers store the value of each window of w entries under the year at the
// window's position (w - 1) / 2. They throw TError("Window size must be at least 1") for w < 1.

TCentroids MovingAverage(const TCentroids& series, std::int32_t w);
TCentroids MedianSmoothing(const TCentroids& series, std::int32_t w);
// First point copied, then S + alpha * (P - S); an empty series gives an empty series.
TCentroids ExponentialSmoothing(const TCentroids& series, double alpha);
// Output entry k is the mean of input entries k to k + w - 1.
std::vector<double> MovingAverageSmoothing(std::vector<double> values, std::int32_t w);
std::vector<double> ExponentialSmoothing(std::vector<double> values, double alpha);

// ---- Shift measures ----
// A missing year makes them throw TError("Year does not exist."). Burn-in and position out of
// range throw TError with a message that says so.

// Reference point A(r), r the year of b at position burnIn - 1 (0 without burn-in), minus b's
// point for every year of b from position burnIn on.
TCentroids GetDiffInitial(const TCentroids& a, const TCentroids& b, std::int32_t burnIn);
// Per axis, 100 * | |offset| - |baseline| | / |baseline| for the offsets of GetDiffInitial,
// the baseline being the first offset.
TCentroids GetPropInitialRangeCoordShifts(const TCentroids& a, const TCentroids& b,
                                          std::int32_t burnIn);
// A(y) - B(y) for every year of a.
TCentroids GetDiffs(const TCentroids& a, const TCentroids& b);
// S(y) - S(y - 1) for every year of s but the first.
TCentroids GetYearlyRangeCoordShifts(const TCentroids& s);
// 100 * (B(y) - B(y - 1)) / (A(y) - B(y)) per axis, for every year of b but the first.
TCentroids GetPropYearlyRangeCoordShifts(const TCentroids& a, const TCentroids& b);
// S(y_i) - S(y) for every year of s from position i on.
TCentroids GetRangeCoordShifts(const TCentroids& s, std::int32_t i);

// ---- Occupied-range area ----

// Returns, in name order, the coordinates of the patches whose population in the year is above 0.
std::vector<TPoint> GetNonzeroPoints(const TPatches& patches, TYear year);
// Returns the area of the convex hull of the occupied patches of the year (patches with a
// not-a-number or infinite coordinate left out).
double GetMCPArea(const TPatches& patches, TYear year);
// Returns GetMCPArea for every year of MakeYearList.
std::vector<double> GetMCPAreas(const TPatches& patches);

}  // namespace varrowin::TCentroidTools
