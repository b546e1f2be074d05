#include <varrowin/TCentroids.h>

#include "LargeArrays.h"

namespace varrowin {

TCentroids::TCentroids(const TCentroids& other)
    : first_(other.first_),
      points_(other.points_),
      map_(other.map_ ? std::make_unique<std::map<TYear, TPoint>>(*other.map_) : nullptr),
      name_(other.name_) {}

TCentroids& TCentroids::operator=(const TCentroids& other) {
  if (this != &other) {
    TCentroids copy(other);
    *this = std::move(copy);
  }
  return *this;
}

void TCentroids::SetOtherCoords(TYear year, const TPoint& point) {
  if (!map_) {
    if (points_.empty()) {
      first_ = year;
      points_.push_back(point);
      return;
    }
    const auto offset = static_cast<std::int64_t>(year) - first_;
    if (offset >= 0 && offset < static_cast<std::int64_t>(points_.size())) {
      points_[static_cast<std::size_t>(offset)] = point;
      return;
    }
    // The year right after the run never gets here: SetCoords appends it inline.
    auto map = std::make_unique<std::map<TYear, TPoint>>();
    for (std::size_t i = 0; i < points_.size(); ++i) {
      map->emplace_hint(map->end(), static_cast<TYear>(first_ + static_cast<std::int64_t>(i)),
                        points_[i]);
    }
    map_ = std::move(map);
    points_.clear();
    points_.shrink_to_fit();
  }
  map_->insert_or_assign(year, point);
}

void TCentroids::Reserve(std::size_t n) {
  if (!map_ && n > points_.capacity()) {
    points_.reserve(n);
    AdviseHugePages(points_.data(), points_.capacity() * sizeof(TPoint));
  }
}

TPoint TCentroids::GetCoords(TYear year) const {
  const TPoint* point = Find(year);
  if (point == nullptr) {
    throw TError("Year does not exist.");
  }
  return *point;
}

TYearList TCentroids::GetYearList() const {
  TYearList years;
  years.reserve(GetNumYears());
  AdviseHugePages(years.data(), years.capacity() * sizeof(TYear));
  for (const auto& entry : *this) {
    years.push_back(entry.first);
  }
  return years;
}

std::vector<TPoint> TCentroids::TakePoints() {
  std::vector<TPoint> points;
  if (map_) {
    points.reserve(map_->size());
    for (const auto& entry : *map_) {
      points.push_back(entry.second);
    }
    map_.reset();
  } else {
    points = std::move(points_);
    points_ = std::vector<TPoint>();
  }
  first_ = 0;
  return points;
}

}  // namespace varrowin
