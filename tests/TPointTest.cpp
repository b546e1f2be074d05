#include "TPoint.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace varrowin
