// Stable radix sort of indices by 64-bit keys (private to the library).
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace varrowin {

// An index with a 64-bit sort key, in 12 bytes: the key is kept as two 32-bit halves so that the
// record needs no padding.
struct TKeyedIndex {
  std::uint32_t keyHigh = 0;
  std::uint32_t keyLow = 0;
  std::uint32_t index = 0;

  TKeyedIndex() = default;
  TKeyedIndex(std::uint64_t key, std::uint32_t position)
      : keyHigh(static_cast<std::uint32_t>(key >> 32U)),
        keyLow(static_cast<std::uint32_t>(key)),
        index(position) {}

  std::uint64_t Key() const { return (std::uint64_t{keyHigh} << 32U) | keyLow; }
};

// A number whose unsigned order is the order of the double keys: -0.0 and 0.0 give the same number,
// as they are equal keys. The key must not be not-a-number.
inline std::uint64_t OrderedBits(double key) {
  const auto bits = std::bit_cast<std::uint64_t>(key == 0.0 ? 0.0 : key);
  constexpr std::uint64_t kSign = std::uint64_t{1} << 63U;
  return (bits & kSign) != 0 ? ~bits : bits | kSign;
}

// Sorts the records by key, ascending; records with equal keys keep their order. Least significant
// byte first, one pass per byte that is not the same in every record; the passes alternate between
// the records and a scratch buffer of the same size, which is released before the return.
inline void RadixSortByKey(std::vector<TKeyedIndex>& records) {
  constexpr std::size_t kDigits = 8;
  constexpr std::size_t kBuckets = 256;
  const std::size_t size = records.size();
  if (size < 2) {
    return;
  }
  std::vector<std::array<std::size_t, kBuckets>> counts(kDigits);
  for (auto& count : counts) {
    count.fill(0);
  }
  for (const TKeyedIndex& record : records) {
    std::uint64_t key = record.Key();
    for (std::size_t digit = 0; digit < kDigits; ++digit) {
      ++counts[digit][key & (kBuckets - 1)];
      key >>= 8U;
    }
  }
  std::vector<TKeyedIndex> scratch;
  for (std::size_t digit = 0; digit < kDigits; ++digit) {
    std::array<std::size_t, kBuckets>& count = counts[digit];
    const std::uint64_t firstKey = records.front().Key();
    if (count[(firstKey >> (8U * digit)) & (kBuckets - 1)] == size) {
      continue;  // the same byte everywhere: the pass would not move a record
    }
    std::size_t next = 0;
    for (std::size_t& bucket : count) {
      next += std::exchange(bucket, next);
    }
    scratch.resize(size);
    for (const TKeyedIndex& record : records) {
      scratch[count[(record.Key() >> (8U * digit)) & (kBuckets - 1)]++] = record;
    }
    records.swap(scratch);
  }
}

}  // namespace varrowin
