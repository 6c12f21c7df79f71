#include "framework/geometry/geometry.h"

#include <gtest/gtest.h>

#include "framework/geometry/geometry_expect.h"

namespace ondu {
namespace {

TEST(Geometry, AwarenessReachesEveryVertex) {
    Geometry g = fromWkt("POLYGON ((0 0,1 0,1 1,0 0))");
    setZAware(g, true);
    setMAware(g, true);
    EXPECT_TRUE(hasZ(g) && hasM(g));
    for (const Point& p : allVertices(g)) EXPECT_TRUE(p.zAware && p.mAware);
    setZAware(g, false);
    EXPECT_FALSE(hasZ(g));
    for (const Point& p : allVertices(g)) EXPECT_FALSE(p.zAware);
    Geometry null;
    setZAware(null, true);
    EXPECT_FALSE(hasZ(null));
}

TEST(Geometry, EmptinessOfEveryKind) {
    EXPECT_TRUE(isEmpty(Geometry{}));
    EXPECT_TRUE(isEmpty(Point{}));
    EXPECT_TRUE(isEmpty(Multipoint{}));
    Polyline pathsWithoutVertices;
    pathsWithoutVertices.paths = {Path{}, Path{}};
    EXPECT_TRUE(isEmpty(pathsWithoutVertices));
    EXPECT_FALSE(isEmpty(fromWkt("LINESTRING (0 0,1 1)")));
    EXPECT_EQ(shapeTypeOf(Geometry{}), ShapeType::Null);
    EXPECT_EQ(shapeTypeOf(fromWkt("POLYGON ((0 0,1 0,1 1,0 0))")), ShapeType::Polygon);
}

TEST(Geometry, AllVerticesRunThroughEveryPathInOrder) {
    const std::vector<Point> v = allVertices(fromWkt("MULTILINESTRING ((0 0,1 1),(2 2,3 3,4 4))"));
    ASSERT_EQ(v.size(), 5u);
    EXPECT_EQ(v[2].x, 2);
    EXPECT_EQ(v[4].y, 4);
    EXPECT_TRUE(allVertices(Point{}).empty());
}

TEST(Geometry, ClosedRingRepeatsTheFirstVertexOnce) {
    const Path open = test::line("LINESTRING (0 0,1 0,1 1)").paths[0];
    EXPECT_EQ(closedRing(open).size(), 4u);
    EXPECT_EQ(closedRing(closedRing(open)).size(), 4u);
    EXPECT_TRUE(closedRing(Path{}).empty());
}

}  // namespace
}  // namespace ondu
