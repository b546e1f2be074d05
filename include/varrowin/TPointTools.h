// Planar geometry on points.
#pragma once

#include <vector>

#include "TPoint.h"

namespace varrowin::TPointTools {

// Returns the vertex mean of the points (not-a-number coordinates for an empty list).
TPoint FindCentroid(const std::vector<TPoint>& points);

// Returns the pseudo-angle, in [0, 360), of the direction from p2 to p1; it orders directions as
// the counter-clockwise angle from the positive X axis does.
double Theta(const TPoint& p1, const TPoint& p2);

// Returns the area of the triangle a, b, c by Heron's formula; a flat triangle gives 0.
double Heron(const TPoint& a, const TPoint& b, const TPoint& c);

// Returns the area of the convex polygon whose vertices are given in order around it; fewer than
// three vertices give 0.
double FindConvexPolygonArea(const std::vector<TPoint>& polygon);

// Returns the convex hull of the points: every hull vertex once, none that lies on an edge,
// counter-clockwise from the lowest point (smallest Y, then smallest X). Every turn is decided
// exactly, so this holds for all finite coordinates, denormal and near the largest double alike.
// Points with a not-a-number or infinite coordinate are left out. The input is unchanged.
std::vector<TPoint> FindConvexHull(const std::vector<TPoint>& points);

}  // namespace varrowin::TPointTools
