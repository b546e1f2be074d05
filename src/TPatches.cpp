#include <varrowin/TPatches.h>

#include <algorithm>
#include <array>
#include <bit>
#include <functional>
#include <limits>
#include <string_view>
#include <utility>

#include "LargeArrays.h"
#include "RadixSort.h"

namespace varrowin {

namespace {

// A 32-bit hash of a name: the slot position comes from its low bits, and a slot keeps it whole
// so that a probe compares names only when the hashes agree.
std::uint32_t HashName(const std::string& name) {
  const std::size_t hash = std::hash<std::string_view>{}(std::string_view(name));
  return static_cast<std::uint32_t>(hash ^ (hash >> 32U));
}

std::uint64_t SlotEntry(std::uint32_t hash, std::size_t index) {
  return (static_cast<std::uint64_t>(hash) << 32U) | static_cast<std::uint64_t>(index + 1);
}

// The first eight bytes of a name as a number whose order is the byte-wise order of the names,
// missing bytes taken as 0. Names with different numbers compare as their numbers do; names with
// equal numbers need the full comparison.
std::uint64_t OrderPrefix(const std::string& name) {
  std::uint64_t prefix = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    const auto byte = i < name.size() ? static_cast<unsigned char>(name[i]) : 0U;
    prefix = (prefix << 8U) | byte;
  }
  return prefix;
}

}  // namespace

TPatches::TPatches(const TPatches& other)
    : size_(other.size_),
      checked_(other.checked_),
      inOrder_(other.inOrder_),
      order_(other.order_),
      resolution_(other.resolution_) {
  {
    // A lookup in the other collection may be building its index.
    const std::lock_guard<std::mutex> lock(other.indexLock_);
    slots_ = other.slots_;
    indexed_.store(other.indexed_.load(std::memory_order_relaxed), std::memory_order_relaxed);
  }
  // Every block gets its full capacity, so that later additions move no patch.
  blocks_.reserve(other.blocks_.size());
  for (const std::vector<TPatch>& block : other.blocks_) {
    NewBlock().insert(blocks_.back().end(), block.begin(), block.end());
  }
}

TPatches& TPatches::operator=(const TPatches& other) {
  if (this != &other) {
    TPatches copy(other);
    *this = std::move(copy);
  }
  return *this;
}

TPatches::TPatches(TPatches&& other) noexcept
    : blocks_(std::move(other.blocks_)),
      size_(std::exchange(other.size_, 0)),
      slots_(std::move(other.slots_)),
      indexed_(other.indexed_.exchange(0, std::memory_order_relaxed)),
      checked_(std::exchange(other.checked_, 0)),
      inOrder_(std::exchange(other.inOrder_, true)),
      order_(std::move(other.order_)),
      resolution_(other.resolution_) {
  other.blocks_.clear();
  other.slots_.clear();
  other.order_.clear();
}

TPatches& TPatches::operator=(TPatches&& other) noexcept {
  if (this != &other) {
    blocks_ = std::move(other.blocks_);
    size_ = std::exchange(other.size_, 0);
    slots_ = std::move(other.slots_);
    indexed_.store(other.indexed_.exchange(0, std::memory_order_relaxed),
                   std::memory_order_relaxed);
    checked_ = std::exchange(other.checked_, 0);
    inOrder_ = std::exchange(other.inOrder_, true);
    order_ = std::move(other.order_);
    resolution_ = other.resolution_;
    other.blocks_.clear();
    other.slots_.clear();
    other.order_.clear();
  }
  return *this;
}

std::size_t TPatches::Find(const std::string& name) const {
  EnsureIndex();
  return Find(name, HashName(name));
}

std::size_t TPatches::Find(const std::string& name, std::uint32_t hash) const {
  if (slots_.empty()) {
    return kNone;
  }
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = HomeSlot(hash);; slot = (slot + 1) & mask) {
    const std::uint64_t entry = slots_[slot];
    if (entry == 0) {
      return kNone;
    }
    if (static_cast<std::uint32_t>(entry >> 32U) == hash) {
      const std::size_t index = static_cast<std::uint32_t>(entry) - std::size_t{1};
      if (At(index).GetName() == name) {
        return index;
      }
    }
  }
}

std::size_t TPatches::HomeSlot(std::uint32_t hash) const {
  // More than 2^32 slots take the whole hash as home slot.
  const auto bits = static_cast<unsigned>(std::countr_zero(slots_.size()));
  return bits >= 32 ? std::size_t{hash} : std::size_t{hash} >> (32U - bits);
}

void TPatches::Place(std::uint64_t entry) const {
  const std::size_t mask = slots_.size() - 1;
  std::size_t slot = HomeSlot(static_cast<std::uint32_t>(entry >> 32U));
  while (slots_[slot] != 0) {
    slot = (slot + 1) & mask;
  }
  slots_[slot] = entry;
}

void TPatches::Grow() const {
  std::size_t count = std::max<std::size_t>(16, slots_.size());
  while (count < 2 * size_) {
    count *= 2;
  }
  if (count == slots_.size()) {
    return;
  }
  std::vector<std::uint64_t> old = std::move(slots_);
  slots_.assign(count, 0);
  for (const std::uint64_t entry : old) {
    if (entry != 0) {
      Place(entry);
    }
  }
}

TPatch& TPatches::AddPatch(TPatch patch) {
  EnsureIndex();
  const std::uint32_t hash = HashName(patch.GetName());
  const std::size_t existing = Find(patch.GetName(), hash);
  if (existing != kNone) {
    At(existing) = std::move(patch);
    return At(existing);
  }
  TPatch& stored = AddUnindexed(std::move(patch));
  if (2 * size_ > slots_.size()) {
    Grow();
  }
  Place(SlotEntry(hash, size_ - 1));
  indexed_.store(size_, std::memory_order_relaxed);
  return stored;
}

std::vector<TPatch>& TPatches::NewBlock() {
  // Reserved before it joins the blocks: a failed reservation leaves the collection as it was.
  std::vector<TPatch> block;
  block.reserve(BlockCapacity(blocks_.size()));
  AdviseHugePages(block.data(), block.capacity() * sizeof(TPatch));
  return blocks_.emplace_back(std::move(block));
}

std::vector<TPatch>& TPatches::PrepareAddition(std::string_view name) {
  if (size_ >= std::numeric_limits<std::uint32_t>::max() - 1) {
    throw TError("Too many patches");
  }
  if (inOrder_ && size_ > 0 && !(std::string_view(At(size_ - 1).GetName()) < name)) {
    inOrder_ = false;
  }
  order_.clear();
  if (blocks_.empty() || blocks_.back().size() == BlockCapacity(blocks_.size() - 1)) {
    return NewBlock();
  }
  return blocks_.back();
}

TPatch& TPatches::AddUnindexed(TPatch patch) {
  TPatch& stored = PrepareAddition(patch.GetName()).emplace_back(std::move(patch));
  ++size_;
  return stored;
}

TPatch& TPatches::AddUnindexed(std::string_view name, double x, double y) {
  TPatch& stored = PrepareAddition(name).emplace_back(std::string(name), x, y);
  ++size_;
  return stored;
}

void TPatches::EnsureIndex() const {
  if (indexed_.load(std::memory_order_acquire) == size_) {
    return;
  }
  const std::lock_guard<std::mutex> lock(indexLock_);
  const std::size_t from = indexed_.load(std::memory_order_relaxed);
  if (from == size_) {
    return;
  }
  Grow();
  // The slot entries of the names to index, taken in 256 runs by the top byte of their hash,
  // which is the top byte of the home slot: each run probes only its own part of the slots, small
  // enough to stay in the cache. Within a run the storage order stays, so a repeated name comes
  // after its first position and finds it in the index.
  constexpr std::size_t kRuns = 256;
  std::vector<std::uint64_t> added;
  added.reserve(size_ - from);
  std::array<std::size_t, kRuns> runStart{};
  for (std::size_t index = from; index < size_; ++index) {
    const std::uint64_t entry = SlotEntry(HashName(At(index).GetName()), index);
    ++runStart[entry >> 56U];
    added.push_back(entry);
  }
  std::size_t next = 0;
  for (std::size_t& start : runStart) {
    next += std::exchange(start, next);
  }
  std::vector<std::uint64_t> runs(added.size());
  for (const std::uint64_t entry : added) {
    runs[runStart[entry >> 56U]++] = entry;
  }
  for (const std::uint64_t entry : runs) {
    const auto hash = static_cast<std::uint32_t>(entry >> 32U);
    const std::size_t index = static_cast<std::uint32_t>(entry) - std::size_t{1};
    if (Find(At(index).GetName(), hash) == kNone) {
      Place(entry);
    }
  }
  indexed_.store(size_, std::memory_order_release);
}

std::size_t TPatches::FindRepeated() {
  if (checked_ == size_) {
    return kNone;
  }
  // Names added in strictly ascending order are distinct.
  const std::size_t repeated = inOrder_ ? kNone : SortNames();
  checked_ = size_;
  return repeated;
}

void TPatches::SortIfNeeded() const {
  if (inOrder_ || order_.size() == size_) {
    return;
  }
  SortNames();
}

std::size_t TPatches::SortNames() const {
  std::vector<TKeyedIndex> keyed;
  keyed.reserve(size_);
  for (std::size_t index = 0; index < size_; ++index) {
    keyed.emplace_back(OrderPrefix(At(index).GetName()), static_cast<std::uint32_t>(index));
  }
  RadixSortByKey(keyed);
  // Names with equal prefixes lie together, in storage order; their order comes from the full
  // names, and a name that repeats (which only the file reader's additions can hold) from the
  // storage position, so that the repetitions follow their first position.
  const auto byName = [this](const TKeyedIndex& a, const TKeyedIndex& b) {
    const int order = At(a.index).GetName().compare(At(b.index).GetName());
    return order < 0 || (order == 0 && a.index < b.index);
  };
  std::size_t repeated = kNone;
  for (auto run = keyed.begin(); run != keyed.end();) {
    const std::uint64_t prefix = run->Key();
    auto runEnd = run + 1;
    while (runEnd != keyed.end() && runEnd->Key() == prefix) {
      ++runEnd;
    }
    if (runEnd - run > 1) {
      std::sort(run, runEnd, byName);
      for (auto later = run + 1; later != runEnd; ++later) {
        if (At(later->index).GetName() == At((later - 1)->index).GetName()) {
          repeated = std::min<std::size_t>(repeated, later->index);
        }
      }
    }
    run = runEnd;
  }
  order_.resize(size_);
  for (std::size_t rank = 0; rank < size_; ++rank) {
    order_[rank] = keyed[rank].index;
  }
  return repeated;
}

const TPatch& TPatches::GetPatch(const std::string& name) const {
  const std::size_t index = Find(name);
  if (index == kNone) {
    throw TError("Patch does not exist");
  }
  return At(index);
}

TPatch& TPatches::GetPatch(const std::string& name) {
  const std::size_t index = Find(name);
  if (index == kNone) {
    throw TError("Patch does not exist");
  }
  return At(index);
}

std::vector<std::string> TPatches::GetNames() const {
  std::vector<std::string> names;
  names.reserve(size_);
  for (const auto& entry : *this) {
    names.push_back(entry.first);
  }
  return names;
}

std::vector<TPoint> TPatches::GetCoordinates() const {
  std::vector<TPoint> points;
  points.reserve(size_);
  for (const auto& entry : *this) {
    points.push_back(entry.second.GetCoords());
  }
  return points;
}

std::vector<double> TPatches::GetPatchSizes(TYear year) const {
  std::vector<double> sizes;
  sizes.reserve(size_);
  for (const auto& entry : *this) {
    sizes.push_back(entry.second.GetYear(year));
  }
  return sizes;
}

std::vector<TPatch> TPatches::ReleasePatches() {
  SortIfNeeded();
  std::vector<TPatch> released;
  released.reserve(size_);
  for (std::size_t rank = 0; rank < size_; ++rank) {
    released.push_back(std::move(At(inOrder_ ? rank : static_cast<std::size_t>(order_[rank]))));
  }
  blocks_.clear();
  slots_.clear();
  indexed_.store(0, std::memory_order_relaxed);
  checked_ = 0;
  order_.clear();
  size_ = 0;
  inOrder_ = true;
  return released;
}

}  // namespace varrowin
