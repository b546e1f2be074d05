#include <varrowin/TPoint.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace varrowin {
namespace {

TEST(TPointTest, DiffIsReceiverMinusArgumentAndDistanceTakesBothAxes) {
  const TPoint d = TPoint(5, 7).Diff(TPoint(2, 3));
  EXPECT_EQ(d.X(), 3);
  EXPECT_EQ(d.Y(), 4);
  const TPoint r = TPoint(2, 3).Diff(TPoint(5, 7));
  EXPECT_EQ(r.X(), -3);
  EXPECT_EQ(r.Y(), -4);
  EXPECT_EQ(TPoint(5, 7).Distance(TPoint(2, 3)), 5);
  EXPECT_EQ(TPoint(1, 1).Distance(TPoint(4, -3)), 5);
  EXPECT_EQ(TPoint(0, 2).Distance(TPoint(0, -1)), 3);
  EXPECT_EQ(TPoint(-1.25, 1e300).Distance(TPoint(-1.25, 1e300)), 0);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(std::isnan(TPoint(nan, 0).Distance(TPoint(0, 0))));
}

TEST(TPointTest, CloneIsIndependentAndAccessorsWriteThrough) {
  TPoint p(1, 2);
  TPoint c = p.Clone();
  c.X() = 10;
  p.Y() = 20;
  EXPECT_EQ(p.X(), 1);
  EXPECT_EQ(p.Y(), 20);
  EXPECT_EQ(c.X(), 10);
  EXPECT_EQ(c.Y(), 2);
}

}  // namespace
}  // namespace varrowin
