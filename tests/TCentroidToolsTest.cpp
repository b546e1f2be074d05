// Patch cleaning, yearly centroids and margin subpopulations.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <varrowin/TCentroidTools.h>
#include <varrowin/TPatches.h>
#include "SeriesPieces.h"
#include "TestSupport.h"

namespace varrowin {
namespace {

namespace tools = TCentroidTools;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

using test::Collection;
using test::MakePatch;
using test::SameBits;

// ---- Patch cleaning ----

struct TCleanCase {
  std::vector<double> values;
  std::int32_t n;
  bool kept;
};

class CleanPatchesTest : public ::testing::TestWithParam<TCleanCase> {};

TEST_P(CleanPatchesTest, KeepsPatchWithRunOfNonzeroEntries) {
  const TCleanCase& c = GetParam();
  TPatches source = Collection({MakePatch("P", 1, 2, 2000, c.values)});
  source.SetResolution(2.5);
  const TPatches copied = tools::CleanPatches(source, c.n);
  EXPECT_EQ(copied.PatchExists("P"), c.kept);
  EXPECT_EQ(copied.GetNumPatches(), c.kept ? 1 : 0);
  EXPECT_EQ(copied.GetResolution(), 2.5);
  EXPECT_EQ(source.GetNumPatches(), 1);

  const TPatches moved = tools::CleanPatches(std::move(source), c.n);
  EXPECT_EQ(moved.PatchExists("P"), c.kept);
  EXPECT_EQ(moved.GetResolution(), 2.5);
  if (c.kept) {
    EXPECT_EQ(moved.GetPatch("P").GetYearList(), copied.GetPatch("P").GetYearList());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, CleanPatchesTest,
    ::testing::Values(TCleanCase{{0, 5, 5, 0, 5, 5}, 1, true},
                      TCleanCase{{0, 5, 5, 0, 5, 5}, 2, true},
                      TCleanCase{{0, 5, 5, 0, 5, 5}, 3, false},
                      TCleanCase{{0, 5, 5, 0, 5, 5}, 0, true}, TCleanCase{{}, 0, true},
                      TCleanCase{{}, 1, false}, TCleanCase{{0, 0, 0}, 1, false},
                      TCleanCase{{0, 0, 7}, 1, true}, TCleanCase{{-1, -1}, 2, true},
                      TCleanCase{{kNaN, 3, kNaN}, 3, true}, TCleanCase{{1, 2, 3}, 3, true},
                      TCleanCase{{1, 2, 3}, 4, false}, TCleanCase{{1, 2, 3}, -1, false},
                      TCleanCase{{4, 0, 4, 4, 0}, 2, true}, TCleanCase{{4, 0, 4, 0, 4}, 2, false}),
    [](const auto& info) {
      return test::CaseName(std::to_string(info.index) + " run of " + std::to_string(info.param.n) +
                            (info.param.kept ? " kept" : " dropped"));
    });

TEST(CleanPatchesTest, RunsFollowTheYearListNotTheCalendar) {
  // 2000 and 2005 are adjacent year entries.
  TPatch patch("P", 0, 0);
  patch.SetYear(2000, 1);
  patch.SetYear(2005, 1);
  EXPECT_EQ(tools::CleanPatches(Collection({patch}), 2).GetNumPatches(), 1);
}

TEST(CleanPatchesTest, ResultIsIndependentAndKeepsNameOrder) {
  const TPatches source =
      Collection({MakePatch("b", 1, 2, 2000, {1, 2}), MakePatch("a", 3, 4, 2000, {0, 0}),
                  MakePatch("c", 5, 6, 1999, {3, 0, 4})});
  TPatches result = tools::CleanPatches(source, 1);
  EXPECT_EQ(result.GetNames(), (std::vector<std::string>{"b", "c"}));
  EXPECT_EQ(result.GetResolution(), 1.0);
  EXPECT_EQ(result.GetPatch("c").GetYear(2001), 4);
  result.GetPatch("b").SetYear(2000, 99);
  EXPECT_EQ(source.GetPatch("b").GetYear(2000), 1);
  EXPECT_EQ(source.GetNumPatches(), 3);
}

// ---- Yearly centroids ----

TEST(MakeYearListTest, SpansAllPatchesInEitherNameOrder) {
  for (const auto& [first, second] : {std::pair{"a", "b"}, std::pair{"b", "a"}}) {
    const TPatches patches = Collection({MakePatch(first, 0, 0, 1990, std::vector<double>(11, 1)),
                                         MakePatch(second, 0, 0, 1985, std::vector<double>(26, 1)),
                                         TPatch("empty", 0, 0)});
    const TYearList years = tools::MakeYearList(patches);
    ASSERT_EQ(years.size(), 26U);
    EXPECT_EQ(years.front(), 1985);
    EXPECT_EQ(years.back(), 2010);
  }
  EXPECT_TRUE(tools::MakeYearList(TPatches()).empty());
  EXPECT_TRUE(tools::MakeYearList(Collection({TPatch("empty", 0, 0)})).empty());
}

TEST(YearlyCentroidsTest, WeightsZeroNegativeAndMissingPopulations) {
  TPatch missing("d", 100, 100);
  missing.SetYear(1999, 50);
  const TPatches patches =
      Collection({MakePatch("a", 0, 0, 2000, {1}), MakePatch("b", 10, 0, 2000, {3}),
                  MakePatch("c", 50, 50, 2000, {0}), missing});
  EXPECT_EQ(tools::SumPopulations(patches, 2000), 4);
  const TPoint weighted = tools::WeightedMeans(patches, 2000);
  EXPECT_EQ(weighted.X(), 7.5);
  EXPECT_EQ(weighted.Y(), 0);
  const TPoint plain = tools::Means(patches, 2000);
  EXPECT_EQ(plain.X(), 5);
  EXPECT_EQ(plain.Y(), 0);

  const TPatches negative =
      Collection({MakePatch("a", 0, 0, 2000, {4}), MakePatch("b", 10, 2, 2000, {-2})});
  EXPECT_EQ(tools::SumPopulations(negative, 2000), 2);
  EXPECT_EQ(tools::WeightedMeans(negative, 2000).X(), -10);
  EXPECT_EQ(tools::WeightedMeans(negative, 2000).Y(), -2);
  EXPECT_EQ(tools::Means(negative, 2000).X(), 0);
}

TEST(YearlyCentroidsTest, SeriesCoversEveryYearWithNaNInGaps) {
  TPatch gap("a", 2, 6);
  gap.SetYear(2000, 1);
  gap.SetYear(2002, 1);
  const TPatches patches = Collection({gap});
  EXPECT_EQ(tools::SumPopulations(patches, 2001), 0);
  for (const TCentroids& series : {tools::WeightedMeans(patches), tools::Means(patches)}) {
    EXPECT_EQ(series.GetName(), "");
    EXPECT_EQ(series.GetYearList(), (TYearList{2000, 2001, 2002}));
    EXPECT_EQ(series.GetCoords(2002).X(), 2);
    EXPECT_TRUE(std::isnan(series.GetCoords(2001).X()));
    EXPECT_TRUE(std::isnan(series.GetCoords(2001).Y()));
  }
  EXPECT_EQ(tools::WeightedMeans(TPatches()).GetNumYears(), 0U);
}

// ---- Margin subpopulations ----

// P1..P4 at Y 0..3 (X 10..13), populations 10, 20, 30, 40 in 2000.
TPatches FourPatches(bool withP2 = true) {
  const std::vector<std::string> names{"P1", "P2", "P3", "P4"};
  std::vector<TPatch> patches;
  for (int i = 0; i < 4; ++i) {
    const auto& name = names[static_cast<std::size_t>(i)];
    if (i == 1 && !withP2) {
      patches.emplace_back(name, 11, 1);
      continue;
    }
    patches.push_back(MakePatch(name, 10 + i, i, 2000, {10.0 * (i + 1)}));
  }
  return Collection(std::move(patches));
}

std::vector<std::pair<std::string, double>> Contents(const TPatches& patches, TYear year) {
  std::vector<std::pair<std::string, double>> contents;
  for (const auto& [name, patch] : patches) {
    EXPECT_EQ(patch.GetYearList(), TYearList{year});
    contents.emplace_back(name, patch.GetYear(year));
  }
  return contents;
}

using TContents = std::vector<std::pair<std::string, double>>;

TEST(MarginTest, FourPatchExample) {
  const TPatches patches = FourPatches();
  const auto ranking = tools::SortOnOrdinate(patches, 'Y');
  EXPECT_EQ(ranking, (std::vector<std::string>{"P1", "P2", "P3", "P4"}));

  const TPatches low = tools::GetSubpopulation(patches, ranking, 0.25, 2000, true);
  EXPECT_EQ(Contents(low, 2000), (TContents{{"P1", 10}, {"P2", 15}}));
  EXPECT_EQ(low.GetResolution(), 1.0);
  EXPECT_EQ(low.GetPatch("P2").GetX(), 11);
  EXPECT_DOUBLE_EQ(tools::WeightedMeans(low, 2000).Y(), 0.6);
  EXPECT_EQ(tools::Means(low, 2000).Y(), 0.5);

  const TPatches high = tools::GetSubpopulation(patches, ranking, 0.25, 2000, false);
  EXPECT_EQ(Contents(high, 2000), (TContents{{"P4", 25}}));

  // The cumulated 30 equals the target after P2: P3 is not taken.
  const TPatches exact = tools::GetSubpopulation(patches, ranking, 0.3, 2000, true);
  EXPECT_EQ(Contents(exact, 2000), (TContents{{"P1", 10}, {"P2", 20}}));

  // Series: 0.6 from the low end, 3 from the high end.
  const TCentroids lowSeries = tools::GetSubpopulationWeightedMeans(patches, 0.25, 'Y', true);
  EXPECT_EQ(lowSeries.GetYearList(), TYearList{2000});
  EXPECT_DOUBLE_EQ(lowSeries.GetCoords(2000).Y(), 0.6);
  EXPECT_EQ(tools::GetSubpopulationWeightedMeans(patches, 0.25, 'Y', false).GetCoords(2000).Y(), 3);
  EXPECT_EQ(tools::GetSubpopulationMeans(patches, 0.25, 'Y', true).GetCoords(2000).Y(), 0.5);
  EXPECT_EQ(tools::GetSubpopulationMeans(patches, 0.25, 'Y', true).GetCoords(2000).X(), 10.5);
  EXPECT_EQ(patches.GetPatch("P2").GetYear(2000), 20);
}

TEST(MarginTest, PatchWithoutTheYearIsPassedOver) {
  const TPatches patches = FourPatches(false);
  const auto ranking = tools::SortOnOrdinate(patches, 'Y');
  const TPatches low = tools::GetSubpopulation(patches, ranking, 0.25, 2000, true);
  EXPECT_EQ(Contents(low, 2000), (TContents{{"P1", 10}, {"P3", 10}}));
}

TEST(MarginTest, AxisSelection) {
  // X descends where Y ascends.
  const TPatches patches =
      Collection({MakePatch("a", 3, 0, 2000, {1}), MakePatch("b", 2, 1, 2000, {1}),
                  MakePatch("c", 1, 2, 2000, {1})});
  const std::vector<std::string> byY{"a", "b", "c"};
  const std::vector<std::string> byX{"c", "b", "a"};
  EXPECT_EQ(tools::SortOnOrdinate(patches, 'X'), byX);
  EXPECT_EQ(tools::SortOnOrdinate(patches, 'Y'), byY);
  EXPECT_EQ(tools::SortOnOrdinate(patches, 'x'), byY);
  EXPECT_EQ(tools::SortOnOrdinate(patches, '\0'), byY);
  EXPECT_TRUE(tools::SortOnOrdinate(TPatches(), 'X').empty());
}

TEST(MarginTest, TiesFollowTheSelectionProcedure) {
  const TPatches patches =
      Collection({MakePatch("P1", 0, 1, 2000, {5}), MakePatch("P2", 0, 1, 2000, {5}),
                  MakePatch("P3", 0, 0, 2000, {5})});
  const auto ranking = tools::SortOnOrdinate(patches, 'Y');
  EXPECT_EQ(ranking, (std::vector<std::string>{"P3", "P2", "P1"}));
  const TPatches high = tools::GetSubpopulation(patches, ranking, 0.1, 2000, false);
  EXPECT_EQ(Contents(high, 2000), (TContents{{"P1", 1.5}}));
}

TEST(MarginTest, NoTargetGivesEmptySubpopulationAndNaN) {
  const TPatches patches = FourPatches();
  const auto ranking = tools::SortOnOrdinate(patches, 'Y');
  for (const double proportion : {0.0, -0.5, kNaN}) {
    EXPECT_EQ(tools::GetSubpopulation(patches, ranking, proportion, 2000, true).GetNumPatches(), 0);
    const TPoint p =
        tools::GetSubpopulationWeightedMeans(patches, proportion, 'Y', true).GetCoords(2000);
    EXPECT_TRUE(std::isnan(p.X()));
    EXPECT_TRUE(std::isnan(p.Y()));
  }
  const TPatches zero =
      Collection({MakePatch("a", 0, 0, 2000, {0}), MakePatch("b", 1, 1, 2000, {0})});
  EXPECT_EQ(tools::GetSubpopulation(zero, {"a", "b"}, 0.5, 2000, true).GetNumPatches(), 0);
  EXPECT_TRUE(std::isnan(tools::GetSubpopulationMeans(zero, 0.5, 'Y', true).GetCoords(2000).X()));
}

TEST(MarginTest, ProportionAboveOneStopsAtTheEnd) {
  const TPatches patches = FourPatches();
  const auto ranking = tools::SortOnOrdinate(patches, 'Y');
  for (const bool fromLow : {true, false}) {
    const TPatches all = tools::GetSubpopulation(patches, ranking, 1.5, 2000, fromLow);
    EXPECT_EQ(Contents(all, 2000), (TContents{{"P1", 10}, {"P2", 20}, {"P3", 30}, {"P4", 40}}));
    EXPECT_EQ(tools::GetSubpopulationWeightedMeans(patches, 1.5, 'Y', fromLow).GetCoords(2000).Y(),
              2);
  }
}

TEST(MarginTest, UnknownRankedNameFailsWhenReached) {
  const TPatches patches = FourPatches();
  test::ExpectError(
      [&] {
        tools::GetSubpopulation(patches, {"P1", "nope", "P4"}, 0.5, 2000, true);
      },
      "Patch does not exist");
  // Not reached: the walk ends at P4 from the high end.
  EXPECT_EQ(
      tools::GetSubpopulation(patches, {"P1", "nope", "P4"}, 0.25, 2000, false).GetNumPatches(), 1);
}

// ---- Randomized equivalence ----

// The ranking procedure exactly as written: selection by strict comparison from name order.
std::vector<std::string> LiteralSortOnOrdinate(const TPatches& patches, char axis) {
  std::vector<std::string> names = patches.GetNames();
  std::vector<double> keys;
  for (const auto& name : names) {
    const TPatch& patch = patches.GetPatch(name);
    keys.push_back(axis == 'X' ? patch.GetX() : patch.GetY());
  }
  for (std::size_t i = 0; i + 1 < names.size(); ++i) {
    std::size_t candidate = i;
    double candidateKey = keys[i];
    for (std::size_t j = i + 1; j < names.size(); ++j) {
      if (keys[j] < candidateKey) {
        candidate = j;
        candidateKey = keys[j];
      }
    }
    std::swap(keys[i], keys[candidate]);
    std::swap(names[i], names[candidate]);
  }
  return names;
}

// Random collection on a coarse grid: heavy ties, NaN, -0.0 and 0.0 coordinates, missing years,
// zero and negative populations, patches starting in different years within the span.
TPatches RandomCollection(std::mt19937& rng, int count, bool oddKeys, TYear span = 6) {
  const std::vector<double> oddValues{kNaN, -0.0, 0.0, 1.0, -1.0};
  std::uniform_int_distribution<int> grid(0, 4);
  std::uniform_int_distribution<int> odd(0, 9);
  std::uniform_int_distribution<int> letter(0, 3);
  std::uniform_int_distribution<int> population(-2, 30);
  std::uniform_int_distribution<int> presence(0, 5);
  std::uniform_int_distribution<TYear> start(2000, 2000 + span / 3);
  auto coordinate = [&]() {
    if (oddKeys && odd(rng) < 4) {
      return oddValues[static_cast<std::size_t>(grid(rng))];
    }
    return 0.5 * grid(rng);
  };
  TPatches patches;
  for (int i = 0; i < count; ++i) {
    std::string name;
    for (int k = 0; k < 3; ++k) {
      name += static_cast<char>('a' + letter(rng));
    }
    TPatch patch(name + std::to_string(i % 7), coordinate(), coordinate());
    for (TYear year = start(rng); year < 2000 + span; ++year) {
      if (presence(rng) != 0) {
        const int p = population(rng);
        patch.SetYear(year, p < 0 && p != -2 ? 0.0 : p * 1.1);
      }
    }
    patches.AddPatch(std::move(patch));
  }
  return patches;
}

TEST(RandomizedTest, RankingMatchesSelectionProcedure) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 400; ++round) {
    const TPatches patches = RandomCollection(rng, 1 + round % 40, round % 2 == 0);
    for (const char axis : {'X', 'Y'}) {
      ASSERT_EQ(tools::SortOnOrdinate(patches, axis), LiteralSortOnOrdinate(patches, axis))
          << "round " << round << " axis " << axis;
    }
  }
}

// Large rankings with few distinct keys: long runs of equal keys exercise the order among ties
// far beyond the small collections above; NaN, -0.0 and 0.0 are mixed in. Names are added in a
// shuffled order, so name order is not the addition order.
TEST(RandomizedTest, LargeRankingsWithHeavyTiesMatchSelectionProcedure) {
  std::mt19937 rng(2024);
  for (const int count : {257, 1500, 3000}) {
    for (const int distinct : {1, 3, 40}) {
      std::uniform_int_distribution<int> key(0, distinct - 1);
      std::uniform_int_distribution<int> odd(0, 19);
      std::vector<int> ids(static_cast<std::size_t>(count));
      for (int i = 0; i < count; ++i) {
        ids[static_cast<std::size_t>(i)] = i;
      }
      std::shuffle(ids.begin(), ids.end(), rng);
      TPatches patches;
      for (const int id : ids) {
        const int roll = odd(rng);
        const double x = roll == 0 ? kNaN : roll == 1 ? -0.0 : roll == 2 ? 0.0 : key(rng) - 1.0;
        std::string name = "p";
        name += std::to_string(id);
        patches.AddPatch(TPatch(name, x, -x));
      }
      for (const char axis : {'X', 'Y'}) {
        ASSERT_EQ(tools::SortOnOrdinate(patches, axis), LiteralSortOnOrdinate(patches, axis))
            << count << " patches, " << distinct << " keys, axis " << axis;
      }
    }
  }
}

// Keys over the whole range of doubles: both signs, infinities, subnormals, both zeros, NaN, and
// neighbours that differ in the last bit only, each drawn from a small pool so that ties stay
// common. Every byte of a key's bits takes part in its order.
TEST(RandomizedTest, RankingOverAllKindsOfKeysMatchesSelectionProcedure) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  constexpr double kTiny = std::numeric_limits<double>::denorm_min();
  const std::vector<double> pool{kNaN,
                                 -kInf,
                                 kInf,
                                 -0.0,
                                 0.0,
                                 kTiny,
                                 -kTiny,
                                 3 * kTiny,
                                 1e-310,
                                 -1e308,
                                 1e308,
                                 1.0,
                                 std::nextafter(1.0, 2.0),
                                 std::nextafter(1.0, 0.0),
                                 -1.0,
                                 -std::nextafter(1.0, 2.0),
                                 1200.0,
                                 1202.5,
                                 -1202.5,
                                 0.1,
                                 0.30000000000000004};
  std::mt19937 rng(515);
  for (int round = 0; round < 200; ++round) {
    const std::size_t poolSize = 2 + static_cast<std::size_t>(round) % (pool.size() - 1);
    std::uniform_int_distribution<std::size_t> pick(0, poolSize - 1);
    std::uniform_int_distribution<int> id(0, 999);
    TPatches patches;
    const int count = 1 + round % 50;
    for (int i = 0; i < count; ++i) {
      std::string name = "q";
      name += std::to_string(id(rng));
      patches.AddPatch(TPatch(name, pool[pick(rng)], pool[pick(rng)]));
    }
    for (const char axis : {'X', 'Y'}) {
      ASSERT_EQ(tools::SortOnOrdinate(patches, axis), LiteralSortOnOrdinate(patches, axis))
          << "round " << round << " axis " << axis;
    }
  }
}

void ExpectSamePoint(const TPoint& fast, const TPoint& slow, const std::string& where) {
  EXPECT_TRUE(SameBits(fast.X(), slow.X())) << where << ": " << fast.X() << " vs " << slow.X();
  EXPECT_TRUE(SameBits(fast.Y(), slow.Y())) << where << ": " << fast.Y() << " vs " << slow.Y();
}

TEST(RandomizedTest, MarginSeriesMatchSubpopulationCentroids) {
  std::mt19937 rng(777);
  for (int round = 0; round < 150; ++round) {
    const TPatches patches =
        RandomCollection(rng, 1 + round % 60, round % 3 == 0, round % 4 == 0 ? 70 : 6);
    const char axis = round % 2 == 0 ? 'X' : 'Y';
    const auto ranking = LiteralSortOnOrdinate(patches, axis);
    const TYearList years = tools::MakeYearList(patches);
    for (const double proportion : {0.0, 0.1, 0.5, 1.0, 1.5}) {
      for (const bool fromLow : {true, false}) {
        const TCentroids weighted =
            tools::GetSubpopulationWeightedMeans(patches, proportion, axis, fromLow);
        const TCentroids plain = tools::GetSubpopulationMeans(patches, proportion, axis, fromLow);
        ASSERT_EQ(weighted.GetYearList(), years);
        ASSERT_EQ(plain.GetYearList(), years);
        for (const TYear year : years) {
          const TPatches sub = tools::GetSubpopulation(patches, ranking, proportion, year, fromLow);
          const std::string where = "round " + std::to_string(round) + " year " +
                                    std::to_string(year) + " p " + std::to_string(proportion);
          ExpectSamePoint(weighted.GetCoords(year), tools::WeightedMeans(sub, year), where);
          ExpectSamePoint(plain.GetCoords(year), tools::Means(sub, year), where);
        }
      }
    }
    // The all-patch series agree with their single-year centroids.
    const TCentroids all = tools::WeightedMeans(patches);
    const TCentroids allPlain = tools::Means(patches);
    for (const TYear year : years) {
      ExpectSamePoint(all.GetCoords(year), tools::WeightedMeans(patches, year), "all");
      ExpectSamePoint(allPlain.GetCoords(year), tools::Means(patches, year), "all plain");
    }
  }
}

TEST(RandomizedTest, RangeSeriesMatchTheSeparateCalls) {
  std::mt19937 rng(4242);
  const auto same = [](const TCentroids& fast, const TCentroids& slow, const std::string& where) {
    ASSERT_EQ(fast.GetYearList(), slow.GetYearList()) << where;
    for (const TYear year : slow.GetYearList()) {
      ExpectSamePoint(fast.GetCoords(year), slow.GetCoords(year), where);
    }
  };
  for (int round = 0; round < 120; ++round) {
    const TPatches patches =
        RandomCollection(rng, round % 50, round % 3 == 0, round % 4 == 0 ? 70 : 6);
    const char axis = round % 2 == 0 ? 'X' : 'x';
    for (const double proportion : {0.0, 0.1, 0.5, 1.0, 1.5}) {
      const tools::TRangeSeries range = tools::GetRangeSeries(patches, proportion, axis);
      const std::string where = "round " + std::to_string(round);
      same(range.south, tools::GetSubpopulationWeightedMeans(patches, proportion, axis, false),
           where + " south");
      same(range.north, tools::GetSubpopulationWeightedMeans(patches, proportion, axis, true),
           where + " north");
      same(range.all, tools::WeightedMeans(patches), where + " all");
    }
  }
}

// Series longer than the spans of years the series functions work in (16,384 years): patches that
// start, end or have gaps next to the span borders, one held sparsely, and margins that close at
// different steps in different spans. Every year is checked against the single-year procedure.
TEST(RandomizedTest, LongSeriesAcrossSpansMatchSingleYears) {
  std::mt19937 rng(99);
  std::uniform_int_distribution<int> population(0, 40);
  constexpr TYear kFirst = 1000;
  constexpr TYear kLast = kFirst + 40000;
  const std::vector<std::pair<TYear, TYear>> runs{{kFirst, kLast},
                                                  {kFirst + 16383, kFirst + 32768},
                                                  {kFirst + 5, kFirst + 16384},
                                                  {kFirst + 32767, kLast - 3}};
  TPatches patches;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    std::string name = "r";
    name += std::to_string(i);
    TPatch patch(name, static_cast<double>(i), 3.0 - static_cast<double>(i));
    for (TYear year = runs[i].first; year <= runs[i].second; ++year) {
      patch.SetYear(year, population(rng) * 0.7);
    }
    patches.AddPatch(std::move(patch));
  }
  TPatch sparse("s", 1.5, 0.5);  // every 97th year, and the years around the span borders
  for (TYear year = kLast; year >= kFirst; year -= 97) {
    sparse.SetYear(year, population(rng) * 1.3);
  }
  for (const TYear border : {kFirst + 16383, kFirst + 16384, kFirst + 32767, kFirst + 32768}) {
    sparse.SetYear(border, 25.0);
  }
  patches.AddPatch(std::move(sparse));

  const TYearList years = tools::MakeYearList(patches);
  ASSERT_EQ(years.size(), static_cast<std::size_t>(kLast - kFirst + 1));
  for (const char axis : {'X', 'Y'}) {
    const auto ranking = LiteralSortOnOrdinate(patches, axis);
    const tools::TRangeSeries range = tools::GetRangeSeries(patches, 0.3, axis);
    const TCentroids all = tools::WeightedMeans(patches);
    const TCentroids plainNorth = tools::GetSubpopulationMeans(patches, 0.3, axis, true);
    ASSERT_EQ(range.all.GetYearList(), years);
    ASSERT_EQ(range.north.GetYearList(), years);
    ASSERT_EQ(range.south.GetYearList(), years);
    ASSERT_EQ(plainNorth.GetYearList(), years);
    for (const TYear year : years) {
      const std::string where = std::string(1, axis) + " year " + std::to_string(year);
      const TPatches north = tools::GetSubpopulation(patches, ranking, 0.3, year, true);
      const TPatches south = tools::GetSubpopulation(patches, ranking, 0.3, year, false);
      ExpectSamePoint(range.north.GetCoords(year), tools::WeightedMeans(north, year), where);
      ExpectSamePoint(range.south.GetCoords(year), tools::WeightedMeans(south, year), where);
      ExpectSamePoint(range.all.GetCoords(year), tools::WeightedMeans(patches, year), where);
      ExpectSamePoint(all.GetCoords(year), tools::WeightedMeans(patches, year), where);
      ExpectSamePoint(plainNorth.GetCoords(year), tools::Means(north, year), where);
      if (::testing::Test::HasFailure()) {
        return;
      }
    }
  }
}

// Every point of a series made span by span with the given number of threads, with the first
// year each span reported, as bits.
std::vector<std::uint64_t> SpanPoints(const TPatches& patches, double proportion, char axis,
                                      unsigned threads, tools::TRangeOrder* prepared = nullptr) {
  tools::TRangeSpans spans(patches, proportion, axis, threads, prepared);
  std::vector<std::uint64_t> bits;
  spans.ForEach([&bits](TYear first, std::vector<TPoint>& all, std::vector<TPoint>& south,
                        std::vector<TPoint>& north) {
    bits.push_back(static_cast<std::uint64_t>(first));
    for (const std::vector<TPoint>* points : {&all, &south, &north}) {
      for (const TPoint& point : *points) {
        bits.push_back(std::bit_cast<std::uint64_t>(point.X()));
        bits.push_back(std::bit_cast<std::uint64_t>(point.Y()));
      }
    }
    all.clear();  // the visitor may take or change the points
    south.clear();
  });
  return bits;
}

// Spans cut into pieces of years for several threads give the points of one thread, bit for bit:
// many patches over a few hundred years, and a few dozen over more years than a span, with gaps,
// patches held sparsely, zero and negative populations, -0.0 and a not-a-number coordinate.
TEST(RandomizedTest, RangeSpansGiveTheSamePointsOnAnyThreadCount) {
  std::mt19937 rng(2026);
  std::uniform_int_distribution<int> population(-2, 40);
  std::uniform_int_distribution<int> coordinate(-50, 50);
  const auto make = [&](int count, TYear first, TYear last) {
    TPatches patches;
    for (int i = 0; i < count; ++i) {
      std::string name = "p";
      name += std::to_string(i * 7919 % count);
      TPatch patch(name, coordinate(rng) * 0.5, i % 11 == 0 ? -0.0 : coordinate(rng) * 0.25);
      if (i == 3) {
        patch = TPatch("nan", std::nan(""), 1.0);
      }
      const TYear start = first + static_cast<TYear>(i % 5 == 0 ? i : 0);
      const TYear step = i % 13 == 0 ? 37 : 1;  // sparse, and held as a map when it skips
      for (TYear year = start; year <= last - static_cast<TYear>(i % 3); year += step) {
        patch.SetYear(year, i % 17 == 0 && year % 7 == 0 ? 0.0 : population(rng) * 0.7);
      }
      patches.AddPatch(std::move(patch));
    }
    return patches;
  };
  const TPatches wide = make(3000, 1900, 2150);
  const TPatches long_ = make(70, 1000, 1000 + 40000);
  for (const TPatches* patches : {&wide, &long_}) {
    for (const char axis : {'X', 'Y'}) {
      for (const double proportion : {0.1, 0.5}) {
        const std::vector<std::uint64_t> single = SpanPoints(*patches, proportion, axis, 1);
        ASSERT_GT(single.size(), 1000U);
        for (const unsigned threads : {2U, 3U, 8U}) {
          EXPECT_TRUE(SpanPoints(*patches, proportion, axis, threads) == single)
              << patches->GetNumPatches() << " patches, " << axis << ", " << proportion << ", "
              << threads << " threads";
        }
      }
    }
  }
}

// An order prepared for the patches and the axis is taken over and gives the same points; one
// prepared for the other axis, for other patches (with one patch elsewhere on the axis), or
// already taken is not used.
TEST(RandomizedTest, PreparedRangeOrderIsTakenOnlyForItsPatchesAndAxis) {
  const auto make = [](double lastY) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> value(0, 30);
    TPatches patches;
    for (int i = 0; i < 400; ++i) {
      std::string name = "q";
      name += std::to_string(i);
      TPatch patch(name, value(rng) * 0.5, i == 399 ? lastY : value(rng) * 0.25);
      for (TYear year = 2000; year < 2040; ++year) {
        patch.SetYear(year, value(rng));
      }
      patches.AddPatch(std::move(patch));
    }
    return patches;
  };
  const TPatches patches = make(-100.0);
  const TPatches other = make(100.0);
  const std::vector<std::uint64_t> expected = SpanPoints(patches, 0.3, 'Y', 1);
  const std::vector<std::uint64_t> otherExpected = SpanPoints(other, 0.3, 'Y', 1);
  ASSERT_NE(expected, otherExpected);

  tools::TRangeOrder order(patches, 'Y');
  EXPECT_EQ(SpanPoints(patches, 0.3, 'Y', 2, &order), expected);
  EXPECT_EQ(SpanPoints(patches, 0.3, 'Y', 1, &order), expected);  // taken already
  tools::TRangeOrder forX(patches, 'X');
  EXPECT_EQ(SpanPoints(patches, 0.3, 'Y', 1, &forX), expected);
  tools::TRangeOrder forOthers(patches, 'Y');
  EXPECT_EQ(SpanPoints(other, 0.3, 'Y', 1, &forOthers), otherExpected);
}

}  // namespace
}  // namespace varrowin
