#include <varrowin/TCentroidTools.h>

#include "SeriesPieces.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

#include "Parallel.h"
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

// The patches in name order and the years from the first to the last year of any patch (the
// years of MakeYearList): what the series functions walk. The years are taken in spans of at most
// kSpanYears, so that the per-year working arrays of a long series stay small and are reused.
struct TSeriesFrame {
  static constexpr std::size_t kSpanYears = std::size_t{1} << 14;

  std::vector<const TPatch*> ordered;
  TYear firstYear = 0;
  std::size_t numYears = 0;

  explicit TSeriesFrame(const TPatches& patches) : ordered(PatchesInNameOrder(patches)) {
    bool found = false;
    TYear lastYear = 0;
    for (const TPatch* patch : ordered) {
      if (patch->GetNumYears() != 0) {
        firstYear = found ? std::min(firstYear, patch->GetMinYear()) : patch->GetMinYear();
        lastYear = found ? std::max(lastYear, patch->GetMaxYear()) : patch->GetMaxYear();
        found = true;
      }
    }
    if (found) {
      numYears = static_cast<std::size_t>(std::int64_t{lastYear} - firstYear + 1);
    }
  }

  // Calls visit(first, size) for the spans of years first .. first + size - 1, in year order.
  template <class F>
  void ForEachSpan(F&& visit) const {
    for (std::size_t done = 0; done < numYears; done += kSpanYears) {
      visit(static_cast<TYear>(std::int64_t{firstYear} + static_cast<std::int64_t>(done)),
            std::min(kSpanYears, numYears - done));
    }
  }
};

// The last year of the span that starts at first and holds size years.
TYear SpanLast(TYear first, std::size_t size) {
  return static_cast<TYear>(std::int64_t{first} + static_cast<std::int64_t>(size) - 1);
}

// Appends the centroids of a span's sums to the series.
template <class Sums>
void AppendCentroids(TCentroids& series, TYear first, const std::vector<Sums>& sums) {
  for (std::size_t k = 0; k < sums.size(); ++k) {
    series.SetCoords(static_cast<TYear>(std::int64_t{first} + static_cast<std::int64_t>(k)),
                     sums[k].Centroid());
  }
}

// The centroid sums of the span's years. Each patch's years are read in one sequential run and
// added to per-year sums; within every year the patches are still added in name order, so each
// sum is the one the single-year centroid takes.
template <class Sums>
void CentroidSums(const TSeriesFrame& frame, TYear first, std::size_t size,
                  std::vector<Sums>& sums) {
  sums.assign(size, Sums());
  const TYear last = SpanLast(first, size);
  for (const TPatch* patch : frame.ordered) {
    const double x = patch->GetX();
    const double y = patch->GetY();
    patch->ForEachYearIn(first, last, [&](TYear year, double value) {
      sums[static_cast<std::size_t>(std::int64_t{year} - first)].Add(x, y, value);
    });
  }
}

// The margin targets of the span's years: the year total, summed in name order as
// SumPopulations sums it, times the proportion.
void MarginTargets(const TSeriesFrame& frame, TYear first, std::size_t size, double proportion,
                   std::vector<double>& targets) {
  targets.assign(size, 0.0);
  const TYear last = SpanLast(first, size);
  for (const TPatch* patch : frame.ordered) {
    patch->ForEachYearIn(first, last, [&](TYear year, double value) {
      targets[static_cast<std::size_t>(std::int64_t{year} - first)] += value;
    });
  }
  for (double& target : targets) {
    target *= proportion;
  }
}

// rankOf[position]: the place of the patch at the position in the ranking.
std::vector<TPosition> RanksOf(const TRanking& ranking) {
  std::vector<TPosition> rankOf(ranking.size());
  for (std::size_t rank = 0; rank < ranking.size(); ++rank) {
    rankOf[ranking[rank]] = static_cast<TPosition>(rank);
  }
  return rankOf;
}

// The walk of one margin over the ranking, from its low or its high end, and the working arrays
// of a span. rankOf[position] is the place of the patch at that position in the ranking.
struct TMarginWalk {
  const TSeriesFrame& frame;
  const TRanking& ranking;
  const std::vector<TPosition>& rankOf;
  bool fromLow;
  std::vector<double> cumulated;
  std::vector<std::int64_t> lastStep;
  std::vector<double> lastShare;
  std::vector<std::size_t> open;

  // The position of the patch taken at the step.
  std::size_t At(std::size_t step) const {
    return fromLow ? ranking[step] : ranking[ranking.size() - 1 - step];
  }
  // The step that takes the patch at the position.
  std::int64_t StepOf(std::size_t position) const {
    const auto rank = static_cast<std::int64_t>(rankOf[position]);
    return fromLow ? rank : static_cast<std::int64_t>(ranking.size()) - 1 - rank;
  }

  // The margin centroid sums of the span's years, without building subpopulations. Per year they
  // are the sums that GetSubpopulation followed by the single-year centroid takes: the cumulated
  // population in walk order, the centroid of the taken shares in name order. The work runs patch
  // by patch so that each patch's years are read sequentially:
  //  1. the walk visits the patches in walk order and updates only the years whose margin is
  //     still open, recording per year the last step taken and that patch's share;
  //  2. the centroid sums take, in name order, every patch at an earlier step with its whole
  //     population and the patch at the last step with its share.
  template <class Sums>
  void Take(TYear first, const std::vector<double>& targets, std::vector<Sums>& sums) {
    const std::size_t size = targets.size();
    cumulated.resize(size);
    lastStep.resize(size);
    lastShare.resize(size);
    open.clear();
    for (std::size_t k = 0; k < size; ++k) {
      cumulated[k] = 0.0;
      lastStep[k] = -1;
      lastShare[k] = 0.0;
      if (targets[k] > 0.0) {  // the target exceeds the empty margin
        open.push_back(k);
      }
    }
    // The last step that took a share of some year: the patches after it are in no margin.
    std::int64_t lastTaken = -1;
    for (std::size_t step = 0; step < ranking.size() && !open.empty(); ++step) {
      const TPatch& patch = *frame.ordered[At(step)];
      std::size_t kept = 0;
      for (const std::size_t k : open) {
        const auto year = static_cast<TYear>(std::int64_t{first} + static_cast<std::int64_t>(k));
        if (const double* value = patch.FindYear(year)) {
          lastStep[k] = static_cast<std::int64_t>(step);
          lastTaken = static_cast<std::int64_t>(step);
          lastShare[k] = TakeShare(cumulated[k], *value, targets[k]);
        }
        if (targets[k] > cumulated[k]) {
          open[kept++] = k;
        }
      }
      open.resize(kept);
    }

    sums.assign(size, Sums());
    if (size == 0) {
      return;
    }
    const TYear last = SpanLast(first, size);
    for (std::size_t i = 0; i < ranking.size(); ++i) {
      const std::int64_t step = StepOf(i);
      if (step > lastTaken) {
        continue;  // in no year's margin
      }
      const double x = frame.ordered[i]->GetX();
      const double y = frame.ordered[i]->GetY();
      frame.ordered[i]->ForEachYearIn(first, last, [&](TYear year, double value) {
        const auto k = static_cast<std::size_t>(std::int64_t{year} - first);
        if (step < lastStep[k]) {
          sums[k].Add(x, y, value);
        } else if (step == lastStep[k]) {
          sums[k].Add(x, y, lastShare[k]);
        }
      });
    }
  }
};

template <class Sums>
TCentroids CentroidSeries(const TPatches& patches) {
  const TSeriesFrame frame(patches);
  TCentroids series;
  series.Reserve(frame.numYears);
  std::vector<Sums> sums;
  frame.ForEachSpan([&](TYear first, std::size_t size) {
    CentroidSums(frame, first, size, sums);
    AppendCentroids(series, first, sums);
  });
  return series;
}

template <class Sums>
TCentroids MarginSeries(const TPatches& patches, double proportion, char axis, bool fromLow) {
  const TSeriesFrame frame(patches);
  const TRanking ranking = RankIndices(frame.ordered, axis);
  const std::vector<TPosition> rankOf = RanksOf(ranking);
  TMarginWalk walk{frame, ranking, rankOf, fromLow, {}, {}, {}, {}};
  TCentroids series;
  series.Reserve(frame.numYears);
  std::vector<double> targets;
  std::vector<Sums> sums;
  frame.ForEachSpan([&](TYear first, std::size_t size) {
    MarginTargets(frame, first, size, proportion, targets);
    walk.Take(first, targets, sums);
    AppendCentroids(series, first, sums);
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
  const TSeriesFrame frame(patches);
  TYearList years;
  years.reserve(frame.numYears);
  for (std::size_t k = 0; k < frame.numYears; ++k) {
    years.push_back(
        static_cast<TYear>(std::int64_t{frame.firstYear} + static_cast<std::int64_t>(k)));
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

// The three centroid series of a run of consecutive years, with the working arrays it needs: one
// per thread that works on a span.
struct TRangePiece {
  TMarginWalk southWalk;
  TMarginWalk northWalk;
  std::vector<TWeightedSums> sums;
  std::vector<double> targets;

  // The centroids of the size years from first on, into all, south and north.
  void Run(TYear first, std::size_t size, double proportion, TPoint* all, TPoint* south,
           TPoint* north) {
    const TSeriesFrame& frame = southWalk.frame;
    const auto centroids = [this](TPoint* points) {
      for (std::size_t k = 0; k < sums.size(); ++k) {
        points[k] = sums[k].Centroid();
      }
    };
    CentroidSums(frame, first, size, sums);
    // The weight total of a year's centroid is its total population, summed in name order.
    targets.resize(size);
    for (std::size_t k = 0; k < size; ++k) {
      targets[k] = sums[k].w * proportion;
    }
    centroids(all);
    southWalk.Take(first, targets, sums);
    centroids(south);
    northWalk.Take(first, targets, sums);
    centroids(north);
  }
};

struct TRangeOrder::TData {
  char axis;
  std::vector<const TPatch*> ordered;
  TRanking ranking;
  std::vector<TPosition> rankOf;
};

TRangeOrder::TRangeOrder(const TPatches& patches, char axis) {
  std::vector<const TPatch*> ordered = PatchesInNameOrder(patches);
  TRanking ranking = RankIndices(ordered, axis);
  std::vector<TPosition> rankOf = RanksOf(ranking);
  data_ = std::make_unique<TData>(
      TData{axis, std::move(ordered), std::move(ranking), std::move(rankOf)});
}
TRangeOrder::TRangeOrder(TRangeOrder&&) noexcept = default;
TRangeOrder& TRangeOrder::operator=(TRangeOrder&&) noexcept = default;
TRangeOrder::~TRangeOrder() = default;

struct TRangeSpans::TState {
  // A span is cut into pieces only when each piece gets at least this many patch-years.
  static constexpr std::size_t kPieceWork = std::size_t{1} << 18;

  TSeriesFrame frame;
  TRanking ranking;
  std::vector<TPosition> rankOf;
  double proportion;
  unsigned threads;
  std::vector<TRangePiece> pieces;

  TState(const TPatches& patches, double share, char axis, unsigned threadCount,
         TRangeOrder::TData* prepared)
      : frame(patches), proportion(share), threads(std::max(threadCount, 1U)) {
    if (prepared != nullptr && prepared->axis == axis && prepared->ordered == frame.ordered) {
      ranking = std::move(prepared->ranking);
      rankOf = std::move(prepared->rankOf);
    } else {
      ranking = RankIndices(frame.ordered, axis);
      rankOf = RanksOf(ranking);
    }
    if (prepared != nullptr) {
      // Taken or not, it is of no further use: its memory goes, and it matches nothing any more.
      *prepared = TRangeOrder::TData{axis, {}, {}, {}};
    }
  }

  // The number of pieces for a span of the given number of years.
  std::size_t PiecesFor(std::size_t size) const {
    const std::size_t work = size * std::max<std::size_t>(frame.ordered.size(), 1);
    return std::max<std::size_t>(1, std::min({std::size_t{threads}, size, work / kPieceWork}));
  }

  TRangePiece& Piece(std::size_t index) {
    while (pieces.size() <= index) {
      pieces.push_back(TRangePiece{TMarginWalk{frame, ranking, rankOf, false, {}, {}, {}, {}},
                                   TMarginWalk{frame, ranking, rankOf, true, {}, {}, {}, {}},
                                   {},
                                   {}});
    }
    return pieces[index];
  }

  // The centroids of a span into all, south and north, in pieces on as many threads.
  void Span(TYear first, std::size_t size, std::vector<TPoint>& all, std::vector<TPoint>& south,
            std::vector<TPoint>& north) {
    const TPoint none(0.0, 0.0);
    all.resize(size, none);
    south.resize(size, none);
    north.resize(size, none);
    const std::size_t count = PiecesFor(size);
    for (std::size_t p = 0; p < count; ++p) {
      Piece(p);
    }
    RunPartsRethrowing(count, [&](std::size_t p) {
      const std::size_t from = size * p / count;
      const std::size_t to = size * (p + 1) / count;
      pieces[p].Run(static_cast<TYear>(std::int64_t{first} + static_cast<std::int64_t>(from)),
                    to - from, proportion, all.data() + from, south.data() + from,
                    north.data() + from);
    });
  }
};

TRangeSpans::TRangeSpans(const TPatches& patches, double proportion, char axis, unsigned threads,
                         TRangeOrder* prepared)
    : state_(std::make_unique<TState>(patches, proportion, axis, threads,
                                      prepared != nullptr ? prepared->data_.get() : nullptr)) {}
TRangeSpans::TRangeSpans(TRangeSpans&&) noexcept = default;
TRangeSpans& TRangeSpans::operator=(TRangeSpans&&) noexcept = default;
TRangeSpans::~TRangeSpans() = default;

TYear TRangeSpans::FirstYear() const {
  return state_->frame.firstYear;
}

std::size_t TRangeSpans::NumYears() const {
  return state_->frame.numYears;
}

void TRangeSpans::SetThreads(unsigned threads) {
  state_->threads = std::max(threads, 1U);
}

void TRangeSpans::ForEach(const TVisit& visit) {
  TState& s = *state_;
  std::vector<TPoint> all;
  std::vector<TPoint> south;
  std::vector<TPoint> north;
  s.frame.ForEachSpan([&](TYear first, std::size_t size) {
    s.Span(first, size, all, south, north);
    visit(first, all, south, north);
  });
}

TRangeSeries GetRangeSeries(const TPatches& patches, double proportion, char axis) {
  TRangeSpans spans(patches, proportion, axis);
  TRangeSeries range;
  range.all.Reserve(spans.NumYears());
  range.south.Reserve(spans.NumYears());
  range.north.Reserve(spans.NumYears());
  spans.ForEach([&range](TYear first, std::vector<TPoint>& all, std::vector<TPoint>& south,
                         std::vector<TPoint>& north) {
    for (std::size_t k = 0; k < all.size(); ++k) {
      const auto year = static_cast<TYear>(std::int64_t{first} + static_cast<std::int64_t>(k));
      range.all.SetCoords(year, all[k]);
      range.south.SetCoords(year, south[k]);
      range.north.SetCoords(year, north[k]);
    }
  });
  return range;
}

}  // namespace varrowin::TCentroidTools
