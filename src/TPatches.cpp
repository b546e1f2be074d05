#include <varrowin/TPatches.h>

#include <utility>

namespace varrowin {

void TPatches::AddPatch(TPatch patch) {
  std::string name = patch.GetName();
  patches_.insert_or_assign(std::move(name), std::move(patch));
}

const TPatch& TPatches::GetPatch(const std::string& name) const {
  const auto it = patches_.find(name);
  if (it == patches_.end()) {
    throw TError("Patch does not exist");
  }
  return it->second;
}

TPatch& TPatches::GetPatch(const std::string& name) {
  const auto it = patches_.find(name);
  if (it == patches_.end()) {
    throw TError("Patch does not exist");
  }
  return it->second;
}

std::vector<std::string> TPatches::GetNames() const {
  std::vector<std::string> names;
  names.reserve(patches_.size());
  for (const auto& entry : patches_) {
    names.push_back(entry.first);
  }
  return names;
}

std::vector<TPoint> TPatches::GetCoordinates() const {
  std::vector<TPoint> points;
  points.reserve(patches_.size());
  for (const auto& entry : patches_) {
    points.push_back(entry.second.GetCoords());
  }
  return points;
}

std::vector<double> TPatches::GetPatchSizes(TYear year) const {
  std::vector<double> sizes;
  sizes.reserve(patches_.size());
  for (const auto& entry : patches_) {
    sizes.push_back(entry.second.GetYear(year));
  }
  return sizes;
}

std::vector<TPatch> TPatches::ReleasePatches() {
  std::vector<TPatch> released;
  released.reserve(patches_.size());
  while (!patches_.empty()) {
    auto node = patches_.extract(patches_.begin());
    released.push_back(std::move(node.mapped()));
  }
  return released;
}

}  // namespace varrowin
