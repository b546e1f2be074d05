#include <varrowin/TPatch.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace varrowin {
namespace {

constexpr TYear kMinYear = std::numeric_limits<TYear>::min();
constexpr TYear kMaxYear = std::numeric_limits<TYear>::max();

using TSettings = std::vector<std::pair<TYear, double>>;
using TModel = std::map<TYear, double>;

void ExpectMissing(const TPatch& patch, TYear year) {
  EXPECT_FALSE(patch.HasYear(year)) << year;
  EXPECT_EQ(patch.FindYear(year), nullptr) << year;
  try {
    patch.GetYear(year);
    ADD_FAILURE() << "year " << year << " found";
  } catch (const TError& e) {
    EXPECT_STREQ(e.what(), "Year does not exist");
  }
}

// Checks every observable part of the patch's years against a plain ordered map, including the
// years around each stored year.
void ExpectYears(const TPatch& patch, const TModel& model) {
  TYearList years;
  for (const auto& entry : model) {
    years.push_back(entry.first);
  }
  EXPECT_EQ(patch.GetYearList(), years);
  EXPECT_EQ(patch.GetNumYears(), model.size());
  EXPECT_EQ(patch.GetMinYear(), model.empty() ? TPatch::kNoFirstYear : model.begin()->first);
  EXPECT_EQ(patch.GetMaxYear(), model.empty() ? TPatch::kNoLastYear : model.rbegin()->first);
  TSettings walked;
  patch.ForEachYear([&walked](TYear year, double value) { walked.emplace_back(year, value); });
  EXPECT_EQ(walked, TSettings(model.begin(), model.end()));
  for (const auto& [year, value] : model) {
    for (std::int64_t probe = std::int64_t{year} - 2; probe <= std::int64_t{year} + 2; ++probe) {
      if (probe < kMinYear || probe > kMaxYear) {
        continue;
      }
      const auto y = static_cast<TYear>(probe);
      const auto it = model.find(y);
      if (it == model.end()) {
        ExpectMissing(patch, y);
      } else {
        EXPECT_TRUE(patch.HasYear(y));
        EXPECT_EQ(patch.GetYear(y), it->second) << y;
        ASSERT_NE(patch.FindYear(y), nullptr);
        EXPECT_EQ(*patch.FindYear(y), it->second);
      }
    }
  }
}

TEST(TPatchTest, NewPatchHasNoYears) {
  const TPatch patch("p1", 3.5, -2);
  ExpectYears(patch, {});
  EXPECT_EQ(patch.GetMinYear(), 99999999);
  EXPECT_EQ(patch.GetMaxYear(), 0);
  for (const TYear year : {0, 1, -1, 2000, kMinYear, kMaxYear}) {
    ExpectMissing(patch, year);
  }
}

// ---- The same years give the same patch, however they were set ----

struct TSetCase {
  std::string label;
  TSettings settings;
};

class TPatchSettingTest : public ::testing::TestWithParam<TSetCase> {};

TEST_P(TPatchSettingTest, BehavesLikeAnOrderedMap) {
  TPatch patch("p", 1, 2);
  TModel model;
  for (const auto& [year, value] : GetParam().settings) {
    patch.SetYear(year, value);
    model.insert_or_assign(year, value);
    SCOPED_TRACE("after setting " + std::to_string(year));
    ExpectYears(patch, model);
  }
  // Clones and deep clones reproduce the years whatever the storage of source and target.
  ExpectYears(patch.Clone(), model);
  TPatch target = patch.ShallowClone();
  ExpectYears(target, {});
  EXPECT_EQ(target.GetX(), 1);
  EXPECT_EQ(target.GetY(), 2);
  patch.DeepClone(target);
  ExpectYears(target, model);
  EXPECT_EQ(target.GetName(), "p");
}

INSTANTIATE_TEST_SUITE_P(
    Orders, TPatchSettingTest,
    ::testing::Values(
        TSetCase{"Contiguous", {{2000, 1}, {2001, 2}, {2002, 3}, {2003, 4}}},
        TSetCase{"Descending", {{2003, 4}, {2002, 3}, {2001, 2}, {2000, 1}}},
        TSetCase{"EarlierYearLater", {{2001, 5}, {1999, 3}}},
        TSetCase{"GapThenFill", {{2000, 1}, {2001, 2}, {2005, 5}, {2002, 9}, {2003, 8}, {2004, 7}}},
        TSetCase{"ReplaceContiguous", {{2000, 4}, {2001, 1}, {2000, 9.5}, {2001, 0}}},
        TSetCase{"ReplaceAfterGap", {{2000, 4}, {2010, 1}, {2000, 9.5}, {2010, -1}}},
        TSetCase{"Negative", {{-5, 1}}},
        TSetCase{"NegativeRun", {{-3, 1}, {-2, 2}, {-1, 3}, {0, 4}, {1, 5}}},
        TSetCase{"AboveNoFirstYear", {{100000000, 1}, {100000001, 2}}},
        TSetCase{"Extremes", {{kMaxYear - 1, 1}, {kMaxYear, 2}, {kMinYear, 3}, {kMinYear + 1, 4}}},
        TSetCase{"FarApart", {{kMinYear, 1}, {kMaxYear, 2}}},
        TSetCase{"ZeroNegativeAndHuge", {{7, 0}, {8, -0.5}, {9, 1e300}}}),
    [](const auto& info) { return info.param.label; });

TEST(TPatchTest, NotANumberIsAStoredValue) {
  TPatch patch("p", 0, 0);
  patch.SetYear(2001, std::numeric_limits<double>::quiet_NaN());
  EXPECT_TRUE(patch.HasYear(2001));
  EXPECT_TRUE(std::isnan(patch.GetYear(2001)));
}

// ---- Clones ----

// A patch with the years set in the given order.
TPatch WithYears(const std::string& name, double x, const TSettings& settings) {
  TPatch patch(name, x, x);
  for (const auto& [year, value] : settings) {
    patch.SetYear(year, value);
  }
  return patch;
}

TEST(TPatchTest, CloneIsIndependentBothWays) {
  TPatch source = WithYears("s", 1, {{2000, 1}, {2001, 2}});
  TPatch copy = source.Clone();
  copy.SetYear(2001, 20);
  copy.SetYear(1990, 5);  // moves the copy off contiguous storage
  source.SetYear(2000, 10);
  source.SetYear(2002, 3);
  ExpectYears(source, {{2000, 10}, {2001, 2}, {2002, 3}});
  ExpectYears(copy, {{1990, 5}, {2000, 1}, {2001, 20}});
  EXPECT_EQ(copy.GetX(), 1);
}

// Runs of 0 to 6 years, around the count the patch keeps in place: copies, moves and both
// assignments keep the years whole and independent, a patch moved from has none, a reservation
// keeps them, and a gap moves them all to the general storage.
TEST(TPatchTest, CopiesAndMovesAroundTheYearsKeptInPlace) {
  for (int count = 0; count <= 6; ++count) {
    SCOPED_TRACE(count);
    TModel model;
    TPatch source("s", 1, 2);
    for (int k = 0; k < count; ++k) {
      source.SetYear(2000 + k, 0.5 + k);
      model[2000 + k] = 0.5 + k;
    }
    TPatch copy(source);
    TPatch assigned("a", 0, 0);
    assigned.SetYear(1, 1);
    assigned = source;
    ExpectYears(copy, model);
    ExpectYears(assigned, model);
    copy.SetYear(2000, -1);  // the copy's years are its own
    ExpectYears(source, model);
    TPatch moved(std::move(copy));
    // NOLINTNEXTLINE(bugprone-use-after-move,clang-analyzer-cplusplus.Move)
    EXPECT_EQ(copy.GetNumYears(), 0U);
    // A patch moved from starts a run of years of its own.
    // NOLINTNEXTLINE(bugprone-use-after-move,clang-analyzer-cplusplus.Move)
    copy.SetYear(1995, 3);
    ExpectYears(copy, TModel{{1995, 3}});
    TPatch moveAssigned("m", 0, 0);
    moveAssigned = std::move(assigned);
    // NOLINTNEXTLINE(bugprone-use-after-move,clang-analyzer-cplusplus.Move)
    EXPECT_EQ(assigned.GetNumYears(), 0U);
    ExpectYears(moveAssigned, model);
    TModel changed = model;
    changed[2000] = -1;
    ExpectYears(moved, changed);
    moved.ReserveYears(40);
    moved.SetYear(2000 + count, 9);  // the next year, appended
    changed[2000 + count] = 9;
    ExpectYears(moved, changed);
    moved.SetYear(1990, 7);  // a gap
    changed[1990] = 7;
    ExpectYears(moved, changed);
  }
}

// A million patches of two years each, as a grid over a short run makes, take 88 MB: the years
// are kept in the 32 bytes of the patch's year storage.
TEST(TPatchTest, TwoYearsTakeNoMoreRoomThanThePatch) {
  if constexpr (sizeof(void*) == 8 && sizeof(std::string) == 32) {
    EXPECT_EQ(sizeof(TYearValues), 32U);
    EXPECT_EQ(sizeof(TPatch), 88U);
  }
}

// DeepClone onto a target with years, contiguous or not: shared years take the source's values,
// the target keeps its other years, its name and its coordinates; the source is unchanged.
TEST(TPatchTest, DeepCloneOverwritesSharedYearsAndKeepsTheRest) {
  struct TCase {
    TSettings target;
    TSettings source;
    TModel expected;
  };
  const TCase cases[] = {
      {{{2000, 1}, {2010, 2}}, {{2000, 7}, {2005, 3}}, {{2000, 7}, {2005, 3}, {2010, 2}}},
      {{{2000, 1}, {2001, 2}},
       {{2002, 3}, {2003, 4}},
       {{2000, 1}, {2001, 2}, {2002, 3}, {2003, 4}}},
      {{{2000, 1}, {2001, 2}},
       {{1998, 8}, {1999, 9}},
       {{1998, 8}, {1999, 9}, {2000, 1}, {2001, 2}}},
      {{{2000, 0}, {2001, 1}}, {{2001, -2}, {2009, -9}}, {{2000, 0}, {2001, -2}, {2009, -9}}},
  };
  for (const TCase& c : cases) {
    TPatch target = WithYears("target", 9, c.target);
    const TPatch source = WithYears("source", 1, c.source);
    source.DeepClone(target);
    ExpectYears(target, c.expected);
    EXPECT_EQ(target.GetName(), "target");
    EXPECT_EQ(target.GetX(), 9);
    ExpectYears(source, TModel(c.source.begin(), c.source.end()));
    // A patch deep-cloned onto itself is unchanged.
    target.DeepClone(target);
    ExpectYears(target, c.expected);
  }
}

}  // namespace
}  // namespace varrowin
