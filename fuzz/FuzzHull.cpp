// libFuzzer target: FindConvexHull on arbitrary doubles (16 bytes per point: X then Y, any bit
// pattern, so denormals, values near the largest double, infinities and not-a-numbers all occur),
// checked against an exact brute-force hull. Up to 10 points per input keep the check fast.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <varrowin/TPointTools.h>

#include "ExactOrientation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kMaxPoints = 10;
  std::vector<varrowin::TPoint> points;
  std::vector<varrowin::exact::TXY> xys;
  for (std::size_t at = 0; at + 16 <= size && points.size() < kMaxPoints; at += 16) {
    double x = 0.0;
    double y = 0.0;
    std::memcpy(&x, data + at, sizeof x);
    std::memcpy(&y, data + at + 8, sizeof y);
    points.emplace_back(x, y);
    xys.push_back({x, y});
  }
  std::vector<varrowin::exact::TXY> hull;
  for (const varrowin::TPoint& p : varrowin::TPointTools::FindConvexHull(points)) {
    hull.push_back({p.X(), p.Y()});
  }
  const std::string fault = varrowin::exact::HullFault(xys, hull);
  if (!fault.empty()) {
    std::fprintf(stderr, "FuzzHull: %s\n", fault.c_str());
    for (const auto& p : xys) {
      std::fprintf(stderr, "  point %a %a\n", p.x, p.y);
    }
    for (const auto& p : hull) {
      std::fprintf(stderr, "  hull %a %a\n", p.x, p.y);
    }
    std::abort();
  }
  return 0;
}
