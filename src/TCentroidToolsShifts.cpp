// Shift measures: offsets between centroid series, year-on-year steps and percentage shifts.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>

#include <varrowin/TCentroidTools.h>
#include "SeriesPieces.h"

namespace varrowin::TCentroidTools {

namespace {

// The reference point minus the point of s for every year of s from the given position on.
TCentroids OffsetsFrom(const TPoint& reference, const TCentroids& s, std::size_t from) {
  TCentroids result;
  if (from < s.GetNumYears()) {
    result.Reserve(s.GetNumYears() - from);
  }
  std::size_t position = 0;
  for (const auto& [year, point] : s) {
    if (position++ >= from) {
      result.SetCoords(year, reference.Diff(point));
    }
  }
  return result;
}

}  // namespace

TCentroids GetDiffInitial(const TCentroids& a, const TCentroids& b, std::int32_t burnIn) {
  const TYearList years = b.GetYearList();
  const auto n = static_cast<std::int64_t>(years.size());
  if (burnIn < 0 || burnIn > n) {
    throw TError("Burn-in out of range");
  }
  if (n == 0) {
    return TCentroids();
  }
  // The reference is the last burn-in year, or the first year without burn-in.
  const auto referencePos = static_cast<std::size_t>(burnIn > 0 ? burnIn - 1 : 0);
  return OffsetsFrom(a.GetCoords(years[referencePos]), b, static_cast<std::size_t>(burnIn));
}

TCentroids GetPropInitialRangeCoordShifts(const TCentroids& a, const TCentroids& b,
                                          std::int32_t burnIn) {
  if (burnIn < 0 || static_cast<std::size_t>(burnIn) >= b.GetNumYears()) {
    throw TError("Burn-in out of range");
  }
  // The offsets of GetDiffInitial, each turned into its percentages as it is computed; the
  // baseline is the offset of the first year after the burn-in.
  const auto from = static_cast<std::size_t>(burnIn);
  const std::size_t referencePos = burnIn > 0 ? from - 1 : 0;
  TYear referenceYear = 0;
  std::size_t position = 0;
  for (const auto& entry : b) {
    if (position++ == referencePos) {
      referenceYear = entry.first;
      break;
    }
  }
  TShiftMeasure measure(from);
  measure.SetReference(a.GetCoords(referenceYear));
  TCentroids result;
  result.Reserve(b.GetNumYears() - from);
  position = 0;
  for (const auto& [year, point] : b) {
    if (position >= from) {
      result.SetCoords(year, measure.Shift(position, point));
    }
    ++position;
  }
  return result;
}

TCentroids GetDiffs(const TCentroids& a, const TCentroids& b) {
  TCentroids result;
  result.Reserve(a.GetNumYears());
  for (const auto& [year, point] : a) {
    result.SetCoords(year, point.Diff(b.GetCoords(year)));
  }
  return result;
}

TCentroids GetYearlyRangeCoordShifts(const TCentroids& s) {
  TCentroids result;
  bool first = true;
  for (const auto& [year, point] : s) {
    if (first) {
      first = false;
      continue;
    }
    // The calendar predecessor, not the previous entry: a gap makes the lookup fail.
    result.SetCoords(year, point.Diff(s.GetCoords(year - 1)));
  }
  return result;
}

TCentroids GetPropYearlyRangeCoordShifts(const TCentroids& a, const TCentroids& b) {
  const TCentroids gaps = GetDiffs(a, b);
  const TCentroids steps = GetYearlyRangeCoordShifts(b);
  TCentroids result;
  for (const auto& [year, step] : steps) {
    const TPoint gap = gaps.GetCoords(year);
    result.SetCoords(year, TPoint(step.X() / gap.X() * 100.0, step.Y() / gap.Y() * 100.0));
  }
  return result;
}

TCentroids GetRangeCoordShifts(const TCentroids& s, std::int32_t i) {
  const TYearList years = s.GetYearList();
  if (i < 0 || static_cast<std::size_t>(i) >= years.size()) {
    throw TError("Position out of range");
  }
  return OffsetsFrom(s.GetCoords(years[static_cast<std::size_t>(i)]), s,
                     static_cast<std::size_t>(i));
}

}  // namespace varrowin::TCentroidTools
