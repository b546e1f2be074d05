#include <varrowin/TCentroidTools.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

#include "RadixSort.h"

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
    found = run >= n;
    return !found;
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

// The ranking key of a patch: X for the axis 'X', Y for any other character.
double OrdinateKey(const TPatch& patch, char axis) {
  return axis == 'X' ? patch.GetX() : patch.GetY();
}

// A position in name order, and a ranking: positions in ranked order. A collection holds fewer
// than 2^32 patches.
using TPosition = std::uint32_t;
using TRanking = std::vector<TPosition>;

// Returns the positions 0 .. count - 1 in the order a selection sort of their keys leaves them:
// at each position i (but the last) the leftmost strictly smallest key of positions i to the end
// is swapped with the key at i. A not-a-number key compares false with everything, so it is never
// chosen, and one at position i stays there: not-a-number keys never move. -0.0 and 0.0 are equal
// keys. numbers holds, in position order, the key (as OrderedBits) and the position of every
// position whose key is a number.
//
// The same order in O(P log P). The numbers fall into groups of equal keys, taken in ascending
// order; each group keeps the current positions of its keys in its own range of slots, one slot
// per key. At position i the chosen key is the leftmost of the smallest group that is not used up.
// When the key at i belongs to another group, the swap moves it to the chosen position: its slot
// changes from i to that position. A group receives no such change once it is the smallest (the
// key at i is then its own), so its range is put in ascending order when it becomes the smallest
// and gives up its positions from the start of the range. A stable sort of the numbers by key fills
// every range in ascending order at once, as the numbers come in position order.
TRanking SelectionOrder(std::vector<TKeyedIndex> numbers, std::size_t count) {
  RadixSortByKey(numbers);
  // Group g holds slots[groupFirst[g], groupLast[g]). cells[p] tells, for the key now at
  // position p, the slot that holds p while the key belongs to a group that is not yet the
  // smallest (kNoSlot for a not-a-number key), and the position the key started from. Both live in
  // one cell, so that a swap touches one place per position.
  constexpr std::uint32_t kNoSlot = ~std::uint32_t{0};
  struct TCell {
    std::uint32_t slot;
    TPosition origin;
  };
  std::vector<TPosition> slots(numbers.size());
  std::vector<std::uint32_t> groupFirst;
  std::vector<std::uint32_t> groupLast;
  std::vector<TCell> cells(count);
  for (std::size_t i = 0; i < count; ++i) {
    cells[i] = {kNoSlot, static_cast<TPosition>(i)};
  }
  for (std::size_t k = 0; k < numbers.size(); ++k) {
    if (k == 0 || numbers[k - 1].Key() != numbers[k].Key()) {
      if (k > 0) {
        groupLast.push_back(static_cast<std::uint32_t>(k));
      }
      groupFirst.push_back(static_cast<std::uint32_t>(k));
    }
    slots[k] = numbers[k].index;
    cells[slots[k]].slot = static_cast<std::uint32_t>(k);
  }
  if (!numbers.empty()) {
    groupLast.push_back(static_cast<std::uint32_t>(numbers.size()));
  }
  numbers = std::vector<TKeyedIndex>();

  // The smallest group that is not used up; its range is ascending from groupFirst on.
  std::size_t smallest = 0;
  bool smallestSorted = true;
  for (std::size_t i = 0; i + 1 < count; ++i) {
    if (cells[i].slot == kNoSlot) {
      continue;
    }
    while (groupLast[smallest] == groupFirst[smallest]) {
      ++smallest;
      smallestSorted = false;
    }
    const auto first = slots.begin() + static_cast<std::ptrdiff_t>(groupFirst[smallest]);
    if (!smallestSorted) {
      const auto last = slots.begin() + static_cast<std::ptrdiff_t>(groupLast[smallest]);
      if (!std::is_sorted(first, last)) {
        std::sort(first, last);
      }
      smallestSorted = true;
    }
    const TPosition chosen = *first;
    ++groupFirst[smallest];
    if (chosen != i) {
      // The key at i belongs to a later group: it moves to the chosen position.
      TCell& here = cells[i];
      TCell& there = cells[chosen];
      slots[here.slot] = chosen;
      there.slot = here.slot;
      std::swap(here.origin, there.origin);
    }
  }
  TRanking order(count);
  for (std::size_t i = 0; i < count; ++i) {
    order[i] = cells[i].origin;
  }
  return order;
}

// The ranking as positions in name order.
TRanking RankIndices(const std::vector<const TPatch*>& ordered, char axis) {
  std::vector<TKeyedIndex> numbers;
  numbers.reserve(ordered.size());
  for (std::size_t i = 0; i < ordered.size(); ++i) {
    const double key = OrdinateKey(*ordered[i], axis);
    if (!std::isnan(key)) {
      numbers.emplace_back(OrderedBits(key), static_cast<TPosition>(i));
    }
  }
  return SelectionOrder(std::move(numbers), ordered.size());
}

// Adds the population to the cumulated total of a margin walk and returns the share that the
// margin takes: all of it, or only what was still missing when the total passes the target.
double TakeShare(double& cumulated, double population, double target) {
  const double previous = cumulated;
  cumulated += population;
  return cumulated > target ? target - previous : population;
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

// The years of MakeYearList with the patches in name order: what the series functions walk.
struct TSeriesFrame {
  std::vector<const TPatch*> ordered;
  TYearList years;

  explicit TSeriesFrame(const TPatches& patches)
      : ordered(PatchesInNameOrder(patches)), years(MakeYearList(patches)) {}

  // The position of a year of some patch in years (which then holds at least that year).
  std::size_t Index(TYear year) const {
    return static_cast<std::size_t>(static_cast<std::int64_t>(year) - years.front());
  }

  template <class Sums>
  TCentroids Series(const std::vector<Sums>& sums) const {
    TCentroids series;
    series.Reserve(years.size());
    for (std::size_t k = 0; k < years.size(); ++k) {
      series.SetCoords(years[k], sums[k].Centroid());
    }
    return series;
  }
};

// The centroid sums of every year. Each patch's years are read in one sequential run and added
// to per-year sums; within every year the patches are still added in name order, so each sum is
// the one the single-year centroid takes.
template <class Sums>
std::vector<Sums> CentroidSums(const TSeriesFrame& frame) {
  std::vector<Sums> sums(frame.years.size());
  for (const TPatch* patch : frame.ordered) {
    const double x = patch->GetX();
    const double y = patch->GetY();
    patch->ForEachYear([&](TYear year, double value) { sums[frame.Index(year)].Add(x, y, value); });
  }
  return sums;
}

// The margin targets of every year: the year total, summed in name order as SumPopulations sums
// it, times the proportion.
std::vector<double> MarginTargets(const TSeriesFrame& frame, double proportion) {
  std::vector<double> targets(frame.years.size(), 0.0);
  for (const TPatch* patch : frame.ordered) {
    patch->ForEachYear([&](TYear year, double value) { targets[frame.Index(year)] += value; });
  }
  for (double& target : targets) {
    target *= proportion;
  }
  return targets;
}

// The margin centroid sums of every year, without building subpopulations. Per year they are the
// sums that GetSubpopulation followed by the single-year centroid takes: the cumulated population
// in walk order, the centroid of the taken shares in name order. The work runs patch by patch so
// that each patch's years are read sequentially:
//  1. the walk visits the patches in walk order and updates only the years whose margin is still
//     open, recording per year the last step taken and that patch's share;
//  2. the centroid sums take, in name order, every patch at an earlier step with its whole
//     population and the patch at the last step with its share.
template <class Sums>
std::vector<Sums> MarginSums(const TSeriesFrame& frame, const TRanking& ranking,
                             const std::vector<double>& targets, bool fromLow) {
  const std::size_t count = frame.ordered.size();
  const std::size_t numYears = frame.years.size();
  const auto walkIndex = [&](std::size_t step) {
    return fromLow ? ranking[step] : ranking[count - 1 - step];
  };
  std::vector<double> cumulated(numYears, 0.0);
  std::vector<std::int64_t> lastStep(numYears, -1);
  std::vector<double> lastShare(numYears, 0.0);
  std::vector<std::size_t> open;
  open.reserve(numYears);
  for (std::size_t k = 0; k < numYears; ++k) {
    if (targets[k] > cumulated[k]) {
      open.push_back(k);
    }
  }
  for (std::size_t step = 0; step < count && !open.empty(); ++step) {
    const TPatch& patch = *frame.ordered[walkIndex(step)];
    std::size_t kept = 0;
    for (const std::size_t k : open) {
      if (const double* value = patch.FindYear(frame.years[k])) {
        lastStep[k] = static_cast<std::int64_t>(step);
        lastShare[k] = TakeShare(cumulated[k], *value, targets[k]);
      }
      if (targets[k] > cumulated[k]) {
        open[kept++] = k;
      }
    }
    open.resize(kept);
  }

  std::vector<Sums> sums(numYears);
  if (numYears == 0) {
    return sums;
  }
  std::vector<std::int64_t> stepOf(count);
  for (std::size_t step = 0; step < count; ++step) {
    stepOf[walkIndex(step)] = static_cast<std::int64_t>(step);
  }
  const std::int64_t lastTaken = *std::max_element(lastStep.begin(), lastStep.end());
  for (std::size_t i = 0; i < count; ++i) {
    const std::int64_t step = stepOf[i];
    if (step > lastTaken) {
      continue;  // in no year's margin
    }
    const double x = frame.ordered[i]->GetX();
    const double y = frame.ordered[i]->GetY();
    frame.ordered[i]->ForEachYear([&](TYear year, double value) {
      const std::size_t k = frame.Index(year);
      if (step < lastStep[k]) {
        sums[k].Add(x, y, value);
      } else if (step == lastStep[k]) {
        sums[k].Add(x, y, lastShare[k]);
      }
    });
  }
  return sums;
}

template <class Sums>
TCentroids MarginSeries(const TPatches& patches, double proportion, char axis, bool fromLow) {
  const TSeriesFrame frame(patches);
  const std::vector<double> targets = MarginTargets(frame, proportion);
  return frame.Series(MarginSums<Sums>(frame, RankIndices(frame.ordered, axis), targets, fromLow));
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
  const TSeriesFrame frame(patches);
  return frame.Series(CentroidSums<TWeightedSums>(frame));
}

TCentroids Means(const TPatches& patches) {
  const TSeriesFrame frame(patches);
  return frame.Series(CentroidSums<TPlainSums>(frame));
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
    const double* value = patch.FindYear(year);
    if (value == nullptr) {
      continue;
    }
    TPatch clone = patch.ShallowClone();
    clone.SetYear(year, TakeShare(cumulated, *value, target));
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

TRangeSeries GetRangeSeries(const TPatches& patches, double proportion, char axis) {
  const TSeriesFrame frame(patches);
  TRangeSeries range;
  std::vector<double> targets;
  {
    const std::vector<TWeightedSums> all = CentroidSums<TWeightedSums>(frame);
    // The weight total of a year's centroid is its total population, summed in name order.
    targets.resize(all.size());
    for (std::size_t k = 0; k < all.size(); ++k) {
      targets[k] = all[k].w * proportion;
    }
    range.all = frame.Series(all);
  }
  const TRanking ranking = RankIndices(frame.ordered, axis);
  range.south = frame.Series(MarginSums<TWeightedSums>(frame, ranking, targets, false));
  range.north = frame.Series(MarginSums<TWeightedSums>(frame, ranking, targets, true));
  return range;
}

}  // namespace varrowin::TCentroidTools
