#include <varrowin/TPatch.h>

namespace varrowin {

void TPatch::SetOtherYear(TYear year, double value) {
  if (!sparse_) {
    if (flat_.empty()) {
      first_ = year;
      flat_.push_back(value);
      return;
    }
    const auto offset = static_cast<std::int64_t>(year) - first_;
    const auto size = static_cast<std::int64_t>(flat_.size());
    if (offset >= 0 && offset < size) {
      flat_[static_cast<std::size_t>(offset)] = value;
      return;
    }
    // The year right after the run never gets here: SetYear appends it inline.
    MoveToMap();
  }
  map_.insert_or_assign(year, value);
}

void TPatch::MoveToMap() {
  for (std::size_t i = 0; i < flat_.size(); ++i) {
    map_.emplace_hint(map_.end(), static_cast<TYear>(first_ + static_cast<std::int64_t>(i)),
                      flat_[i]);
  }
  flat_.clear();
  flat_.shrink_to_fit();
  sparse_ = true;
}

double TPatch::GetYear(TYear year) const {
  const double* value = FindYear(year);
  if (value == nullptr) {
    throw TError("Year does not exist");
  }
  return *value;
}

TYearList TPatch::GetYearList() const {
  TYearList years;
  years.reserve(GetNumYears());
  ForEachYear([&years](TYear year, double /*value*/) { years.push_back(year); });
  return years;
}

void TPatch::DeepClone(TPatch& target) const {
  ForEachYear([&target](TYear year, double value) { target.SetYear(year, value); });
}

}  // namespace varrowin
