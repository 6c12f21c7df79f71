#include "framework/geometry/line_index.h"

#include <gtest/gtest.h>

#include <random>

#include "framework/geometry/curve.h"

namespace ondu {
namespace {

Polyline measured(std::vector<Path> paths) {
    Polyline line;
    line.paths = std::move(paths);
    line.mAware = true;
    return line;
}

Point pm(double x, double y, double m) {
    Point p(x, y);
    p.m = m;
    p.mAware = true;
    return p;
}

/// Lines with the edges a walk along them meets: a bend back on itself, repeated vertices, a
/// path of one vertex, a jump between paths with a jump in measure, and segments of very
/// different lengths.
std::vector<Polyline> awkwardLines() {
    return {
        measured({{pm(0, 0, 0), pm(10, 0, 10), pm(10, 0, 10), pm(10, 5, 15), pm(0, 5, 25)},
                  {pm(3, 3, 100)},
                  {pm(20, 0, 200), pm(20.1, 0, 210), pm(60, 40, 300)}}),
        measured({{pm(-5, 20, 0), pm(30, 20, 7)}}),
        measured({{pm(5, 2.5, 1), pm(5, 2.5, 2)}}),  // zero length
    };
}

void expectSameLocation(const CurveLocation& a, const CurveLocation& b) {
    EXPECT_DOUBLE_EQ(a.onCurve.x, b.onCurve.x);
    EXPECT_DOUBLE_EQ(a.onCurve.y, b.onCurve.y);
    EXPECT_DOUBLE_EQ(a.distanceAlong, b.distanceAlong);
    EXPECT_DOUBLE_EQ(a.distanceFrom, b.distanceFrom);
    EXPECT_EQ(a.rightSide, b.rightSide);
}

TEST(LineIndex, AnswersAsAWalkAlongEveryLineDoes) {
    const auto lines = awkwardLines();
    const LineIndex index(lines);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> coordinate(-30, 80);
    for (int i = 0; i < 3000; ++i) {
        // Points on a coarse grid meet ties between lines and between places on one line.
        Point p(coordinate(random), coordinate(random));
        if (i % 3 == 0) p = Point(std::round(p.x / 2.5) * 2.5, std::round(p.y / 2.5) * 2.5);
        SCOPED_TRACE(std::to_string(p.x) + " " + std::to_string(p.y));
        std::size_t best = 0;
        CurveLocation expected = nearestLocation(lines[0], p);
        for (std::size_t k = 1; k < lines.size(); ++k) {
            const CurveLocation at = nearestLocation(lines[k], p);
            if (at.distanceFrom < expected.distanceFrom) best = k, expected = at;
        }
        const auto found = index.nearest(p);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->line, best);
        expectSameLocation(found->location, expected);
    }
}

TEST(LineIndex, FirstMeasureMatchesTheMeasuresAtThatDistance) {
    const auto lines = awkwardLines();
    const LineIndex index(lines);
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const double total = length(lines[k]);
        for (double d = -1; d <= total + 1; d += 0.05) {
            const auto all = measuresAtDistance(lines[k], d);
            ASSERT_FALSE(all.empty());
            EXPECT_DOUBLE_EQ(index.firstMeasureAt(k, d), all.front()) << k << " at " << d;
        }
        // The vertices themselves, where paths join and repeated vertices sit.
        for (const CurvePiece& piece : piecesOf(lines[k]))
            EXPECT_DOUBLE_EQ(index.firstMeasureAt(k, piece.start),
                             measuresAtDistance(lines[k], piece.start).front());
    }
}

TEST(LineIndex, ReachEmptyLinesAndUnmeasuredLines) {
    const LineIndex index({Polyline(), Polyline(Path{Point(0, 0), Point(10, 0)})});
    EXPECT_FALSE(index.nearest(Point(5, 3), 2.999));
    const auto inReach = index.nearest(Point(5, 3), 3);
    ASSERT_TRUE(inReach);
    EXPECT_EQ(inReach->line, 1u);
    EXPECT_TRUE(std::isnan(index.firstMeasureAt(1, 5)));
    EXPECT_FALSE(LineIndex({}).nearest(Point(0, 0)));
    EXPECT_THROW(index.nearest(Point()), std::invalid_argument);
}

TEST(LineIndex, EquallyNearLinesGoToTheFirstListed) {
    const LineIndex index({Polyline(Path{Point(0, 10), Point(10, 10)}),
                           Polyline(Path{Point(0, -10), Point(10, -10)})});
    EXPECT_EQ(index.nearest(Point(5, 0))->line, 0u);
    EXPECT_EQ(index.nearest(Point(5, -0.001))->line, 1u);
}

/// The first listed of the nearest points at most `reach` away, by a scan of the list.
std::optional<std::size_t> scannedNearest(const std::vector<Point>& points, const Point& p,
                                          double reach) {
    std::optional<std::size_t> best;
    double bestDistance = reach;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (points[i].isEmpty()) continue;
        const double d = std::hypot(points[i].x - p.x, points[i].y - p.y);
        if (d < bestDistance || (!best && d == bestDistance)) best = i, bestDistance = d;
    }
    return best;
}

TEST(PointIndex, AnswersAsAScanInListOrderDoes) {
    std::mt19937 random(3);
    std::uniform_int_distribution<int> grid(0, 40);
    std::vector<Point> points;
    // Integer positions repeat, so many points are equally near; an empty point is skipped.
    for (int i = 0; i < 500; ++i) points.emplace_back(grid(random), grid(random));
    points[17] = Point();
    const PointIndex index(points);
    std::uniform_real_distribution<double> coordinate(-10, 50);
    for (int i = 0; i < 4000; ++i) {
        Point p(coordinate(random), coordinate(random));
        if (i % 2) p = Point(std::round(p.x * 2) / 2, std::round(p.y * 2) / 2);
        const double reach = i % 3 == 0 ? 1.5 : std::numeric_limits<double>::infinity();
        EXPECT_EQ(index.nearest(p, reach), scannedNearest(points, p, reach)) << p.x << " " << p.y;
    }
}

TEST(PointIndex, ReachIsInclusiveAndEmptyListsFindNothing) {
    const PointIndex index({Point(), Point(3, 4), Point(0, 5)});
    EXPECT_EQ(index.nearest(Point(0, 0), 5), 1u);  // both at 5: the first listed
    EXPECT_FALSE(index.nearest(Point(0, 0), 4.999));
    EXPECT_FALSE(PointIndex({}).nearest(Point(0, 0)));
    EXPECT_FALSE(PointIndex({Point()}).nearest(Point(0, 0)));
    EXPECT_THROW(index.nearest(Point()), std::invalid_argument);
}

}  // namespace
}  // namespace ondu
