#include <varrowin/TCentroids.h>

namespace varrowin {

TPoint TCentroids::GetCoords(TYear year) const {
  const auto it = points_.find(year);
  if (it == points_.end()) {
    throw TError("Year does not exist.");
  }
  return it->second;
}

TYearList TCentroids::GetYearList() const {
  TYearList years;
  years.reserve(points_.size());
  for (const auto& entry : points_) {
    years.push_back(entry.first);
  }
  return years;
}

}  // namespace varrowin
