// The patch collection of one model run.
#pragma once

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Common.h"
#include "TPatch.h"
#include "TPoint.h"

namespace varrowin {

// The patches of one model run keyed by name (plain byte-wise order), with the map resolution.
// The collection owns its patches.
//
// The patches lie in blocks of fixed capacity in the order they were added, so a reference to a
// stored patch stays valid when further patches are added; an index of open addressing finds them
// by name. Walks follow name order: when the names were added in ascending order (as the MP file
// lists them, and as cleaning and the margins add them) that is the storage order, otherwise the
// first walk after an addition sorts a list of positions once. Lookups change no patch, so several
// threads may look up and change distinct patches at the same time (the first lookup after the
// file reader's additions builds the index under a lock); a walk after an addition must not run
// at the same time as other calls.
class TPatches {
 public:
  TPatches() = default;
  TPatches(const TPatches& other);
  TPatches& operator=(const TPatches& other);
  // A collection moved from is empty.
  TPatches(TPatches&& other) noexcept;
  TPatches& operator=(TPatches&& other) noexcept;
  ~TPatches() = default;

  // Stores the patch under its own name; a patch already stored under that name is replaced (in
  // its place, so a reference to the replaced patch then refers to the new one). Returns the
  // stored patch, a reference that stays valid until the collection is released.
  TPatch& AddPatch(TPatch patch);

  // Returns the patch stored under the name; the collection keeps owning it. The reference
  // stays valid until the collection is released.
  // Throws TError("Patch does not exist") when there is none; the collection is unchanged.
  const TPatch& GetPatch(const std::string& name) const;
  TPatch& GetPatch(const std::string& name);

  // True exactly when a patch is stored under the name.
  bool PatchExists(const std::string& name) const { return Find(name) != kNone; }

  // Returns every stored name, in name order.
  std::vector<std::string> GetNames() const;

  std::int64_t GetNumPatches() const { return static_cast<std::int64_t>(size_); }
  double GetResolution() const { return resolution_; }
  void SetResolution(double resolution) { resolution_ = resolution; }

  // Returns, for each patch in name order, a new point with its X and Y.
  std::vector<TPoint> GetCoordinates() const;

  // Returns, for each patch in name order, its population in the year.
  // Throws TError("Year does not exist") when a patch lacks the year.
  std::vector<double> GetPatchSizes(TYear year) const;

  // Read-only walk over (name, patch) pairs in name order.
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::pair<const std::string&, const TPatch&>;
    using difference_type = std::ptrdiff_t;
    using reference = value_type;
    using pointer = void;

    const_iterator() = default;
    const_iterator(const TPatches* owner, std::size_t rank) : owner_(owner), rank_(rank) {}

    value_type operator*() const {
      const TPatch& patch = owner_->InNameOrder(rank_);
      return {patch.GetName(), patch};
    }
    const_iterator& operator++() {
      ++rank_;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator old = *this;
      ++rank_;
      return old;
    }
    bool operator==(const const_iterator& other) const { return rank_ == other.rank_; }

   private:
    const TPatches* owner_ = nullptr;
    std::size_t rank_ = 0;
  };
  const_iterator begin() const {
    SortIfNeeded();
    return {this, 0};
  }
  const_iterator end() const { return {this, size_}; }

  // Removes and returns every patch, in name order, leaving the collection empty (its resolution
  // stays). Lets an owner that is done with the collection hand the patches on without copies.
  std::vector<TPatch> ReleasePatches();

 private:
  static constexpr std::size_t kFirstBlockShift = 8;
  static constexpr std::size_t kNone = ~std::size_t{0};

  // The capacity of block b: the first holds 2^kFirstBlockShift patches, each next one twice as
  // many as the one before it.
  static std::size_t BlockCapacity(std::size_t block) {
    return std::size_t{1} << (kFirstBlockShift + block);
  }
  // The block and the place in it of a storage position.
  static std::pair<std::size_t, std::size_t> BlockOf(std::size_t index) {
    const std::size_t scaled = (index >> kFirstBlockShift) + 1;
    const auto block = static_cast<std::size_t>(std::bit_width(scaled)) - 1;
    return {block, index - ((BlockCapacity(block)) - BlockCapacity(0))};
  }

  // The patch at the given position of name order, once the order is built (begin()).
  const TPatch& InNameOrder(std::size_t rank) const {
    return At(inOrder_ ? rank : static_cast<std::size_t>(order_[rank]));
  }
  TPatch& At(std::size_t index) {
    const auto [block, place] = BlockOf(index);
    return blocks_[block][place];
  }
  const TPatch& At(std::size_t index) const {
    const auto [block, place] = BlockOf(index);
    return blocks_[block][place];
  }
  // The storage position of the named patch, or kNone; indexes the names not indexed yet first.
  std::size_t Find(const std::string& name) const;
  // The same from the index as it stands, given the name's hash.
  std::size_t Find(const std::string& name, std::uint32_t hash) const;
  // Puts a slot entry at the first free slot from its home slot on.
  void Place(std::uint64_t entry) const;
  // The slot where the probe for a name hash starts: the hash's high bits.
  std::size_t HomeSlot(std::uint32_t hash) const;
  // Makes the slot count at least twice the number of patches.
  void Grow() const;
  // Stores the patch after the others without indexing its name (TPatchesBuilder).
  TPatch& AddUnindexed(TPatch patch);
  TPatch& AddUnindexed(std::string_view name, double x, double y);
  // The block an addition goes to, after the checks every addition makes.
  // Throws TError("Too many patches") when the collection is full.
  std::vector<TPatch>& PrepareAddition(std::string_view name);
  // Appends an empty block with its full capacity reserved.
  std::vector<TPatch>& NewBlock();
  // Indexes the names from storage position indexed_ on, once, under indexLock_; a name already
  // in the index keeps its patch there.
  void EnsureIndex() const;
  // When patches were added since the last check (checked_), the first storage position whose
  // name an earlier position has, or kNone; sorts name order to find it (TPatchesBuilder).
  std::size_t FindRepeated();
  // Builds order_; returns the first storage position whose name an earlier position has, or
  // kNone.
  std::size_t SortNames() const;
  void SortIfNeeded() const;

  friend class TPatchesBuilder;

  // Storage in addition order: block b holds the BlockCapacity(b) positions from
  // BlockCapacity(b) - BlockCapacity(0) on and never grows beyond them, so its patches never move.
  std::vector<std::vector<TPatch>> blocks_;
  std::size_t size_ = 0;
  // Open addressing by name hash, linear probing. A slot holds the name's 32-bit hash in its high
  // half and storage position + 1 in its low half; 0 marks a free slot. The slot count is a power
  // of two at least twice the number of indexed patches. Storage positions from indexed_ on are
  // not in the index yet: the file reader adds patches without it (TPatchesBuilder), and the
  // first lookup after that builds it.
  mutable std::vector<std::uint64_t> slots_;
  mutable std::atomic<std::size_t> indexed_ = 0;
  mutable std::mutex indexLock_;
  // Storage positions before checked_ were checked for repeated names (TPatchesBuilder).
  std::size_t checked_ = 0;
  // True while every name was added after all names before it in name order; then storage order
  // is name order and order_ is unused.
  bool inOrder_ = true;
  // Storage positions in name order, built by the first walk after an out-of-order addition.
  mutable std::vector<std::uint32_t> order_;
  double resolution_ = 1.0;
};

}  // namespace varrowin
