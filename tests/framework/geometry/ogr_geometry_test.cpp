#include "framework/host/ogr_geometry.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>

#include "framework/geometry/geometry_expect.h"

namespace ondu {
namespace {

using test::geometryNear;

class WktRoundTrip : public ::testing::TestWithParam<const char*> {};

TEST_P(WktRoundTrip, ReadingAndWritingGivesTheSameText) {
    EXPECT_EQ(toWkt(fromWkt(GetParam())), GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    EveryKindAndFlag, WktRoundTrip,
    ::testing::Values("POINT (1 2)", "POINT Z (1 2 3)", "POINT M (1 2 4)", "POINT ZM (1 2 3 4)",
                      "POINT EMPTY", "MULTIPOINT ((0 0),(1.5 -2))", "LINESTRING (0 0,10 0)",
                      "LINESTRING ZM (0 0 1 2,1 1 1 3)", "LINESTRING EMPTY", "LINESTRING Z EMPTY",
                      "MULTILINESTRING ((0 0,1 1),(2 2,3 3))",
                      "POLYGON ((0 0,10 0,10 10,0 10,0 0),(2 2,2 4,4 4,4 2,2 2))",
                      "MULTIPOLYGON (((0 0,1 0,1 1,0 0)),((5 5,6 5,6 6,5 5)))", "POLYGON EMPTY",
                      "GEOMETRYCOLLECTION EMPTY", "LINESTRING (0.1 123456.789,0.0000001 -3.25)"));

TEST(OgrGeometry, CoordinatesPassBitForBit) {
    const double awkward[] = {0.1 + 0.2, 1.0 / 3.0, 123456789.123456789, -1e-300, 6.02214076e23};
    Path path;
    for (double v : awkward) path.emplace_back(v, -v, v * 7, v / 7);
    const Polyline original(path, true, true);

    const auto back = std::get<Polyline>(fromOgr(toOgr(original).get()));

    ASSERT_EQ(back.paths.size(), 1u);
    ASSERT_EQ(back.paths[0].size(), path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        const Point& a = path[i];
        const Point& b = back.paths[0][i];
        EXPECT_EQ(std::bit_cast<std::uint64_t>(a.x), std::bit_cast<std::uint64_t>(b.x));
        EXPECT_EQ(std::bit_cast<std::uint64_t>(a.y), std::bit_cast<std::uint64_t>(b.y));
        EXPECT_EQ(std::bit_cast<std::uint64_t>(a.z), std::bit_cast<std::uint64_t>(b.z));
        EXPECT_EQ(std::bit_cast<std::uint64_t>(a.m), std::bit_cast<std::uint64_t>(b.m));
    }
}

TEST(OgrGeometry, FlagsReachEveryVertex) {
    const auto measured = std::get<Polyline>(fromWkt("LINESTRING M (0 0 5,1 0 6)"));
    EXPECT_FALSE(measured.zAware);
    EXPECT_TRUE(measured.mAware);
    for (const Point& p : measured.paths[0]) {
        EXPECT_FALSE(p.zAware);
        EXPECT_TRUE(p.mAware);
        EXPECT_TRUE(std::isnan(p.z));
    }
}

TEST(OgrGeometry, NullShapeIsNoOgrGeometryAndBack) {
    EXPECT_EQ(toOgr(Geometry{}), nullptr);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(fromOgr(nullptr)));
}

TEST(OgrGeometry, RingsAreGroupedByNestingNotByOrder) {
    Polygon a;
    a.rings = {test::line("LINESTRING (2 2,4 2,4 4,2 4,2 2)").paths[0],  // hole stored first
               test::line("LINESTRING (0 0,0 10,10 10,10 0,0 0)").paths[0],
               test::line("LINESTRING (20 0,30 0,30 10,20 0)").paths[0]};
    EXPECT_EQ(toWkt(a),
              "MULTIPOLYGON (((0 0,0 10,10 10,10 0,0 0),(2 2,4 2,4 4,2 4,2 2)),"
              "((20 0,30 0,30 10,20 0)))");
}

TEST(OgrGeometry, IslandInsideAHoleIsAnOuterRingAgain) {
    Polygon a;
    a.rings = {test::line("LINESTRING (0 0,10 0,10 10,0 10,0 0)").paths[0],
               test::line("LINESTRING (2 2,8 2,8 8,2 8,2 2)").paths[0],
               test::line("LINESTRING (4 4,6 4,6 6,4 6,4 4)").paths[0]};
    const std::vector<RingGroup> groups = groupRings(a);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].shell, 0u);
    EXPECT_EQ(groups[0].holes, std::vector<std::size_t>{1});
    EXPECT_EQ(groups[1].shell, 2u);
    EXPECT_TRUE(groups[1].holes.empty());
}

TEST(OgrGeometry, OpenRingIsClosedOnTheWayOut) {
    Polygon a;
    a.rings = {test::line("LINESTRING (0 0,4 0,4 3)").paths[0]};
    EXPECT_EQ(toWkt(a), "POLYGON ((0 0,4 0,4 3,0 0))");
}

TEST(OgrGeometry, LayerTypeDecidesSingleOrMulti) {
    const Geometry single = fromWkt("LINESTRING Z (0 0 1,1 1 2)");
    auto asMulti = toOgr(single, wkbMultiLineString25D);
    EXPECT_EQ(asMulti->getGeometryType(), wkbMultiLineString25D);

    const Geometry onePolygon = fromWkt("MULTIPOLYGON (((0 0,1 0,1 1,0 0)))");
    EXPECT_EQ(toOgr(onePolygon, wkbPolygon)->getGeometryType(), wkbPolygon);

    const Geometry twoPaths = fromWkt("MULTILINESTRING ((0 0,1 1),(2 2,3 3))");
    EXPECT_EQ(toOgr(twoPaths, wkbLineString)->getGeometryType(), wkbMultiLineString);
}

TEST(OgrGeometry, PathsMeetingEndToEndGoIntoALineLayerAsOneLine) {
    const Geometry parts = fromWkt("MULTILINESTRING Z ((0 0 1,1 1 2),(1 1 2,2 2 3),(2 2 3,2 2 3))");
    EXPECT_EQ(toWkt(fromOgr(toOgr(parts, wkbLineString25D).get())),
              "LINESTRING Z (0 0 1,1 1 2,2 2 3,2 2 3)");
    // A multi-line layer keeps the parts.
    EXPECT_EQ(toOgr(parts, wkbMultiLineString25D)->toGeometryCollection()->getNumGeometries(), 3);
}

TEST(OgrGeometry, CollectionOfOneDimensionBecomesThatShape) {
    EXPECT_TRUE(geometryNear("MULTILINESTRING ((0 0,1 1),(2 2,3 3))",
                             fromWkt("GEOMETRYCOLLECTION (LINESTRING (0 0,1 1),"
                                     "MULTILINESTRING ((2 2,3 3)))")));
    EXPECT_TRUE(geometryNear("MULTIPOINT ((1 2))", fromWkt("GEOMETRYCOLLECTION (POINT (1 2))")));
}

TEST(OgrGeometry, CurvesAreReadAsLines) {
    const auto arc = std::get<Polyline>(fromWkt("CIRCULARSTRING (-1 0,0 1,1 0)"));
    ASSERT_EQ(arc.paths.size(), 1u);
    EXPECT_GT(arc.paths[0].size(), 3u);
    for (const Point& p : arc.paths[0]) EXPECT_NEAR(std::hypot(p.x, p.y), 1.0, 1e-9);
}

TEST(OgrGeometry, BadTextIsRefused) {
    for (const char* bad : {"LINESTRING (0 0,", "POINT (1 2) trailing", "", "CIRCLE (0 0)",
                            "GEOMETRYCOLLECTION (POINT (1 2),LINESTRING (0 0,1 1))"}) {
        EXPECT_THROW(fromWkt(bad), std::invalid_argument) << bad;
    }
}

}  // namespace
}  // namespace ondu
