// Adding a file's patches to a collection in bulk (private to the library).
#pragma once

#include <cstddef>
#include <string_view>
#include <utility>

#include <varrowin/TPatches.h>

namespace varrowin {

// Adds patches to a collection without a name lookup each: CheckNames() looks for repeated names
// all at once, from the sort of name order that the first walk needs anyway, and the name index
// is built by the first lookup. Between Add and CheckNames the collection must not be used
// otherwise; a reader of a file that rejects repeated names adds the patch lines with Add and
// calls CheckNames at the end of them.
class TPatchesBuilder {
 public:
  explicit TPatchesBuilder(TPatches& patches) : patches_(patches) {}

  // Stores the patch after the others; the reference stays valid as AddPatch's does.
  // Throws TError("Too many patches") when the collection is full.
  TPatch& Add(TPatch patch) { return patches_.AddUnindexed(std::move(patch)); }
  // The same for a new patch without years, made in its place.
  TPatch& Add(std::string_view name, double x, double y) {
    return patches_.AddUnindexed(name, x, y);
  }

  // The patch added at the position (0 for the first added to the empty collection): every Add
  // appends, so the position of an added patch is the number of patches before it. Several threads
  // may call this at the same time while no patch is added.
  TPatch& Added(std::size_t position) { return patches_.At(position); }

  // Checks the names of the patches added since the last call. Returns nullptr when every name
  // is new, otherwise the first patch in addition order whose name was stored before it; the
  // collection then holds that name twice and is only fit to be dropped.
  const TPatch* CheckNames() {
    const std::size_t repeated = patches_.FindRepeated();
    return repeated == TPatches::kNone ? nullptr : &patches_.At(repeated);
  }

 private:
  TPatches& patches_;
};

}  // namespace varrowin
