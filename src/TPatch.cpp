#include <varrowin/TPatch.h>

#include "LargeArrays.h"

namespace varrowin {

TPatch::TPatch(const TPatch& other)
    : name_(other.name_),
      coords_(other.coords_),
      flat_(other.flat_),
      map_(other.map_ ? std::make_unique<std::map<TYear, double>>(*other.map_) : nullptr) {}

void TPatch::ReserveYears(std::size_t n) {
  if (!map_ && n > flat_.capacity()) {
    flat_.reserve(n);
    AdviseHugePages(flat_.data(), flat_.capacity() * sizeof(double));
  }
}

TPatch& TPatch::operator=(const TPatch& other) {
  if (this != &other) {
    TPatch copy(other);
    *this = std::move(copy);
  }
  return *this;
}

void TPatch::SetOtherYear(TYear year, double value) {
  if (!map_) {
    if (flat_.empty()) {
      flat_.SetFirst(year);
      flat_.push_back(value);
      return;
    }
    const auto offset = static_cast<std::int64_t>(year) - flat_.First();
    const auto size = static_cast<std::int64_t>(flat_.size());
    if (offset >= 0 && offset < size) {
      flat_[static_cast<std::size_t>(offset)] = value;
      return;
    }
    // The year right after the run never gets here: SetYear appends it inline.
    MoveToMap();
  }
  map_->insert_or_assign(year, value);
}

void TPatch::MoveToMap() {
  auto map = std::make_unique<std::map<TYear, double>>();
  for (std::size_t i = 0; i < flat_.size(); ++i) {
    map->emplace_hint(map->end(), static_cast<TYear>(flat_.First() + static_cast<std::int64_t>(i)),
                      flat_[i]);
  }
  map_ = std::move(map);
  flat_.clear();
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
