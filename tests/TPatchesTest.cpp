#include <varrowin/TPatches.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <new>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "PatchesBuilder.h"
#include "TestSupport.h"

// A sanitizer's runtime brings its own allocation functions: they cannot be replaced there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VARROWIN_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VARROWIN_TEST_SANITIZED 1
#endif
#endif

// The next allocation of exactly this many bytes fails (0: none), to try out a failed reservation.
std::atomic<std::size_t> gFailAllocationOf{0};

#ifndef VARROWIN_TEST_SANITIZED

// NOLINTBEGIN: a replacement of the global allocation functions for the test below
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
// The memory that operator delete frees comes from malloc in operator new.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
  std::size_t expected = size;
  if (size != 0 && gFailAllocationOf.compare_exchange_strong(expected, 0)) {
    throw std::bad_alloc();
  }
  if (void* memory = std::malloc(size == 0 ? 1 : size)) {
    return memory;
  }
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t /*size*/) noexcept {
  std::free(memory);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
// NOLINTEND
#endif

namespace varrowin {
namespace {

using TNames = std::vector<std::string>;

using test::ExpectError;

// A patch with values for consecutive years from first.
TPatch MakePatch(const std::string& name, double x, double y, const std::vector<double>& sizes,
                 TYear first = 2000) {
  return test::MakePatch(name, x, y, first, sizes);
}

// prefix followed by the number.
std::string Numbered(const char* prefix, int number) {
  std::string name(prefix);
  name += std::to_string(number);
  return name;
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

INSTANTIATE_TEST_SUITE_P(
    Names, TPatchesOrderTest,
    ::testing::Values(TOrderCase{{"b", "a10", "a2"}, {"a10", "a2", "b"}},
                      TOrderCase{{"2", "a", "10", "1"}, {"1", "10", "2", "a"}},
                      TOrderCase{{"a", "A", "a "}, {"A", "a", "a "}},
                      // Bytes above 127 sort after every ASCII character.
                      TOrderCase{{"\xc3\xa9t\xc3\xa9", "z", "~"}, {"z", "~", "\xc3\xa9t\xc3\xa9"}},
                      TOrderCase{{"", "x"}, {"", "x"}},
                      // Equal first eight bytes, and bytes 0 in a name.
                      TOrderCase{{"longprefix-2", "longprefix-10", "longprefix-1", "longprefi"},
                                 {"longprefi", "longprefix-1", "longprefix-10", "longprefix-2"}},
                      TOrderCase{{std::string("P\0b", 3), "P", std::string("P\0a", 3), "P0"},
                                 {"P", std::string("P\0a", 3), std::string("P\0b", 3), "P0"}}),
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

// Many patches added in a scrambled order, some names added again: the collection agrees with an
// ordered map from name to the last patch added under it, in lookups, walks and counts, and a
// reference taken before further additions still reaches its patch.
TEST(TPatchesTest, ManyPatchesFollowAMapModel) {
  std::mt19937 rng(99);
  std::uniform_int_distribution<int> pick(0, 2999);
  std::map<std::string, double> model;  // name -> X of the last patch added under the name
  TPatches patches;
  patches.AddPatch(TPatch("anchor", -1, 0));
  TPatch& anchor = patches.GetPatch("anchor");
  model["anchor"] = -1;
  for (int i = 0; i < 5000; ++i) {
    const std::string name = Numbered("n", pick(rng));
    patches.AddPatch(MakePatch(name, i, 0, {static_cast<double>(i)}));
    model[name] = i;
  }
  anchor.SetYear(1999, 4);
  EXPECT_EQ(patches.GetPatch("anchor").GetYear(1999), 4);
  ASSERT_EQ(patches.GetNumPatches(), static_cast<std::int64_t>(model.size()));
  TNames expected;
  for (const auto& [name, x] : model) {
    expected.push_back(name);
    ASSERT_TRUE(patches.PatchExists(name)) << name;
    EXPECT_EQ(patches.GetPatch(name).GetX(), x) << name;
  }
  EXPECT_EQ(NamesOf(patches), expected);
  EXPECT_EQ(patches.GetNames(), expected);
  EXPECT_FALSE(patches.PatchExists("n3000"));
  // An addition after a walk is walked in its place too.
  patches.AddPatch(TPatch("a", 0, 0));
  expected.insert(expected.begin(), "a");
  EXPECT_EQ(NamesOf(patches), expected);
  // Names added in ascending order keep that order without a sort, and replacing one keeps it.
  TPatches ascending;
  for (int i = 0; i < 1000; ++i) {
    ascending.AddPatch(TPatch(Numbered("k", 1000 + i), i, 0));
  }
  ascending.AddPatch(TPatch("k1500", -5, 0));
  EXPECT_EQ(ascending.GetNumPatches(), 1000);
  EXPECT_EQ(ascending.GetNames().front(), "k1000");
  EXPECT_EQ(ascending.GetNames()[500], "k1500");
  EXPECT_EQ(ascending.GetCoordinates()[500].X(), -5);
}

// A random name from a small alphabet that makes long shared beginnings likely: bytes 0, high
// bytes and letters, lengths from 0 to 12, so names often agree in their first eight bytes and
// names shorter than eight bytes are common.
std::string RandomName(std::mt19937& rng) {
  static const std::string kBytes{
      "\0\x01"
      "aAbz~\x7f\x80\xc3\xff",
      11};
  std::uniform_int_distribution<std::size_t> length(0, 12);
  std::uniform_int_distribution<std::size_t> byte(0, kBytes.size() - 1);
  std::uniform_int_distribution<int> shared(0, 3);
  std::string name = shared(rng) == 0 ? std::string("prefix\xc3\x80", 8) : std::string();
  for (std::size_t i = length(rng); i > 0; --i) {
    name += kBytes[byte(rng)];
  }
  return name;
}

// Names in a random order come back in the order of std::sort on the strings (byte-wise,
// unsigned), whether added one by one or by the builder.
TEST(TPatchesTest, RandomNamesComeBackInSortedOrder) {
  std::mt19937 rng(4242);
  for (int round = 0; round < 40; ++round) {
    std::set<std::string> distinct;
    const int count = 1 + round * 40;
    while (static_cast<int>(distinct.size()) < count) {
      distinct.insert(RandomName(rng));
    }
    TNames added(distinct.begin(), distinct.end());
    std::shuffle(added.begin(), added.end(), rng);
    TNames expected = added;
    std::sort(expected.begin(), expected.end());
    TPatches one;
    TPatches bulk;
    TPatchesBuilder builder(bulk);
    for (const std::string& name : added) {
      one.AddPatch(TPatch(name, 0, 0));
      builder.Add(TPatch(name, 0, 0));
    }
    ASSERT_EQ(builder.CheckNames(), nullptr);
    ASSERT_EQ(NamesOf(one), expected) << "round " << round;
    ASSERT_EQ(NamesOf(bulk), expected) << "round " << round;
  }
}

// The builder against one-by-one additions: with no repeated name the collections agree in
// lookups, references and walks, also when the builder adds to a collection that has patches;
// with repeated names CheckNames names the first repetition in addition order.
TEST(TPatchesTest, BuilderAgreesWithAddPatch) {
  std::mt19937 rng(77);
  for (int round = 0; round < 30; ++round) {
    const int count = 1 + round * round * 5;
    std::uniform_int_distribution<int> pick(0, 2 * count);
    TPatches bulk;
    bulk.AddPatch(TPatch("first", -1, 0));
    std::map<std::string, int> firstAt;  // name -> addition position
    std::size_t repeatAt = ~std::size_t{0};
    std::vector<TPatch*> stored;
    TPatchesBuilder builder(bulk);
    const bool repeats = round % 2 == 1;
    for (int i = 0; i < count; ++i) {
      const std::string name = Numbered("n", repeats ? pick(rng) : i * 7919 % 100003);
      if (!firstAt.emplace(name, i).second) {
        repeatAt = std::min(repeatAt, static_cast<std::size_t>(i));
      }
      stored.push_back(&builder.Add(TPatch(name, i, 0)));
    }
    const TPatch* repeated = builder.CheckNames();
    if (repeatAt != ~std::size_t{0}) {
      ASSERT_NE(repeated, nullptr) << "round " << round;
      EXPECT_EQ(repeated, stored[repeatAt]) << "round " << round;
      continue;
    }
    ASSERT_EQ(repeated, nullptr) << "round " << round;
    ASSERT_EQ(bulk.GetNumPatches(), count + 1);
    for (const auto& [name, at] : firstAt) {
      ASSERT_EQ(&bulk.GetPatch(name), stored[static_cast<std::size_t>(at)]) << name;
    }
    EXPECT_FALSE(bulk.PatchExists("n100003"));
    // Later additions find the indexed names.
    bulk.AddPatch(TPatch("n0", 5, 5));
    EXPECT_EQ(bulk.GetNumPatches(), count + 1);
    EXPECT_EQ(stored[0]->GetX(), 5);
    bulk.AddPatch(TPatch("a", 0, 0));
    TNames expected{"a", "first"};
    for (const auto& entry : firstAt) {
      expected.push_back(entry.first);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(NamesOf(bulk), expected);
  }
}

// Lookups from several threads at once right after the builder's additions: the first of them
// builds the index, and every thread finds every patch.
TEST(TPatchesTest, ConcurrentLookupsAfterTheBuilder) {
  TPatches patches;
  TPatchesBuilder builder(patches);
  constexpr int kCount = 20000;
  for (int i = 0; i < kCount; ++i) {
    builder.Add(TPatch(Numbered("c", kCount - i), i, 0));
  }
  ASSERT_EQ(builder.CheckNames(), nullptr);
  const TPatches& shared = patches;
  std::vector<int> found(4, 0);
  {
    std::vector<std::jthread> threads;
    for (std::size_t t = 0; t < found.size(); ++t) {
      threads.emplace_back([&shared, &found, t] {
        for (int i = 0; i < kCount; ++i) {
          if (shared.PatchExists(Numbered("c", kCount - i)) &&
              shared.GetPatch(Numbered("c", kCount - i)).GetX() == i) {
            ++found[t];
          }
        }
      });
    }
  }
  for (const int count : found) {
    EXPECT_EQ(count, kCount);
  }
  EXPECT_FALSE(shared.PatchExists("c0"));
}

// A copy is independent and takes additions like the original; a collection moved from is empty.
TEST(TPatchesTest, CopiesAndMovesKeepTheCollectionWhole) {
  TPatches original;
  for (int i = 0; i < 600; ++i) {
    original.AddPatch(TPatch(Numbered("p", 599 - i), i, 0));
  }
  TPatches copy = original;
  // Every patch stays where it is while additions fill the copy's blocks and open new ones.
  std::vector<const TPatch*> kept;
  for (int i = 0; i < 600; ++i) {
    kept.push_back(&copy.GetPatch(Numbered("p", i)));
  }
  for (int i = 0; i < 1500; ++i) {
    copy.AddPatch(TPatch(Numbered("q", i), i, 0));
  }
  for (int i = 0; i < 600; ++i) {
    ASSERT_EQ(&copy.GetPatch(Numbered("p", i)), kept[static_cast<std::size_t>(i)]) << i;
    EXPECT_EQ(kept[static_cast<std::size_t>(i)]->GetX(), 599 - i);
  }
  for (int i = 0; i < 1500; ++i) {
    ASSERT_EQ(copy.GetPatch(Numbered("q", i)).GetX(), i) << i;
  }
  copy.GetPatch("p1").SetYear(2000, 3);
  EXPECT_FALSE(original.GetPatch("p1").HasYear(2000));
  EXPECT_EQ(copy.GetNumPatches(), 2100);
  EXPECT_EQ(copy.GetNames().front(), "p0");
  const TPatches moved = std::move(copy);
  EXPECT_EQ(moved.GetNumPatches(), 2100);
  EXPECT_EQ(copy.GetNumPatches(), 0);  // NOLINT(bugprone-use-after-move)
  EXPECT_TRUE(copy.GetNames().empty());
  EXPECT_FALSE(copy.PatchExists("p0"));
  EXPECT_EQ(original.GetNames().size(), 600U);
}

// A block whose reservation fails is not kept: the collection takes later additions in blocks of
// full size, so its patches stay where they are.
TEST(TPatchesTest, FailedBlockReservationLeavesTheCollectionWhole) {
#ifdef VARROWIN_TEST_SANITIZED
  GTEST_SKIP() << "the sanitizer's allocation functions cannot be made to fail here";
#endif
  TPatches patches;
  for (int i = 0; i < 256; ++i) {  // the first block, full
    patches.AddPatch(TPatch(Numbered("p", i), i, 0));
  }
  gFailAllocationOf = 512 * sizeof(TPatch);  // the second block's reservation
  EXPECT_THROW(patches.AddPatch(TPatch("q", 0, 0)), std::bad_alloc);
  gFailAllocationOf = 0;
  EXPECT_EQ(patches.GetNumPatches(), 256);
  EXPECT_FALSE(patches.PatchExists("q"));
  const TPatch* added = &patches.AddPatch(TPatch("q", -1, 0));
  for (int i = 0; i < 1000; ++i) {
    patches.AddPatch(TPatch(Numbered("r", i), i, 0));
  }
  EXPECT_EQ(&patches.GetPatch("q"), added);
  EXPECT_EQ(patches.GetPatch("q").GetX(), -1);
  EXPECT_EQ(patches.GetNumPatches(), 1257);
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
