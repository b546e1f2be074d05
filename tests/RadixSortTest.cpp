#include "RadixSort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace varrowin {
namespace {

// The key order of OrderedBits is the order of the doubles, and -0.0 and 0.0 are one key.
TEST(RadixSortTest, OrderedBitsFollowTheDoubles) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  constexpr double kMin = std::numeric_limits<double>::denorm_min();
  const std::vector<double> ascending{-kInf, -1e300, -2.5, -1.0, -kMin, 0.0,
                                      kMin,  1e-300, 1.0,  2.5,  1e300, kInf};
  for (std::size_t a = 0; a < ascending.size(); ++a) {
    for (std::size_t b = 0; b < ascending.size(); ++b) {
      EXPECT_EQ(OrderedBits(ascending[a]) < OrderedBits(ascending[b]), a < b)
          << ascending[a] << " " << ascending[b];
    }
  }
  EXPECT_EQ(OrderedBits(-0.0), OrderedBits(0.0));
  EXPECT_EQ(OrderedBits(std::nextafter(1.0, 2.0)), OrderedBits(1.0) + 1);
}

// Random keys from a few patterns (few distinct values, one varying byte, full 64 bits): the
// sort gives std::stable_sort's order by key.
TEST(RadixSortTest, StableLikeTheLibrarySort) {
  std::mt19937_64 rng(31);
  for (int round = 0; round < 60; ++round) {
    const std::size_t size = static_cast<std::size_t>(rng() % 3000);
    std::vector<TKeyedIndex> records;
    for (std::size_t i = 0; i < size; ++i) {
      std::uint64_t key = rng();
      if (round % 3 == 0) {
        key %= 5;
      } else if (round % 3 == 1) {
        key = (key & 0xff) << (8 * (round % 8));
      }
      records.emplace_back(key, static_cast<std::uint32_t>(i));
    }
    std::vector<TKeyedIndex> expected = records;
    std::stable_sort(expected.begin(), expected.end(),
                     [](const auto& a, const auto& b) { return a.Key() < b.Key(); });
    RadixSortByKey(records);
    ASSERT_EQ(records.size(), expected.size());
    for (std::size_t i = 0; i < size; ++i) {
      ASSERT_EQ(records[i].Key(), expected[i].Key()) << "round " << round << " at " << i;
      ASSERT_EQ(records[i].index, expected[i].index) << "round " << round << " at " << i;
    }
  }
}

}  // namespace
}  // namespace varrowin
