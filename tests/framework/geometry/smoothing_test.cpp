#include "framework/geometry/smoothing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "framework/geometry/geometry_expect.h"

namespace ondu {
namespace {

using test::geometryNear;
using test::line;

/// Index in `smoothed` of each vertex of `original`, found in order; -1 where one is missing.
std::vector<long> positionsOfVertices(const Path& original, const Path& smoothed) {
    std::vector<long> positions;
    std::size_t from = 0;
    for (const Point& v : original) {
        auto it = std::find_if(smoothed.begin() + from, smoothed.end(), [&](const Point& p) {
            return p.x == v.x && p.y == v.y && (std::isnan(v.z) || p.z == v.z) &&
                   (std::isnan(v.m) || p.m == v.m);
        });
        if (it == smoothed.end()) return {-1};
        positions.push_back(it - smoothed.begin());
        from = static_cast<std::size_t>(positions.back()) + 1;
    }
    return positions;
}

/// Change of direction at vertex i, in degrees.
double turnAt(const Path& path, std::size_t i) {
    const double in = std::atan2(path[i].y - path[i - 1].y, path[i].x - path[i - 1].x);
    const double out = std::atan2(path[i + 1].y - path[i].y, path[i + 1].x - path[i].x);
    double turn = std::abs(out - in) * 180 / std::numbers::pi;
    return turn > 180 ? 360 - turn : turn;
}

const Polyline kZigzag = line("LINESTRING ZM (0 0 10 0,10 10 8 5,20 0 6 20,30 10 4 30,40 0 2 31)");

TEST(Smooth, PassesThroughEveryVertexInOrderWithTheEndsUnchanged) {
    const Polyline s = smooth(kZigzag, 0);
    ASSERT_EQ(s.paths.size(), 1u);
    const std::vector<long> at = positionsOfVertices(kZigzag.paths[0], s.paths[0]);
    ASSERT_EQ(at.size(), kZigzag.paths[0].size());
    EXPECT_EQ(at.front(), 0);
    EXPECT_EQ(at.back(), static_cast<long>(s.paths[0].size()) - 1);
    EXPECT_GT(s.paths[0].size(), 4 * kZigzag.paths[0].size());
    EXPECT_TRUE(s.zAware && s.mAware);
}

TEST(Smooth, CornersBecomeGentle) {
    const Polyline s = smooth(kZigzag, 0);
    const std::vector<long> at = positionsOfVertices(kZigzag.paths[0], s.paths[0]);
    for (std::size_t i = 1; i + 1 < at.size(); ++i) {
        EXPECT_GT(turnAt(kZigzag.paths[0], i), 80);
        EXPECT_LT(turnAt(s.paths[0], static_cast<std::size_t>(at[i])), 15) << "vertex " << i;
    }
}

TEST(Smooth, ZAndMStayMonotoneWhereTheyWere) {
    const Polyline s = smooth(kZigzag, 0);
    const Path& p = s.paths[0];
    for (std::size_t i = 1; i < p.size(); ++i) {
        EXPECT_LE(p[i].z, p[i - 1].z) << i;
        EXPECT_GE(p[i].m, p[i - 1].m) << i;
    }
}

TEST(Smooth, StraightLineComesBackUnchanged) {
    EXPECT_TRUE(geometryNear("LINESTRING (0 0,5 0,12 0,30 0)",
                             smooth(line("LINESTRING (0 0,5 0,12 0,30 0)"), 0)));
}

TEST(Smooth, UnevenSpacingStaysCloseToTheLine) {
    // A uniform spline swings about ten units wide around the short corner span; the centripetal
    // one stays within about one.
    const Polyline input = line("LINESTRING (0 0,100 0,101 1,101 100)");
    const Polyline s = smooth(input, 0);
    for (const Point& p : s.paths[0]) {
        EXPECT_GE(p.x, -1e-9);
        EXPECT_LE(p.x, 101 + 2);
        EXPECT_GE(p.y, -2);
        EXPECT_LE(p.y, 100 + 1e-9);
    }
}

TEST(Smooth, RepeatedVerticesAreKeptWithTheirValues) {
    const Polyline input = line("LINESTRING Z (0 0 1,10 10 2,10 10 3,20 0 4)");
    const Polyline s = smooth(input, 0);
    const Path& p = s.paths[0];
    EXPECT_EQ(positionsOfVertices(input.paths[0], p).size(), 4u);
}

TEST(Smooth, ShortLinesAreLeftAlone) {
    for (const char* wkt : {"LINESTRING (0 0,10 5)", "LINESTRING (3 3,3 3,3 3)", "LINESTRING EMPTY",
                            "MULTILINESTRING ((1 1,2 2),(5 5,6 5))"})
        EXPECT_TRUE(geometryNear(wkt, smooth(line(wkt), 0))) << wkt;
}

TEST(Smooth, ClosedPathIsSmoothWhereItCloses) {
    const Polyline square = line("LINESTRING (0 0,10 0,10 10,0 10,0 0)");
    const Polyline s = smooth(square, 0);
    const Path& p = s.paths[0];
    EXPECT_TRUE(geometryNear("POINT (0 0)", p.front()));
    EXPECT_TRUE(geometryNear("POINT (0 0)", p.back()));
    const double closingTurn = turnAt(Path{p[p.size() - 2], p[0], p[1]}, 1);
    EXPECT_LT(closingTurn, 15);
}

TEST(Smooth, PositiveOffsetFirstDropsVerticesWithinIt) {
    const Polyline wobbly = line("LINESTRING (0 0,5 0.1,10 0,15 -0.1,20 0)");
    EXPECT_TRUE(geometryNear("LINESTRING (0 0,20 0)", smooth(wobbly, 1)));
    EXPECT_EQ(positionsOfVertices(wobbly.paths[0], smooth(wobbly, 0).paths[0]).size(), 5u);
}

TEST(Smooth, NegativeOffsetIsRefused) {
    EXPECT_THROW(smooth(kZigzag, -1), std::invalid_argument);
    EXPECT_THROW(smooth(kZigzag, std::nan("")), std::invalid_argument);
}

}  // namespace
}  // namespace ondu
