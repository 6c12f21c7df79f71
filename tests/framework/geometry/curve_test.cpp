#include "framework/geometry/curve.h"

#include <gtest/gtest.h>

#include <cmath>

#include "framework/geometry/geometry_expect.h"

namespace ondu {
namespace {

using test::geometryNear;
using test::line;
using test::point;

const Polyline kEast = line("LINESTRING (0 0,10 0)");
const Polyline kWest = line("LINESTRING (10 0,0 0)");
const Polyline kLeftBend = line("LINESTRING (0 0,10 0,10 10)");
const Polyline kRightBend = line("LINESTRING (0 0,10 0,10 -10)");
const Polyline kMeasured = line("LINESTRING ZM (0 0 10 100,10 0 20 200)");

// ---- length and ends ---------------------------------------------------------------------

TEST(CurveLength, GapsBetweenPathsCountNothing) {
    EXPECT_DOUBLE_EQ(length(line("MULTILINESTRING ((0 0,3 4),(10 10,10 20))")), 15.0);
    EXPECT_TRUE(
        geometryNear("POINT (0 0)", fromPoint(line("MULTILINESTRING ((0 0,3 4),(10 10,10 20))"))));
    EXPECT_TRUE(
        geometryNear("POINT (10 20)", toPoint(line("MULTILINESTRING ((0 0,3 4),(10 10,10 20))"))));
}

TEST(CurveLength, EmptyLineHasNoLengthAndNoEnds) {
    EXPECT_EQ(length(Polyline{}), 0.0);
    EXPECT_TRUE(fromPoint(Polyline{}).isEmpty());
    EXPECT_TRUE(toPoint(Polyline{}).isEmpty());
}

// ---- point at a distance -----------------------------------------------------------------

TEST(QueryPoint, DistancesBeyondBothEndsAreClamped) {
    EXPECT_TRUE(geometryNear("POINT (0 0)", queryPoint(kEast, -5)));
    EXPECT_TRUE(geometryNear("POINT (10 0)", queryPoint(kEast, 15)));
    EXPECT_TRUE(geometryNear("POINT (10 0)", queryPoint(kEast, 1.5, true)));
}

TEST(QueryPoint, RatioIsAFractionOfTheWholeLength) {
    EXPECT_TRUE(geometryNear("POINT (10 5)", queryPoint(kLeftBend, 0.75, true)));
}

TEST(QueryPoint, ZAndMAreInterpolatedAlongTheSegment) {
    EXPECT_TRUE(geometryNear("POINT ZM (2.5 0 12.5 125)", queryPoint(kMeasured, 2.5)));
    EXPECT_TRUE(geometryNear("POINT (2.5 0)", queryPoint(kEast, 2.5)));
}

TEST(QueryPoint, PositiveOffsetsGoRightOnBothDigitisingDirections) {
    EXPECT_TRUE(geometryNear("POINT (4 -2)", queryPoint(kEast, 4, false, 2)));
    EXPECT_TRUE(geometryNear("POINT (4 2)", queryPoint(kEast, 4, false, -2)));
    EXPECT_TRUE(geometryNear("POINT (6 2)", queryPoint(kWest, 4, false, 2)));
    EXPECT_TRUE(geometryNear("POINT (6 -2)", queryPoint(kWest, 4, false, -2)));
}

TEST(QueryPoint, AtAVertexTheOffsetFollowsTheSegmentThatBeginsThere) {
    EXPECT_TRUE(geometryNear("POINT (11 0)", queryPoint(kLeftBend, 10, false, 1)));
    EXPECT_TRUE(geometryNear("POINT (11 10)", queryPoint(kLeftBend, 20, false, 1)));
    EXPECT_TRUE(geometryNear("POINT (0 -1)", queryPoint(kLeftBend, 0, false, 1)));
}

TEST(QueryPoint, DuplicateCoordinatesArePassedOver) {
    const Polyline doubled = line("LINESTRING (0 0,5 0,5 0,10 0)");
    EXPECT_TRUE(geometryNear("POINT (5 -1)", queryPoint(doubled, 5, false, 1)));
    EXPECT_TRUE(geometryNear("POINT (7 -1)", queryPoint(doubled, 7, false, 1)));
}

TEST(QueryPoint, DistanceWherePathsMeetBelongsToTheNextPath) {
    const Polyline twoPaths = line("MULTILINESTRING ((0 0,10 0),(20 0,20 10))");
    EXPECT_TRUE(geometryNear("POINT (21 0)", queryPoint(twoPaths, 10, false, 1)));
    EXPECT_TRUE(geometryNear("POINT (20 5)", queryPoint(twoPaths, 15)));
}

TEST(QueryPoint, TangentExtensionContinuesStraightAndKeepsTheEndValues) {
    const Polyline z = line("LINESTRING Z (0 0 1,10 0 2)");
    EXPECT_TRUE(
        geometryNear("POINT Z (-5 0 1)", queryPoint(z, -5, false, 0, CurveExtension::Tangent)));
    EXPECT_TRUE(
        geometryNear("POINT Z (25 0 2)", queryPoint(z, 2.5, true, 0, CurveExtension::Tangent)));
    EXPECT_TRUE(
        geometryNear("POINT Z (25 -1 2)", queryPoint(z, 25, false, 1, CurveExtension::Tangent)));
}

TEST(QueryPoint, ZeroLengthLineGivesItsVertexButNoSideways) {
    const Polyline dot = line("LINESTRING Z (3 4 5,3 4 6)");
    EXPECT_TRUE(geometryNear("POINT Z (3 4 5)", queryPoint(dot, 0.5, true)));
    EXPECT_THROW(queryPoint(dot, 0, false, 1), std::invalid_argument);
    EXPECT_THROW(queryNormal(dot, 0, false, 1), std::invalid_argument);
}

TEST(QueryPoint, BadInputIsRefused) {
    EXPECT_THROW(queryPoint(Polyline{}, 0), std::invalid_argument);
    EXPECT_THROW(queryPoint(kEast, std::nan("")), std::invalid_argument);
    EXPECT_THROW(queryPoint(kEast, 1, false, HUGE_VAL), std::invalid_argument);
}

// ---- normals and tangents ----------------------------------------------------------------

TEST(QueryNormal, PositiveLengthPointsRight) {
    EXPECT_TRUE(geometryNear("LINESTRING (5 0,5 -3)", queryNormal(kEast, 5, false, 3)));
    EXPECT_TRUE(geometryNear("LINESTRING (5 0,5 3)", queryNormal(kEast, 0.5, true, -3)));
    EXPECT_TRUE(geometryNear("LINESTRING (5 0,5 3)", queryNormal(kWest, 5, false, 3)));
}

TEST(QueryNormal, ZeroLengthNormalIsAPointLine) {
    EXPECT_TRUE(geometryNear("LINESTRING (5 0,5 0)", queryNormal(kEast, 5, false, 0)));
}

TEST(QueryTangent, FollowsTheLineAndNegativeLengthPointsBack) {
    EXPECT_TRUE(geometryNear("LINESTRING (10 0,10 4)", queryTangent(kLeftBend, 10, false, 4)));
    EXPECT_TRUE(geometryNear("LINESTRING (0 0,-3 0)", queryTangent(kEast, 0, false, -3)));
    EXPECT_TRUE(geometryNear("LINESTRING ZM (2.5 0 12.5 125,3.5 0 12.5 125)",
                             queryTangent(kMeasured, 2.5, false, 1)));
}

// ---- nearest location --------------------------------------------------------------------

void expectLocation(const CurveLocation& loc, const char* wkt, double along, double from,
                    bool right) {
    EXPECT_TRUE(geometryNear(wkt, loc.onCurve));
    EXPECT_NEAR(loc.distanceAlong, along, 1e-9);
    EXPECT_NEAR(loc.distanceFrom, from, 1e-9);
    EXPECT_EQ(loc.rightSide, right);
}

TEST(NearestLocation, FootInsideASegmentWithItsSide) {
    expectLocation(nearestLocation(kEast, point("POINT (5 3)")), "POINT (5 0)", 5, 3, false);
    expectLocation(nearestLocation(kEast, point("POINT (5 -3)")), "POINT (5 0)", 5, 3, true);
    expectLocation(nearestLocation(kWest, point("POINT (5 3)")), "POINT (5 0)", 5, 3, true);
}

TEST(NearestLocation, BeyondAnEndGivesThatEndWithSideOfTheEndSegment) {
    expectLocation(nearestLocation(kEast, point("POINT (13 -4)")), "POINT (10 0)", 10, 5, true);
    expectLocation(nearestLocation(kEast, point("POINT (-3 4)")), "POINT (0 0)", 0, 5, false);
}

TEST(NearestLocation, PointOnTheLineIsOnNeitherSide) {
    expectLocation(nearestLocation(kLeftBend, point("POINT (10 4)")), "POINT (10 4)", 14, 0, false);
}

TEST(NearestLocation, SideAroundABendFollowsTheRegion) {
    // Left bend: the outer corner region is on the right, the inner on the left.
    EXPECT_TRUE(nearestLocation(kLeftBend, point("POINT (12 -2)")).rightSide);
    EXPECT_FALSE(nearestLocation(kLeftBend, point("POINT (8 2)")).rightSide);
    // Right bend: the other way round.
    EXPECT_FALSE(nearestLocation(kRightBend, point("POINT (12 2)")).rightSide);
    EXPECT_TRUE(nearestLocation(kRightBend, point("POINT (8 -2)")).rightSide);
}

TEST(NearestLocation, EquallyNearPlacesGiveTheFirstAlongTheLine) {
    const Polyline loop = line("LINESTRING (0 0,10 0,10 10,0 10,0 0)");
    expectLocation(nearestLocation(loop, point("POINT (5 5)")), "POINT (5 0)", 5, 5, false);
    expectLocation(nearestLocation(loop, point("POINT (0 0)")), "POINT (0 0)", 0, 0, false);
}

TEST(NearestLocation, ZAndMOfTheFootAndDistanceAcrossPaths) {
    expectLocation(nearestLocation(kMeasured, point("POINT (7.5 1)")), "POINT ZM (7.5 0 17.5 175)",
                   7.5, 1, false);
    const Polyline twoPaths = line("MULTILINESTRING ((0 0,10 0),(20 0,20 10))");
    expectLocation(nearestLocation(twoPaths, point("POINT (21 4)")), "POINT (20 4)", 14, 1, true);
}

TEST(NearestLocation, EmptyInputIsRefused) {
    EXPECT_THROW(nearestLocation(Polyline{}, point("POINT (1 1)")), std::invalid_argument);
    EXPECT_THROW(nearestLocation(kEast, Point{}), std::invalid_argument);
}

// ---- measures ----------------------------------------------------------------------------

using Ms = std::vector<double>;

TEST(MeasuresAtDistance, OneValueInsideAndAtSharedVertices) {
    const Polyline m = line("LINESTRING M (0 0 0,10 0 100,20 0 150)");
    EXPECT_EQ(measuresAtDistance(m, 2.5), Ms{25});
    EXPECT_EQ(measuresAtDistance(m, 10), Ms{100});
    EXPECT_EQ(measuresAtDistance(m, 0.75, true), Ms{125});
}

TEST(MeasuresAtDistance, TwoValuesWhereTheLineJumps) {
    EXPECT_EQ(measuresAtDistance(line("MULTILINESTRING M ((0 0 0,10 0 10),(10 0 50,20 0 60))"), 10),
              (Ms{10, 50}));
    EXPECT_EQ(measuresAtDistance(line("LINESTRING M (0 0 0,5 0 5,5 0 7,10 0 12)"), 5), (Ms{5, 7}));
}

TEST(MeasuresAtDistance, ClampedToTheEnds) {
    const Polyline m = line("LINESTRING M (0 0 3,10 0 8)");
    EXPECT_EQ(measuresAtDistance(m, -1), Ms{3});
    EXPECT_EQ(measuresAtDistance(m, 99), Ms{8});
}

TEST(MeasuresAtDistance, NoMeasuresGiveNothingAndUnsetGiveNaN) {
    EXPECT_TRUE(measuresAtDistance(kEast, 5).empty());
    Polyline unset = kEast;
    unset.mAware = true;
    const Ms values = measuresAtDistance(unset, 5);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_TRUE(std::isnan(values[0]));
}

TEST(SetMeasuresByDistance, HalfwayAlongTheLengthIsHalfway) {
    EXPECT_TRUE(geometryNear("LINESTRING M (0 0 0,3 4 50,3 9 100)",
                             setMeasuresByDistance(line("LINESTRING (0 0,3 4,3 9)"), 0, 100)));
}

TEST(SetMeasuresByDistance, MeasuresDecreaseWhenStartIsLarger) {
    EXPECT_TRUE(
        geometryNear("LINESTRING ZM (0 0 1 250,100 0 2 150,250 0 3 0)",
                     setMeasuresByDistance(line("LINESTRING Z (0 0 1,100 0 2,250 0 3)"), 250, 0)));
}

TEST(SetMeasuresByDistance, GapsBetweenPathsCountNothing) {
    EXPECT_TRUE(geometryNear(
        "MULTILINESTRING M ((0 0 0,10 0 50),(50 0 50,60 0 100))",
        setMeasuresByDistance(line("MULTILINESTRING ((0 0,10 0),(50 0,60 0))"), 0, 100)));
}

TEST(SetMeasuresByDistance, ZeroLengthLineGetsStartThenEnd) {
    EXPECT_TRUE(geometryNear("LINESTRING M (1 1 5,1 1 5,1 1 9)",
                             setMeasuresByDistance(line("LINESTRING (1 1,1 1,1 1)"), 5, 9)));
}

// ---- densify -----------------------------------------------------------------------------

TEST(Densify, ExactMultipleGivesPiecesOfTheMaximum) {
    const Polyline dense = densify(line("LINESTRING (0 0,1000 0)"), 100);
    ASSERT_EQ(dense.vertexCount(), 11u);
    EXPECT_TRUE(geometryNear("POINT (300 0)", dense.paths[0][3]));
    EXPECT_EQ(densify(line("LINESTRING (0 0,0 300)"), 2).vertexCount(), 151u);
    EXPECT_EQ(densify(line("LINESTRING (0 0,0.9 0)"), 0.3).vertexCount(), 4u);
}

TEST(Densify, OtherLengthsGetEqualPiecesNoLongerThanTheMaximum) {
    EXPECT_TRUE(geometryNear("LINESTRING ZM (0 0 0 0,1 0 1 10,2 0 2 20,3 0 3 30,4 0 3 30,5 0 3 30)",
                             densify(line("LINESTRING ZM (0 0 0 0,3 0 3 30,5 0 3 30)"), 1.2)));
}

TEST(Densify, BadMaximumIsRefused) {
    for (double bad : {0.0, -1.0, std::nan(""), HUGE_VAL})
        EXPECT_THROW(densify(kEast, bad), std::invalid_argument) << bad;
    EXPECT_THROW(densify(line("LINESTRING (0 0,1000000000 0)"), 0.001), std::invalid_argument);
}

// ---- split and insert --------------------------------------------------------------------

TEST(SplitAtDistance, InsideASegmentBothPartsHoldTheCutPoint) {
    const auto [before, after] = splitAtDistance(kMeasured, 4);
    EXPECT_TRUE(geometryNear("LINESTRING ZM (0 0 10 100,4 0 14 140)", before));
    EXPECT_TRUE(geometryNear("LINESTRING ZM (4 0 14 140,10 0 20 200)", after));
}

TEST(SplitAtDistance, AtAVertexTheVertexEndsOneAndStartsTheOther) {
    const auto [before, after] = splitAtDistance(kLeftBend, 0.5, true);
    EXPECT_TRUE(geometryNear("LINESTRING (0 0,10 0)", before));
    EXPECT_TRUE(geometryNear("LINESTRING (10 0,10 10)", after));
}

TEST(SplitAtDistance, AtEitherEndOneSideIsEmpty) {
    for (double d : {0.0, -3.0}) {
        const auto [before, after] = splitAtDistance(kLeftBend, d);
        EXPECT_TRUE(before.paths.empty());
        EXPECT_TRUE(geometryNear("LINESTRING (0 0,10 0,10 10)", after));
    }
    for (double d : {20.0, 25.0}) {
        const auto [before, after] = splitAtDistance(kLeftBend, d);
        EXPECT_TRUE(geometryNear("LINESTRING (0 0,10 0,10 10)", before));
        EXPECT_TRUE(after.paths.empty());
    }
}

TEST(SplitAtDistance, WherePathsMeetThePathsAreSeparated) {
    const auto [before, after] =
        splitAtDistance(line("MULTILINESTRING ((0 0,10 0),(20 0,20 10))"), 10);
    EXPECT_TRUE(geometryNear("LINESTRING (0 0,10 0)", before));
    EXPECT_TRUE(geometryNear("LINESTRING (20 0,20 10)", after));
}

TEST(SplitAtDistance, RepeatedCutsGivePiecesThatAddUpToTheWhole) {
    Polyline rest = line("LINESTRING (0 0,300 0,300 400,1000 400)");
    double total = 0;
    int pieces = 0;
    while (length(rest) > 150) {
        auto [piece, remainder] = splitAtDistance(rest, 150);
        EXPECT_NEAR(length(piece), 150, 1e-9);
        total += length(piece);
        ++pieces;
        rest = remainder;
    }
    EXPECT_EQ(pieces, 9);
    EXPECT_NEAR(total + length(rest), 1400, 1e-9);
}

TEST(SplitAtDistances, CutsInsideSegmentsAtVerticesAndNowhereElse) {
    struct Case {
        const char* edge;
        std::vector<double> distances;
        const char* expected;
    };
    const Case cases[] = {
        {"inside a segment, values interpolated", {4}, "MULTILINESTRING ZM ((0 0 10 100,4 0 14 140),(4 0 14 140,10 0 20 200))"},
        {"at and beyond both ends", {-1, 0, 10, 12}, "LINESTRING ZM (0 0 10 100,10 0 20 200)"},
        {"a repeated distance cuts once", {5, 5}, "MULTILINESTRING ZM ((0 0 10 100,5 0 15 150),(5 0 15 150,10 0 20 200))"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.edge);
        EXPECT_TRUE(geometryNear(c.expected, splitAtDistances(kMeasured, c.distances)));
    }
    EXPECT_TRUE(geometryNear("MULTILINESTRING ((0 0,10 0),(10 0,10 10))",
                             splitAtDistances(kLeftBend, {10})));
    // Where one path ends and the next begins the paths are already apart.
    EXPECT_TRUE(geometryNear("MULTILINESTRING ((0 0,10 0),(20 0,20 5),(20 5,20 10))",
                             splitAtDistances(line("MULTILINESTRING ((0 0,10 0),(20 0,20 10))"),
                                              {10, 15})));
}

TEST(SplitAtDistances, SummedDistancesLeaveNoSliversAtVertices) {
    // Vertices every 0.1 and cuts every 0.1 summed up: rounding must not cut beside a vertex.
    Path path;
    for (int i = 0; i <= 100; ++i) path.push_back(Point(i * 0.1, 0));
    std::vector<double> distances;
    for (int k = 1; k < 100; ++k) distances.push_back(k * 0.1);
    const Polyline pieces = splitAtDistances(Polyline(path), distances);
    ASSERT_EQ(pieces.paths.size(), 100u);
    for (const Path& piece : pieces.paths) EXPECT_NEAR(length(Polyline(piece)), 0.1, 1e-9);
}

TEST(SplitAtDistances, BadDistancesAreRefused) {
    EXPECT_THROW(splitAtDistances(kEast, {5, 2}), std::invalid_argument);
    EXPECT_THROW(splitAtDistances(kEast, {std::nan("")}), std::invalid_argument);
}

TEST(InsertVertexAtDistance, AddsAVertexOnlyWhereThereIsNone) {
    EXPECT_TRUE(geometryNear("LINESTRING ZM (0 0 10 100,2.5 0 12.5 125,10 0 20 200)",
                             insertVertexAtDistance(kMeasured, 0.25, true)));
    EXPECT_TRUE(geometryNear("LINESTRING (0 0,10 0,10 10)", insertVertexAtDistance(kLeftBend, 10)));
    EXPECT_TRUE(geometryNear("LINESTRING (0 0,10 0,10 10)", insertVertexAtDistance(kLeftBend, 30)));
}

// ---- offset ----------------------------------------------------------------------------

TEST(OffsetCurve, PositiveGoesRightAndKeepsTheDirection) {
    EXPECT_TRUE(geometryNear("LINESTRING (0 -2,10 -2)", offsetCurve(kEast, 2)));
    EXPECT_TRUE(geometryNear("LINESTRING (0 2,10 2)", offsetCurve(kEast, -2)));
    EXPECT_TRUE(geometryNear("LINESTRING (10 2,0 2)", offsetCurve(kWest, 2)));
}

TEST(OffsetCurve, CornersAreMitredAndValuesKept) {
    EXPECT_TRUE(geometryNear("LINESTRING (0 -1,11 -1,11 10)", offsetCurve(kLeftBend, 1)));
    EXPECT_TRUE(geometryNear("LINESTRING (0 1,9 1,9 10)", offsetCurve(kLeftBend, -1)));
    EXPECT_TRUE(
        geometryNear("LINESTRING ZM (0 -2 10 100,10 -2 20 200)", offsetCurve(kMeasured, 2)));
}

TEST(OffsetCurve, TurningBackIsBevelledAndWideOffsetsKeepTheirShape) {
    EXPECT_TRUE(geometryNear("LINESTRING (0 -2,12 -2,12 3,0 3)",
                             offsetCurve(line("LINESTRING (0 0,10 0,10 1,0 1)"), 2)));
    EXPECT_TRUE(geometryNear("LINESTRING (0 -1,10 -1,10 1,0 1)",
                             offsetCurve(line("LINESTRING (0 0,10 0,0 0)"), 1)));
}

TEST(OffsetCurve, ClosedPathStaysClosedAndDegeneratePathsGo) {
    EXPECT_TRUE(geometryNear("LINESTRING (-2 -2,12 -2,12 12,-2 12,-2 -2)",
                             offsetCurve(line("LINESTRING (0 0,10 0,10 10,0 10,0 0)"), 2)));
    EXPECT_TRUE(offsetCurve(line("MULTILINESTRING ((1 1),(2 2,2 2))"), 1).paths.empty());
    EXPECT_THROW(offsetCurve(kEast, std::nan("")), std::invalid_argument);
}

TEST(ReverseOrientation, PathsAndVerticesRunTheOtherWay) {
    EXPECT_TRUE(geometryNear("MULTILINESTRING ((3 0,2 0),(1 0,0 0))",
                             reverseOrientation(line("MULTILINESTRING ((0 0,1 0),(2 0,3 0))"))));
}


TEST(CurveWalker, GivesQueryPointsAnswersEverywhere) {
    // Clamped ends, vertices, a zero-length segment, a gap between paths, offsets both ways.
    const Polyline lines[] = {kLeftBend, kMeasured,
                              line("MULTILINESTRING ZM ((0 0 1 0,3 4 2 5,3 4 3 5,6 0 4 10),"
                                   "(20 0 5 10,20 10 6 20))")};
    for (const Polyline& l : lines) {
        const CurveWalker walker(l);
        EXPECT_DOUBLE_EQ(walker.length(), length(l));
        for (double d = -2; d <= length(l) + 2; d += 0.25) {
            for (double offset : {0.0, 1.5, -2.0}) {
                const Point expected = queryPoint(l, d, false, offset);
                const Point got = walker.pointAt(d, offset);
                EXPECT_EQ(got.x, expected.x) << d;
                EXPECT_EQ(got.y, expected.y) << d;
                EXPECT_TRUE(std::isnan(expected.z) ? std::isnan(got.z) : got.z == expected.z);
                EXPECT_TRUE(std::isnan(expected.m) ? std::isnan(got.m) : got.m == expected.m);
            }
        }
    }
    EXPECT_THROW(CurveWalker(line("LINESTRING (1 1,1 1)")).pointAt(0, 1), std::invalid_argument);
    EXPECT_THROW(CurveWalker(kEast).pointAt(kNaN), std::invalid_argument);
}

}  // namespace
}  // namespace ondu
