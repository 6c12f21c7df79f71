#include "framework/geometry/circle.h"

#include <gtest/gtest.h>

#include <cmath>

namespace ondu {
namespace {

TEST(CircleThroughPoints, FindsTheCircleOfABendFarFromTheOrigin) {
    // A quarter bend of radius 50 in projected coordinates of a few million units.
    const double cx = 500000, cy = 4000000;
    auto circle = circleThroughPoints(Point(cx + 50, cy),
                                      Point(cx + 50 / std::sqrt(2.0), cy + 50 / std::sqrt(2.0)),
                                      Point(cx, cy + 50));
    ASSERT_TRUE(circle);
    EXPECT_NEAR(circle->radius, 50, 1e-6);
    EXPECT_NEAR(circle->centre.x, cx, 1e-6);
    EXPECT_NEAR(circle->centre.y, cy, 1e-6);
}

TEST(CircleThroughPoints, CountsPointsWithinTheToleranceOfTheChordAsStraight) {
    const Point a(0, 0), c(100, 0);
    EXPECT_FALSE(circleThroughPoints(a, Point(50, 0), c));
    EXPECT_FALSE(circleThroughPoints(a, Point(50, 0.9 * kCollinearTolerance * 100), c));
    auto justBent = circleThroughPoints(a, Point(50, 1.1 * kCollinearTolerance * 100), c);
    ASSERT_TRUE(justBent);
    EXPECT_GT(justBent->radius, 1e9);  // far above any class's upper bound
}

TEST(CircleThroughPoints, TreatsCoincidentEndsAsNoBend) {
    EXPECT_FALSE(circleThroughPoints(Point(1, 1), Point(5, 3), Point(1, 1)));
    EXPECT_FALSE(circleThroughPoints(Point(1, 1), Point(1, 1), Point(1, 1)));
}

}  // namespace
}  // namespace ondu
