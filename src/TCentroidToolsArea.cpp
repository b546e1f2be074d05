#include <varrowin/TCentroidTools.h>
#include <varrowin/TPointTools.h>

#include <algorithm>

namespace varrowin::TCentroidTools {

std::vector<TPoint> GetNonzeroPoints(const TPatches& patches, TYear year) {
  std::vector<TPoint> points;
  // The collection walks its patches in name order.
  for (const auto& [name, patch] : patches) {
    const double* population = patch.FindYear(year);
    if (population != nullptr && *population > 0.0) {
      points.emplace_back(patch.GetX(), patch.GetY());
    }
  }
  return points;
}

double GetMCPArea(const TPatches& patches, TYear year) {
  // A hull of fewer than three vertices encloses nothing: FindConvexPolygonArea gives 0 for it.
  return TPointTools::FindConvexPolygonArea(
      TPointTools::FindConvexHull(GetNonzeroPoints(patches, year)));
}

std::vector<double> GetMCPAreas(const TPatches& patches) {
  const TYearList years = MakeYearList(patches);
  std::vector<double> areas(years.size());
  std::transform(years.begin(), years.end(), areas.begin(),
                 [&patches](TYear year) { return GetMCPArea(patches, year); });
  return areas;
}

}  // namespace varrowin::TCentroidTools
