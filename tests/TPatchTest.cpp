#include "TPatch.h"

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

TEST(TPatchTest, CloneIsIndependentBothWays) {
  TPatch source("s", 1, 2);
  source.SetYear(2000, 1);
  source.SetYear(2001, 2);
  TPatch copy = source.Clone();
  copy.SetYear(2001, 20);
  copy.SetYear(1990, 5);  // moves the copy off contiguous storage
  source.SetYear(2000, 10);
  source.SetYear(2002, 3);
  ExpectYears(source, {{2000, 10}, {2001, 2}, {2002, 3}});
  ExpectYears(copy, {{1990, 5}, {2000, 1}, {2001, 20}});
  EXPECT_EQ(copy.GetX(), 1);
  EXPECT_EQ(copy.GetY(), 2);
}

TEST(TPatchTest, DeepCloneOverwritesSharedYearsAndKeepsTheRest) {
  TPatch target("target", 9, 9);
  target.SetYear(2000, 1.0);
  target.SetYear(2010, 2.0);
  TPatch source("source", 1, 1);
  source.SetYear(2000, 7.0);
  source.SetYear(2005, 3.0);
  source.DeepClone(target);
  ExpectYears(target, {{2000, 7.0}, {2005, 3.0}, {2010, 2.0}});
  EXPECT_EQ(target.GetName(), "target");
  EXPECT_EQ(target.GetX(), 9);
  ExpectYears(source, {{2000, 7.0}, {2005, 3.0}});
}

TEST(TPatchTest, DeepCloneMixesContiguousAndGeneralStorage) {
  // Contiguous source after the contiguous target: the target stays one run of years.
  TPatch run("run", 0, 0);
  run.SetYear(2000, 1);
  run.SetYear(2001, 2);
  TPatch tail("tail", 0, 0);
  tail.SetYear(2002, 3);
  tail.SetYear(2003, 4);
  tail.DeepClone(run);
  ExpectYears(run, {{2000, 1}, {2001, 2}, {2002, 3}, {2003, 4}});
  // Contiguous source before the target, and a source with a gap over a contiguous target.
  TPatch head("head", 0, 0);
  head.SetYear(1998, 8);
  head.SetYear(1999, 9);
  head.DeepClone(run);
  ExpectYears(run, {{1998, 8}, {1999, 9}, {2000, 1}, {2001, 2}, {2002, 3}, {2003, 4}});
  TPatch gappy("gappy", 0, 0);
  gappy.SetYear(2001, -2);
  gappy.SetYear(2009, -9);
  TPatch contiguous("c", 0, 0);
  contiguous.SetYear(2000, 0);
  contiguous.SetYear(2001, 1);
  gappy.DeepClone(contiguous);
  ExpectYears(contiguous, {{2000, 0}, {2001, -2}, {2009, -9}});
  // A patch deep-cloned onto itself is unchanged.
  contiguous.DeepClone(contiguous);
  ExpectYears(contiguous, {{2000, 0}, {2001, -2}, {2009, -9}});
}

}  // namespace
}  // namespace varrowin
