// Planar points.
#pragma once

namespace varrowin {

// A planar point with X and Y map coordinates.
class TPoint {
 public:
  TPoint(double x, double y) : x_(x), y_(y) {}

  // Access to the coordinates themselves.
  double& X() { return x_; }
  double& Y() { return y_; }
  double X() const { return x_; }
  double Y() const { return y_; }

  // Returns the new point (this.X - other.X, this.Y - other.Y): the receiver minus the argument.
  TPoint Diff(const TPoint& other) const { return {x_ - other.x_, y_ - other.y_}; }

  // Returns an independent copy with the same coordinates.
  TPoint Clone() const { return *this; }

  // Returns the Euclidean distance to other.
  double Distance(const TPoint& other) const;

 private:
  double x_;
  double y_;
};

}  // namespace varrowin
