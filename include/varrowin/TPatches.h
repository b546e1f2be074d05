// The patch collection of one model run.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Common.h"
#include "TPatch.h"
#include "TPoint.h"

namespace varrowin {

// The patches of one model run keyed by name (plain byte-wise order), with the map resolution.
// The collection owns its patches.
class TPatches {
 public:
  TPatches() = default;

  // Stores the patch under its own name; a patch already stored under that name is replaced.
  void AddPatch(TPatch patch);

  // Returns the patch stored under the name; the collection keeps owning it.
  // Throws TError("Patch does not exist") when there is none; the collection is unchanged.
  const TPatch& GetPatch(const std::string& name) const;
  TPatch& GetPatch(const std::string& name);

  // True exactly when a patch is stored under the name.
  bool PatchExists(const std::string& name) const { return patches_.count(name) != 0; }

  // Returns every stored name, in name order.
  std::vector<std::string> GetNames() const;

  std::int64_t GetNumPatches() const { return static_cast<std::int64_t>(patches_.size()); }
  double GetResolution() const { return resolution_; }
  void SetResolution(double resolution) { resolution_ = resolution; }

  // Returns, for each patch in name order, a new point with its X and Y.
  std::vector<TPoint> GetCoordinates() const;

  // Returns, for each patch in name order, its population in the year.
  // Throws TError("Year does not exist") when a patch lacks the year.
  std::vector<double> GetPatchSizes(TYear year) const;

  // Read-only walk over (name, patch) pairs in name order.
  auto begin() const { return patches_.begin(); }
  auto end() const { return patches_.end(); }

  // Removes and returns every patch, in name order, leaving the collection empty (its resolution
  // stays). Lets an owner that is done with the collection hand the patches on without copies.
  std::vector<TPatch> ReleasePatches();

 private:
  std::map<std::string, TPatch> patches_;
  double resolution_ = 1.0;
};

}  // namespace varrowin
