#include <varrowin/TPoint.h>

#include <cmath>

namespace varrowin {

double TPoint::Distance(const TPoint& other) const {
  const double dx = x_ - other.x_;
  const double dy = y_ - other.y_;
  return std::sqrt(dx * dx + dy * dy);
}

}  // namespace varrowin
