#include "TPoint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace varrowin {
namespace {

TEST(TPointTest, DiffIsReceiverMinusArgument) {
  const TPoint a(5, 7);
  const TPoint b(2, 3);
  const TPoint d = a.Diff(b);
  EXPECT_EQ(d.X(), 3);
  EXPECT_EQ(d.Y(), 4);
  const TPoint r = b.Diff(a);
  EXPECT_EQ(r.X(), -3);
  EXPECT_EQ(r.Y(), -4);
  EXPECT_EQ(a.Distance(b), 5);
  EXPECT_EQ(b.Distance(a), 5);
}

TEST(TPointTest, PointAgainstItself) {
  const TPoint p(-1.25, 1e300);
  const TPoint d = p.Diff(p);
  EXPECT_EQ(d.X(), 0);
  EXPECT_EQ(d.Y(), 0);
  EXPECT_EQ(p.Distance(p), 0);
}

TEST(TPointTest, DistanceTakesBothAxesAndKeepsNaN) {
  EXPECT_EQ(TPoint(1, 1).Distance(TPoint(4, -3)), 5);
  EXPECT_EQ(TPoint(0, 2).Distance(TPoint(0, -1)), 3);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(std::isnan(TPoint(nan, 0).Distance(TPoint(0, 0))));
}

TEST(TPointTest, CloneIsIndependentAndAccessorsWriteThrough) {
  TPoint p(1, 2);
  TPoint c = p.Clone();
  EXPECT_EQ(c.X(), 1);
  EXPECT_EQ(c.Y(), 2);
  c.X() = 10;
  p.Y() = 20;
  EXPECT_EQ(p.X(), 1);
  EXPECT_EQ(p.Y(), 20);
  EXPECT_EQ(c.X(), 10);
  EXPECT_EQ(c.Y(), 2);
}

}  // namespace
}  // namespace varrowin
