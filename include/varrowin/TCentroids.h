// Yearly series of points.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <utility>

#include "Common.h"
#include "TPoint.h"

namespace varrowin {

// A series of points keyed by year, ascending, at most one point per year. Every series that
// the analytics build has the empty name.
class TCentroids {
 public:
  explicit TCentroids(std::string name = std::string()) : name_(std::move(name)) {}

  // Stores the point for the year; a point already stored for the year is replaced.
  void SetCoords(TYear year, const TPoint& point) { points_.insert_or_assign(year, point); }

  // Returns a copy of the point stored for the year.
  // Throws TError("Year does not exist.") when the year has no point; the series is unchanged.
  TPoint GetCoords(TYear year) const;

  // Returns every year that has a point, ascending.
  TYearList GetYearList() const;

  // True exactly when a point is stored for the year.
  bool YearExists(TYear year) const { return points_.count(year) != 0; }

  const std::string& GetName() const { return name_; }
  std::size_t GetNumYears() const { return points_.size(); }

  // Read-only walk over (year, point) pairs in ascending year order.
  auto begin() const { return points_.begin(); }
  auto end() const { return points_.end(); }

 private:
  std::map<TYear, TPoint> points_;
  std::string name_;
};

}  // namespace varrowin
