#include <varrowin/TPatches.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace varrowin {
namespace {

using TNames = std::vector<std::string>;

using test::ExpectError;

// A patch with values for consecutive years from first.
TPatch MakePatch(const std::string& name, double x, double y, const std::vector<double>& sizes,
                 TYear first = 2000) {
  return test::MakePatch(name, x, y, first, sizes);
}

TNames NamesOf(const TPatches& patches) {
  TNames names;
  for (const auto& entry : patches) {
    names.push_back(entry.first);
  }
  return names;
}

TEST(TPatchesTest, NewCollectionIsEmpty) {
  const TPatches patches;
  EXPECT_TRUE(patches.GetNames().empty());
  EXPECT_EQ(patches.GetNumPatches(), 0);
  EXPECT_EQ(patches.GetResolution(), 1.0);
  EXPECT_TRUE(patches.GetCoordinates().empty());
  EXPECT_TRUE(patches.GetPatchSizes(2000).empty());
  EXPECT_FALSE(patches.PatchExists(""));
}

TEST(TPatchesTest, FailedLookupCreatesNoEntry) {
  TPatches patches;
  patches.AddPatch(TPatch("P", 0, 0));
  const TPatches& constPatches = patches;
  for (const std::string name : {"Q", "", "P "}) {
    ExpectError([&] { patches.GetPatch(name); }, "Patch does not exist");
    ExpectError([&] { constPatches.GetPatch(name); }, "Patch does not exist");
    EXPECT_FALSE(patches.PatchExists(name));
  }
  EXPECT_EQ(patches.GetNames(), TNames{"P"});
}

struct TOrderCase {
  TNames added;
  TNames expected;
};

class TPatchesOrderTest : public ::testing::TestWithParam<TOrderCase> {};

TEST_P(TPatchesOrderTest, NamesComeBackInByteOrder) {
  TPatches patches;
  double x = 0;
  for (const auto& name : GetParam().added) {
    patches.AddPatch(TPatch(name, x, -x));
    x += 1;
  }
  EXPECT_EQ(patches.GetNames(), GetParam().expected);
  EXPECT_EQ(NamesOf(patches), GetParam().expected);
  // The coordinates follow the same order.
  const std::vector<TPoint> points = patches.GetCoordinates();
  ASSERT_EQ(points.size(), GetParam().expected.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    EXPECT_EQ(points[i].X(), patches.GetPatch(GetParam().expected[i]).GetX());
    EXPECT_EQ(points[i].Y(), patches.GetPatch(GetParam().expected[i]).GetY());
  }
}

INSTANTIATE_TEST_SUITE_P(Names, TPatchesOrderTest,
                         ::testing::Values(TOrderCase{{"b", "a10", "a2"}, {"a10", "a2", "b"}},
                                           TOrderCase{{"2", "a", "10", "1"}, {"1", "10", "2", "a"}},
                                           TOrderCase{{"a", "A", "a "}, {"A", "a", "a "}},
                                           // Bytes above 127 sort after every ASCII character.
                                           TOrderCase{{"\xc3\xa9t\xc3\xa9", "z", "~"},
                                                      {"z", "~", "\xc3\xa9t\xc3\xa9"}},
                                           TOrderCase{{"", "x"}, {"", "x"}}),
                         [](const auto& info) {
                           return test::CaseName(std::to_string(info.index) + " added " +
                                                 ::testing::PrintToString(info.param.added));
                         });

TEST(TPatchesTest, AddingANameAgainReplacesThePatch) {
  TPatches patches;
  patches.AddPatch(MakePatch("P", 1, 1, {5}));
  patches.AddPatch(MakePatch("Q", 0, 0, {}));
  patches.AddPatch(MakePatch("P", 7, 8, {6, 7}, 1990));
  EXPECT_EQ(patches.GetNumPatches(), 2);
  const TPatch& p = patches.GetPatch("P");
  EXPECT_EQ(p.GetX(), 7);
  EXPECT_EQ(p.GetY(), 8);
  EXPECT_EQ(p.GetYearList(), (TYearList{1990, 1991}));
}

TEST(TPatchesTest, PatchSizesInNameOrder) {
  TPatches patches;
  patches.AddPatch(MakePatch("c", 0, 0, {3, 30}));
  patches.AddPatch(MakePatch("a", 0, 0, {1, 10}));
  patches.AddPatch(MakePatch("b", 0, 0, {2, 20, 200}));
  EXPECT_EQ(patches.GetPatchSizes(2000), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(patches.GetPatchSizes(2001), (std::vector<double>{10, 20, 30}));
  ExpectError([&] { patches.GetPatchSizes(2002); }, "Year does not exist");
  ExpectError([&] { patches.GetPatchSizes(1999); }, "Year does not exist");
  // The failures added no year to any patch.
  EXPECT_FALSE(patches.GetPatch("a").HasYear(2002));
}

TEST(TPatchesTest, PatchesAreOwnedAndChangedInPlace) {
  TPatches patches;
  TPatch original = MakePatch("P", 1, 2, {4});
  patches.AddPatch(original);
  original.SetYear(2000, 99);  // the collection holds its own patch
  EXPECT_EQ(patches.GetPatch("P").GetYear(2000), 4);
  patches.GetPatch("P").SetYear(2001, 5);
  EXPECT_EQ(patches.GetPatchSizes(2001), std::vector<double>{5});
  std::vector<TPoint> points = patches.GetCoordinates();
  points[0].X() = 100;
  EXPECT_EQ(patches.GetPatch("P").GetX(), 1);
  EXPECT_EQ(patches.GetCoordinates()[0].X(), 1);
}

TEST(TPatchesTest, ReleasePatchesHandsOverInNameOrder) {
  TPatches patches;
  patches.SetResolution(2.5);
  patches.AddPatch(MakePatch("b", 2, 0, {1}));
  patches.AddPatch(MakePatch("a", 1, 0, {1, 2}));
  const std::vector<TPatch> released = patches.ReleasePatches();
  ASSERT_EQ(released.size(), 2U);
  EXPECT_EQ(released[0].GetName(), "a");
  EXPECT_EQ(released[0].GetYearList(), (TYearList{2000, 2001}));
  EXPECT_EQ(released[1].GetName(), "b");
  EXPECT_EQ(released[1].GetX(), 2);
  EXPECT_EQ(patches.GetNumPatches(), 0);
  EXPECT_FALSE(patches.PatchExists("a"));
  EXPECT_EQ(patches.GetResolution(), 2.5);
}

}  // namespace
}  // namespace varrowin
