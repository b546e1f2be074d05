// One habitat patch: name, coordinates and population per year.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "Common.h"
#include "TPoint.h"

namespace varrowin {

// The values of a patch's consecutive years from a first year: the first kInPlace values in the
// object itself, more in one array on the heap. Patches of a few years, as a grid of a million
// cells over two years makes, then need no allocation of their own, and the object takes 32
// bytes. Has the operations of std::vector that TPatch uses.
class TYearValues {
 public:
  static constexpr std::size_t kInPlace = 2;
  // The most values it holds.
  static constexpr std::size_t kMaxSize = std::numeric_limits<std::uint32_t>::max();

  TYearValues() = default;
  TYearValues(const TYearValues& other) : first_(other.first_) { Append(other); }
  TYearValues& operator=(const TYearValues& other) {
    if (this != &other) {
      TYearValues copy(other);
      *this = std::move(copy);
    }
    return *this;
  }
  TYearValues(TYearValues&& other) noexcept
      : heap_(std::move(other.heap_)),
        room_(std::exchange(other.room_, TRoom{})),
        size_(std::exchange(other.size_, 0)),
        first_(other.first_) {}
  TYearValues& operator=(TYearValues&& other) noexcept {
    heap_ = std::move(other.heap_);
    room_ = std::exchange(other.room_, TRoom{});
    size_ = std::exchange(other.size_, 0);
    first_ = other.first_;
    return *this;
  }
  ~TYearValues() = default;

  // The year of the first value.
  TYear First() const { return first_; }
  void SetFirst(TYear first) { first_ = first; }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::size_t capacity() const { return heap_ ? room_.capacity : kInPlace; }
  double* data() { return heap_ ? heap_.get() : room_.inPlace.data(); }
  const double* data() const { return heap_ ? heap_.get() : room_.inPlace.data(); }
  double& operator[](std::size_t i) { return data()[i]; }
  const double& operator[](std::size_t i) const { return data()[i]; }

  // Throws std::length_error when it holds kMaxSize values already.
  void push_back(double value) {
    const std::size_t count = size_;
    if (count == capacity()) {
      Grow(std::max<std::size_t>(2 * count, count + 1));
    }
    size_ = static_cast<std::uint32_t>(count + 1);
    data()[count] = value;
  }
  void reserve(std::size_t n) {
    if (n > capacity()) {
      Grow(n);
    }
  }
  // Empties the values and gives back the heap array.
  void clear() {
    heap_.reset();
    room_ = TRoom{};
    size_ = 0;
  }

 private:
  // The values in place while there is no heap array, the capacity of the heap array otherwise.
  union TRoom {
    std::array<double, kInPlace> inPlace;
    std::size_t capacity;
  };

  void Grow(std::size_t n) {
    if (size_ == kMaxSize) {
      throw std::length_error("Too many years in a patch");
    }
    n = std::min(n, kMaxSize);
    auto grown = std::make_unique_for_overwrite<double[]>(n);
    std::copy(data(), data() + size_, grown.get());
    heap_ = std::move(grown);
    room_.capacity = n;
  }
  void Append(const TYearValues& other) {
    reserve(other.size_);
    std::copy(other.data(), other.data() + other.size_, data());
    size_ = other.size_;
  }

  std::unique_ptr<double[]> heap_;
  TRoom room_{};
  std::uint32_t size_ = 0;
  TYear first_ = 0;
};

// A named patch with map coordinates and, for each simulated year, its population.
//
// Years set in ascending order without gaps (as the MP file reader and the clones set them) are
// kept in one contiguous array: a first year plus one double per year. Any other pattern of years
// moves the patch to an ordered map, held apart so that the contiguous case stays small; the
// behaviour is the same either way.
class TPatch {
 public:
  // First and last year reported by a patch that has no year.
  static constexpr TYear kNoFirstYear = 99999999;
  static constexpr TYear kNoLastYear = 0;

  TPatch(std::string name, double x, double y) : name_(std::move(name)), coords_(x, y) {}
  TPatch(const TPatch& other);
  TPatch& operator=(const TPatch& other);
  TPatch(TPatch&& other) noexcept = default;
  TPatch& operator=(TPatch&& other) noexcept = default;
  ~TPatch() = default;

  // Stores the value for the year, replacing any value stored for it.
  void SetYear(TYear year, double value) {
    // The common case, a year right after the last of a contiguous run, stays inline.
    if (!map_ && !flat_.empty() &&
        static_cast<std::int64_t>(year) - flat_.First() ==
            static_cast<std::int64_t>(flat_.size())) {
      flat_.push_back(value);
      return;
    }
    SetOtherYear(year, value);
  }

  // Returns the value stored for the year.
  // Throws TError("Year does not exist") when the year has none; the patch is unchanged.
  double GetYear(TYear year) const;

  // True exactly when a value is stored for the year.
  bool HasYear(TYear year) const { return FindYear(year) != nullptr; }

  // Returns a pointer to the value stored for the year, or nullptr when there is none. The
  // pointer is valid until the next SetYear on this patch, or until the patch is moved.
  const double* FindYear(TYear year) const {
    if (!map_) {
      const auto offset = static_cast<std::int64_t>(year) - flat_.First();
      return (offset >= 0 && offset < static_cast<std::int64_t>(flat_.size()))
                 ? &flat_[static_cast<std::size_t>(offset)]
                 : nullptr;
    }
    const auto it = map_->find(year);
    return it == map_->end() ? nullptr : &it->second;
  }

  // Returns every year that has a value, ascending.
  TYearList GetYearList() const;

  // The smallest and largest year that has a value; kNoFirstYear and kNoLastYear without years.
  TYear GetMinYear() const {
    if (GetNumYears() == 0) {
      return kNoFirstYear;
    }
    return map_ ? map_->begin()->first : flat_.First();
  }
  TYear GetMaxYear() const {
    if (GetNumYears() == 0) {
      return kNoLastYear;
    }
    return map_ ? map_->rbegin()->first
                : static_cast<TYear>(flat_.First() + static_cast<std::int64_t>(flat_.size()) - 1);
  }

  double GetX() const { return coords_.X(); }
  double GetY() const { return coords_.Y(); }
  const TPoint& GetCoords() const { return coords_; }
  const std::string& GetName() const { return name_; }
  std::size_t GetNumYears() const { return map_ ? map_->size() : flat_.size(); }

  // Returns a new patch with the same name and coordinates and no years.
  TPatch ShallowClone() const { return TPatch(name_, coords_.X(), coords_.Y()); }

  // Returns an independent copy with equal name, coordinates, years and values.
  TPatch Clone() const { return *this; }

  // Sets every year of this patch, with its value, on target; the target keeps its name, its
  // coordinates and the years this patch does not have.
  void DeepClone(TPatch& target) const;

  // Calls f(year, value) for every year, ascending. When f returns a bool, the walk stops at
  // the first false.
  template <class F>
  void ForEachYear(F&& f) const {
    constexpr bool kStoppable = std::is_same_v<std::invoke_result_t<F&, TYear, double>, bool>;
    if (map_) {
      for (const auto& entry : *map_) {
        if constexpr (kStoppable) {
          if (!f(entry.first, entry.second)) {
            return;
          }
        } else {
          f(entry.first, entry.second);
        }
      }
      return;
    }
    for (std::size_t i = 0; i < flat_.size(); ++i) {
      const auto year = static_cast<TYear>(flat_.First() + static_cast<std::int64_t>(i));
      if constexpr (kStoppable) {
        if (!f(year, flat_[i])) {
          return;
        }
      } else {
        f(year, flat_[i]);
      }
    }
  }

  // Calls f(year, value) for every year from first to last (both included), ascending.
  template <class F>
  void ForEachYearIn(TYear first, TYear last, F&& f) const {
    if (map_) {
      for (auto it = map_->lower_bound(first); it != map_->end() && it->first <= last; ++it) {
        f(it->first, it->second);
      }
      return;
    }
    const std::int64_t from = std::max<std::int64_t>(std::int64_t{first} - flat_.First(), 0);
    const std::int64_t to = std::min<std::int64_t>(std::int64_t{last} - flat_.First() + 1,
                                                   static_cast<std::int64_t>(flat_.size()));
    for (std::int64_t i = from; i < to; ++i) {
      f(static_cast<TYear>(flat_.First() + i), flat_[static_cast<std::size_t>(i)]);
    }
  }

  // Makes room for n contiguous years, so that a loader that knows the count allocates once.
  void ReserveYears(std::size_t n);

 private:
  void SetOtherYear(TYear year, double value);
  void MoveToMap();

  std::string name_;
  TPoint coords_;
  // Contiguous storage: flat_[i] is the value of year flat_.First() + i.
  TYearValues flat_;
  // General storage, in use (and flat_ empty) when set.
  std::unique_ptr<std::map<TYear, double>> map_;
};

}  // namespace varrowin
