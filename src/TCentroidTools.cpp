#include "TCentroidTools.h"

#include <algorithm>

namespace varrowin::TCentroidTools {

TYearList MakeYearList(const TPatches& patches) {
  bool found = false;
  TYear minYear = 0;
  TYear maxYear = 0;
  for (const auto& [name, patch] : patches) {
    if (patch.GetNumYears() == 0) {
      continue;
    }
    minYear = found ? std::min(minYear, patch.GetMinYear()) : patch.GetMinYear();
    maxYear = found ? std::max(maxYear, patch.GetMaxYear()) : patch.GetMaxYear();
    found = true;
  }
  TYearList years;
  if (!found) {
    return years;
  }
  years.reserve(static_cast<std::size_t>(static_cast<std::int64_t>(maxYear) - minYear + 1));
  for (std::int64_t year = minYear; year <= maxYear; ++year) {
    years.push_back(static_cast<TYear>(year));
  }
  return years;
}

}  // namespace varrowin::TCentroidTools
