#include "framework/geometry/topology.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "framework/geometry/geometry_expect.h"

namespace ondu {
namespace {

using test::geometryNear;
using test::line;
using test::polygon;

const Polygon kSquare = polygon("POLYGON ((0 0,10 0,10 10,0 10,0 0))");
const Polygon kSquareWithHole =
    polygon("POLYGON ((0 0,10 0,10 10,0 10,0 0),(4 4,4 6,6 6,6 4,4 4))");

// ---- meeting points ----------------------------------------------------------------------

TEST(IntersectPoints, TwoCrossingLinesMeetOnce) {
    EXPECT_TRUE(geometryNear(
        "MULTIPOINT ((5 5))",
        intersectPoints(line("LINESTRING (0 0,10 10)"), line("LINESTRING (0 10,10 0)"))));
}

TEST(IntersectPoints, LinesThatDoNotMeetGiveNothing) {
    EXPECT_TRUE(
        intersectPoints(line("LINESTRING (0 0,10 0)"), line("LINESTRING (0 1,10 1)")).isEmpty());
}

TEST(IntersectPoints, SeveralCrossingsComeInOrderAlongTheFirstLine) {
    const Polyline meander = line("LINESTRING (25 0,25 10,15 10,15 0,5 0,5 10)");
    EXPECT_TRUE(geometryNear("MULTIPOINT ((5 5),(15 5),(25 5))",
                             intersectPoints(line("LINESTRING (0 5,30 5)"), meander)));
    EXPECT_TRUE(geometryNear("MULTIPOINT ((25 5),(15 5),(5 5))",
                             intersectPoints(line("LINESTRING (30 5,0 5)"), meander)));
}

TEST(IntersectPoints, PolygonMeetsByItsOutline) {
    EXPECT_TRUE(geometryNear("MULTIPOINT ((0 5),(10 5))",
                             intersectPoints(line("LINESTRING (-5 5,15 5)"), kSquare)));
    EXPECT_TRUE(intersectPoints(line("LINESTRING (2 5,8 5)"), kSquare).isEmpty());
    EXPECT_TRUE(intersectPoints(line("LINESTRING (5 5,5 5)"), kSquare).isEmpty());
}

TEST(IntersectPoints, OverlapGivesTheEndsOfTheSharedStretch) {
    EXPECT_TRUE(geometryNear(
        "MULTIPOINT ((5 0),(10 0))",
        intersectPoints(line("LINESTRING (0 0,10 0)"), line("LINESTRING (20 0,5 0)"))));
}

TEST(IntersectPoints, ZAndMComeFromTheFirstLineCarryingThem) {
    const Polyline zm = line("LINESTRING ZM (0 0 0 0,10 10 10 100)");
    const Polyline z = line("LINESTRING Z (0 10 50,10 0 60)");
    EXPECT_TRUE(geometryNear("MULTIPOINT ZM ((5 5 5 50))", intersectPoints(zm, z)));
    EXPECT_TRUE(geometryNear("MULTIPOINT ZM ((5 5 55 50))", intersectPoints(z, zm)));
}

// ---- buffer ------------------------------------------------------------------------------

TEST(Buffer, PointBufferIsACircleOfThatRadius) {
    const Polygon circle = buffer(test::point("POINT (100 200)"), 5);
    ASSERT_EQ(circle.rings.size(), 1u);
    EXPECT_EQ(circle.rings[0].size(), 4u * 64 + 1);
    for (const Point& p : circle.rings[0]) EXPECT_NEAR(std::hypot(p.x - 100, p.y - 200), 5, 1e-9);
    EXPECT_NEAR(area(circle), std::numbers::pi * 25, std::numbers::pi * 25 * 1e-3);
}

TEST(Buffer, NegativeDistanceShrinksAPolygon) {
    EXPECT_NEAR(area(buffer(kSquare, -2)), 36, 1e-9);
    EXPECT_TRUE(buffer(kSquare, -6).isEmpty());
}

TEST(Buffer, EmptyShapeGivesEmptyPolygonAndBadDistanceIsRefused) {
    EXPECT_TRUE(buffer(Polyline{}, 5).isEmpty());
    EXPECT_THROW(buffer(kSquare, std::nan("")), std::invalid_argument);
}

// ---- cut ---------------------------------------------------------------------------------

TEST(Cut, LineAcrossGivesLeftAndRightPiecesThatAddUp) {
    const CutParts parts = cut(kSquare, line("LINESTRING (-1 4,11 4)"));
    EXPECT_NEAR(area(parts.left), 60, 1e-9);
    EXPECT_NEAR(area(parts.right), 40, 1e-9);
    const CutParts reversed = cut(kSquare, line("LINESTRING (11 4,-1 4)"));
    EXPECT_NEAR(area(reversed.left), 40, 1e-9);
    EXPECT_NEAR(area(reversed.right), 60, 1e-9);
}

TEST(Cut, HolesStayHoles) {
    const CutParts parts = cut(kSquareWithHole, line("LINESTRING (-1 5,11 5)"));
    EXPECT_NEAR(area(parts.left), 48, 1e-9);
    EXPECT_NEAR(area(parts.right), 48, 1e-9);
}

TEST(Cut, CutterCrossingTwiceGivesPiecesOnBothSides) {
    const CutParts parts = cut(kSquare, line("LINESTRING (-1 3,11 3,11 7,-1 7)"));
    EXPECT_NEAR(area(parts.left), 40, 1e-9);
    EXPECT_NEAR(area(parts.right), 60, 1e-9);
    EXPECT_EQ(parts.right.rings.size(), 2u);
}

TEST(Cut, CutterThatMissesLeavesThePolygonWholeOnItsSide) {
    const CutParts parts = cut(kSquare, line("LINESTRING (20 0,20 10)"));
    EXPECT_NEAR(area(parts.left), 100, 1e-9);
    EXPECT_TRUE(parts.right.isEmpty());
}

TEST(Cut, EmptyInput) {
    EXPECT_THROW(cut(kSquare, Polyline{}), std::invalid_argument);
    const CutParts parts = cut(Polygon{}, line("LINESTRING (0 0,1 1)"));
    EXPECT_TRUE(parts.left.isEmpty() && parts.right.isEmpty());
}

// ---- area --------------------------------------------------------------------------------

TEST(Area, HolesAreTakenOutWhateverTheRingOrientation) {
    EXPECT_DOUBLE_EQ(area(kSquareWithHole), 96);
    EXPECT_DOUBLE_EQ(area(polygon("POLYGON ((0 0,0 10,10 10,10 0,0 0),(4 4,6 4,6 6,4 6,4 4))")),
                     96);
}

TEST(Area, OtherShapesHaveNone) {
    EXPECT_EQ(area(line("LINESTRING (0 0,10 0,10 10,0 0)")), 0);
    EXPECT_EQ(area(Geometry{}), 0);
    EXPECT_EQ(area(Polygon{}), 0);
}

// ---- validity ----------------------------------------------------------------------------

TEST(IsValid, RingsThatCrossThemselvesOrHaveNoInsideAreInvalid) {
    EXPECT_TRUE(isValid(kSquareWithHole));
    EXPECT_FALSE(isValid(polygon("POLYGON ((0 0,10 10,10 0,0 10,0 0))")));
    Polygon flat;
    flat.rings.push_back({Point(0, 0), Point(1, 1), Point(0, 0)});
    EXPECT_FALSE(isValid(flat));
}

}  // namespace
}  // namespace ondu
