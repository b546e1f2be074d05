#include "TCentroidTools.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <set>
#include <utility>

namespace varrowin::TCentroidTools {

namespace {

// True when the patch has n consecutive year entries that all differ from 0. Negative and
// not-a-number values differ from 0. A window of n entries that all differ from 0 exists exactly
// when the longest run of such entries is at least n long; n = 0 asks for the empty window, which
// every patch has, and a negative n for a window no patch has.
bool HasNonzeroRun(const TPatch& patch, std::int32_t n) {
  if (n <= 0) {
    return n == 0;
  }
  std::int64_t run = 0;
  bool found = false;
  patch.ForEachYear([&run, &found, n](TYear /*year*/, double value) {
    run = (value != 0.0) ? run + 1 : 0;
    if (run >= n) {
      found = true;
    }
  });
  return found;
}

// The patches of a collection in name order. The pointers stay owned by the collection and are
// valid while it is not changed.
std::vector<const TPatch*> PatchesInNameOrder(const TPatches& patches) {
  std::vector<const TPatch*> ordered;
  ordered.reserve(static_cast<std::size_t>(patches.GetNumPatches()));
  for (const auto& entry : patches) {
    ordered.push_back(&entry.second);
  }
  return ordered;
}

// The X and Y coordinates of patches, in one contiguous array each.
struct TCoordinates {
  std::vector<double> xs;
  std::vector<double> ys;

  explicit TCoordinates(const std::vector<const TPatch*>& ordered) {
    xs.reserve(ordered.size());
    ys.reserve(ordered.size());
    for (const TPatch* patch : ordered) {
      xs.push_back(patch->GetX());
      ys.push_back(patch->GetY());
    }
  }
};

// The ranking key of a patch: X for the axis 'X', Y for any other character.
double OrdinateKey(const TPatch& patch, char axis) {
  return axis == 'X' ? patch.GetX() : patch.GetY();
}

// Returns the positions 0 .. keys.size() - 1 in the order a selection sort of the keys leaves
// them: at each position i (but the last) the leftmost strictly smallest key of positions i to the
// end is swapped with the key at i. A not-a-number key compares false with everything, so it is
// never chosen, and one at position i stays there. -0.0 and 0.0 are equal keys.
//
// The same order in O(P log P): an ordered set holds (key, position) for every key that is not
// a number at positions i and after; its first element is the leftmost smallest key, and the swap
// moves the key from i to the chosen position.
std::vector<std::size_t> SelectionOrder(const std::vector<double>& keys) {
  struct TKeyLess {
    bool operator()(const std::pair<double, std::size_t>& a,
                    const std::pair<double, std::size_t>& b) const {
      if (a.first < b.first) {
        return true;
      }
      if (b.first < a.first) {
        return false;
      }
      return a.second < b.second;
    }
  };
  const std::size_t count = keys.size();
  std::vector<std::size_t> order(count);
  std::vector<double> current(keys);
  std::set<std::pair<double, std::size_t>, TKeyLess> open;
  for (std::size_t i = 0; i < count; ++i) {
    order[i] = i;
    if (!std::isnan(keys[i])) {
      open.emplace_hint(open.end(), keys[i], i);
    }
  }
  for (std::size_t i = 0; i + 1 < count; ++i) {
    if (std::isnan(current[i])) {
      continue;
    }
    const std::size_t chosen = open.begin()->second;
    open.erase(open.begin());
    if (chosen != i) {
      open.erase({current[i], i});
      open.emplace(current[i], chosen);
      std::swap(current[i], current[chosen]);
      std::swap(order[i], order[chosen]);
    }
  }
  return order;
}

// The ranking as indices into the name order.
std::vector<std::size_t> RankIndices(const std::vector<const TPatch*>& ordered, char axis) {
  std::vector<double> keys;
  keys.reserve(ordered.size());
  for (const TPatch* patch : ordered) {
    keys.push_back(OrdinateKey(*patch, axis));
  }
  return SelectionOrder(keys);
}

// Running sums of a population-weighted centroid.
struct TWeightedSums {
  double sx = 0.0;
  double sy = 0.0;
  double w = 0.0;

  void Add(double x, double y, double weight) {
    sx += x * weight;
    sy += y * weight;
    w += weight;
  }
  TPoint Centroid() const { return {sx / w, sy / w}; }
};

// Running sums of a plain centroid of occupied patches.
struct TPlainSums {
  double sx = 0.0;
  double sy = 0.0;
  std::int64_t n = 0;

  void Add(double x, double y, double population) {
    if (population > 0) {
      sx += x;
      sy += y;
      ++n;
    }
  }
  TPoint Centroid() const {
    const auto count = static_cast<double>(n);
    return {sx / count, sy / count};
  }
};

// The centroid of the year over every patch that has it, in name order.
template <class Sums>
TPoint CentroidOfYear(const TPatches& patches, TYear year) {
  Sums sums;
  for (const auto& entry : patches) {
    if (const double* value = entry.second.FindYear(year)) {
      sums.Add(entry.second.GetX(), entry.second.GetY(), *value);
    }
  }
  return sums.Centroid();
}

// Calls f(year, values, present) for every year of MakeYearList, ascending, where for the patch
// at name-order index i present[i] tells whether it has the year and values[i] is then its
// population. The values are gathered for a block of consecutive years at a time, patch by patch,
// so that each patch's year storage is read once per block rather than once per year.
template <class F>
void ForEachYearOfPatches(const TPatches& patches, const std::vector<const TPatch*>& ordered,
                          F&& f) {
  constexpr std::size_t kBlockYears = 32;
  const TYearList years = MakeYearList(patches);
  const std::size_t count = ordered.size();
  std::vector<double> values(kBlockYears * count);
  std::vector<unsigned char> present(kBlockYears * count);
  for (std::size_t first = 0; first < years.size(); first += kBlockYears) {
    const std::size_t blockYears = std::min(kBlockYears, years.size() - first);
    for (std::size_t i = 0; i < count; ++i) {
      for (std::size_t k = 0; k < blockYears; ++k) {
        const double* value = ordered[i]->FindYear(years[first + k]);
        present[k * count + i] = value != nullptr ? 1 : 0;
        values[k * count + i] = value != nullptr ? *value : 0.0;
      }
    }
    for (std::size_t k = 0; k < blockYears; ++k) {
      f(years[first + k], &values[k * count], &present[k * count]);
    }
  }
}

// The centroid series of every year of MakeYearList.
template <class Sums>
TCentroids CentroidSeries(const TPatches& patches) {
  const std::vector<const TPatch*> ordered = PatchesInNameOrder(patches);
  const std::size_t count = ordered.size();
  const TCoordinates coordinates(ordered);
  TCentroids series;
  ForEachYearOfPatches(patches, ordered,
                       [&](TYear year, const double* values, const unsigned char* present) {
                         Sums sums;
                         for (std::size_t i = 0; i < count; ++i) {
                           if (present[i] != 0) {
                             sums.Add(coordinates.xs[i], coordinates.ys[i], values[i]);
                           }
                         }
                         series.SetCoords(year, sums.Centroid());
                       });
  return series;
}

// The margin centroid series without building subpopulations: the same walk as GetSubpopulation
// over name-order indices, with the centroid of the taken shares summed in name order, as the
// centroid of the subpopulation collection sums them.
template <class Sums>
TCentroids MarginSeries(const TPatches& patches, double proportion, char axis, bool fromLow) {
  const std::vector<const TPatch*> ordered = PatchesInNameOrder(patches);
  const std::vector<std::size_t> ranking = RankIndices(ordered, axis);
  const std::size_t count = ordered.size();
  const TCoordinates coordinates(ordered);
  std::vector<double> shares(count);
  std::vector<unsigned char> taken(count);
  TCentroids series;
  ForEachYearOfPatches(
      patches, ordered, [&](TYear year, const double* values, const unsigned char* present) {
        double total = 0.0;
        for (std::size_t i = 0; i < count; ++i) {
          if (present[i] != 0) {
            total += values[i];
          }
        }
        const double target = total * proportion;
        std::fill(taken.begin(), taken.end(), static_cast<unsigned char>(0));
        double cumulated = 0.0;
        for (std::size_t step = 0; step < count && target > cumulated; ++step) {
          const std::size_t index = fromLow ? ranking[step] : ranking[count - 1 - step];
          if (present[index] == 0) {
            continue;
          }
          const double previous = cumulated;
          double share = values[index];
          cumulated += share;
          if (cumulated > target) {
            share = target - previous;
          }
          shares[index] = share;
          taken[index] = 1;
        }
        Sums sums;
        for (std::size_t i = 0; i < count; ++i) {
          if (taken[i] != 0) {
            sums.Add(coordinates.xs[i], coordinates.ys[i], shares[i]);
          }
        }
        series.SetCoords(year, sums.Centroid());
      });
  return series;
}

}  // namespace

// ---- Patch cleaning ----

TPatches CleanPatches(const TPatches& source, std::int32_t n) {
  TPatches result;
  result.SetResolution(source.GetResolution());
  for (const auto& entry : source) {
    if (HasNonzeroRun(entry.second, n)) {
      result.AddPatch(entry.second.Clone());
    }
  }
  return result;
}

TPatches CleanPatches(TPatches&& source, std::int32_t n) {
  TPatches result;
  result.SetResolution(source.GetResolution());
  for (TPatch& patch : source.ReleasePatches()) {
    if (HasNonzeroRun(patch, n)) {
      result.AddPatch(std::move(patch));
    }
  }
  return result;
}

// ---- Yearly centroids ----

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

double SumPopulations(const TPatches& patches, TYear year) {
  double total = 0.0;
  for (const auto& entry : patches) {
    if (const double* value = entry.second.FindYear(year)) {
      total += *value;
    }
  }
  return total;
}

TPoint WeightedMeans(const TPatches& patches, TYear year) {
  return CentroidOfYear<TWeightedSums>(patches, year);
}

TPoint Means(const TPatches& patches, TYear year) {
  return CentroidOfYear<TPlainSums>(patches, year);
}

TCentroids WeightedMeans(const TPatches& patches) {
  return CentroidSeries<TWeightedSums>(patches);
}

TCentroids Means(const TPatches& patches) {
  return CentroidSeries<TPlainSums>(patches);
}

// ---- Margin subpopulations ----

std::vector<std::string> SortOnOrdinate(const TPatches& patches, char axis) {
  const std::vector<const TPatch*> ordered = PatchesInNameOrder(patches);
  std::vector<std::string> ranking;
  ranking.reserve(ordered.size());
  for (const std::size_t index : RankIndices(ordered, axis)) {
    ranking.push_back(ordered[index]->GetName());
  }
  return ranking;
}

TPatches GetSubpopulation(const TPatches& patches, std::vector<std::string> ranking,
                          double proportion, TYear year, bool fromLow) {
  TPatches subpopulation;
  const double target = SumPopulations(patches, year) * proportion;
  double cumulated = 0.0;
  const std::size_t count = ranking.size();
  for (std::size_t step = 0; step < count && target > cumulated; ++step) {
    const TPatch& patch = patches.GetPatch(fromLow ? ranking[step] : ranking[count - 1 - step]);
    const double previous = cumulated;
    const double* value = patch.FindYear(year);
    if (value == nullptr) {
      continue;
    }
    double share = *value;
    cumulated += share;
    if (cumulated > target) {
      share = target - previous;
    }
    TPatch clone = patch.ShallowClone();
    clone.SetYear(year, share);
    subpopulation.AddPatch(std::move(clone));
  }
  return subpopulation;
}

TCentroids GetSubpopulationWeightedMeans(const TPatches& patches, double proportion, char axis,
                                         bool fromLow) {
  return MarginSeries<TWeightedSums>(patches, proportion, axis, fromLow);
}

TCentroids GetSubpopulationMeans(const TPatches& patches, double proportion, char axis,
                                 bool fromLow) {
  return MarginSeries<TPlainSums>(patches, proportion, axis, fromLow);
}

}  // namespace varrowin::TCentroidTools
