// Yearly series of points.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Common.h"
#include "TPoint.h"

namespace varrowin {

// A series of points keyed by year, ascending, at most one point per year. Every series that
// the analytics build has the empty name.
//
// Years set in ascending order without gaps (as every series of the analytics is built) are kept
// in one contiguous array: a first year plus one point per year. Any other pattern of years moves
// the series to an ordered map, held apart; the behaviour is the same either way.
class TCentroids {
 public:
  explicit TCentroids(std::string name = std::string()) : name_(std::move(name)) {}
  TCentroids(const TCentroids& other);
  TCentroids& operator=(const TCentroids& other);
  TCentroids(TCentroids&& other) noexcept = default;
  TCentroids& operator=(TCentroids&& other) noexcept = default;
  ~TCentroids() = default;

  // Stores the point for the year; a point already stored for the year is replaced.
  void SetCoords(TYear year, const TPoint& point) {
    if (!map_ && !points_.empty() &&
        static_cast<std::int64_t>(year) - first_ == static_cast<std::int64_t>(points_.size())) {
      points_.push_back(point);
      return;
    }
    SetOtherCoords(year, point);
  }

  // Returns a copy of the point stored for the year.
  // Throws TError("Year does not exist.") when the year has no point; the series is unchanged.
  TPoint GetCoords(TYear year) const;

  // Returns every year that has a point, ascending.
  TYearList GetYearList() const;

  // True exactly when a point is stored for the year.
  bool YearExists(TYear year) const { return Find(year) != nullptr; }

  // The point stored for the year, or nullptr; valid until the next SetCoords.
  const TPoint* Find(TYear year) const {
    if (!map_) {
      const auto offset = static_cast<std::int64_t>(year) - first_;
      return (offset >= 0 && offset < static_cast<std::int64_t>(points_.size()))
                 ? &points_[static_cast<std::size_t>(offset)]
                 : nullptr;
    }
    const auto it = map_->find(year);
    return it == map_->end() ? nullptr : &it->second;
  }

  const std::string& GetName() const { return name_; }
  std::size_t GetNumYears() const { return map_ ? map_->size() : points_.size(); }

  // Makes room for n contiguous years.
  void Reserve(std::size_t n);

  // Returns the points in year order and leaves the series empty: hands the points on without a
  // copy when they are contiguous.
  std::vector<TPoint> TakePoints();

  // Read-only walk over (year, point) pairs in ascending year order.
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::pair<TYear, const TPoint&>;
    using difference_type = std::ptrdiff_t;
    using reference = value_type;
    struct pointer {
      value_type entry;
      const value_type* operator->() const { return &entry; }
    };

    const_iterator() = default;
    const_iterator(const TCentroids* owner, std::size_t index,
                   std::map<TYear, TPoint>::const_iterator it)
        : owner_(owner), index_(index), it_(it) {}

    value_type operator*() const {
      if (owner_->map_) {
        return {it_->first, it_->second};
      }
      return {static_cast<TYear>(owner_->first_ + static_cast<std::int64_t>(index_)),
              owner_->points_[index_]};
    }
    pointer operator->() const { return pointer{**this}; }
    const_iterator& operator++() {
      ++index_;
      if (owner_->map_) {
        ++it_;
      }
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator old = *this;
      ++*this;
      return old;
    }
    // Both ends of a walk come from the same series: the position decides.
    bool operator==(const const_iterator& other) const { return index_ == other.index_; }

   private:
    const TCentroids* owner_ = nullptr;
    std::size_t index_ = 0;
    std::map<TYear, TPoint>::const_iterator it_;
  };
  const_iterator begin() const {
    return {this, 0, map_ ? map_->begin() : std::map<TYear, TPoint>::const_iterator()};
  }
  const_iterator end() const {
    return {this, GetNumYears(), map_ ? map_->end() : std::map<TYear, TPoint>::const_iterator()};
  }

 private:
  void SetOtherCoords(TYear year, const TPoint& point);

  // Contiguous storage: points_[i] is the point of year first_ + i.
  TYear first_ = 0;
  std::vector<TPoint> points_;
  // General storage, in use (and points_ empty) when set.
  std::unique_ptr<std::map<TYear, TPoint>> map_;
  std::string name_;
};

}  // namespace varrowin
