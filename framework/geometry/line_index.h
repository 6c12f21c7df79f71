#pragma once
// Lines prepared for many nearest-location questions: which line lies nearest to a point, where
// on it, and the measure there, each answered in logarithmic time instead of by a walk along
// every line.
//
// The pieces of the lines (curve.h) are cut into stretches no longer than their mean length
// and the stretches' midpoints held in a k-d tree (nanoflann). The nearest midpoint gives an
// upper bound d on the nearest distance; every piece at most d away has a stretch midpoint
// within d + half a stretch, so one radius search yields all candidates, and the answer is the
// one nearestLocation gives on the whole line, ties included.

#include <cstddef>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "framework/geometry/curve.h"
#include "framework/geometry/geometry.h"

namespace ondu {

class LineIndex {
public:
    /// Indexes the lines (copied); lines without vertices are kept but never found.
    explicit LineIndex(std::vector<Polyline> lines);
    ~LineIndex();
    LineIndex(const LineIndex&) = delete;
    LineIndex& operator=(const LineIndex&) = delete;

    std::size_t size() const;
    const Polyline& line(std::size_t index) const;

    struct Nearest {
        std::size_t line = 0;    ///< index of the nearest line
        CurveLocation location;  ///< as nearestLocation(line(line), point) gives it
    };

    /// The line nearest to the point and the location on it; among lines equally near, the one
    /// listed first. Nothing when no line has a vertex or the nearest lies farther than
    /// `reach`. Throws std::invalid_argument for an empty point.
    std::optional<Nearest> nearest(const Point& point,
                                   double reach = std::numeric_limits<double>::infinity()) const;

    /// The first of measuresAtDistance(line(index), distance), found by bisection: NaN when the
    /// line carries no measures or has no vertex.
    double firstMeasureAt(std::size_t index, double distance) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// Points prepared for many nearest-point questions (a k-d tree, nanoflann): the answer is the
/// one a scan of the list in order gives, keeping the first of equally near points, with planar
/// distances as std::hypot measures them.
class PointIndex {
public:
    /// Indexes the points' X and Y (copied); empty points are kept but never found.
    explicit PointIndex(const std::vector<Point>& points);
    ~PointIndex();
    PointIndex(const PointIndex&) = delete;
    PointIndex& operator=(const PointIndex&) = delete;

    /// The position in the list of the point nearest to `point` at most `reach` away (the first
    /// listed of equally near ones); nothing when none is that near. Throws
    /// std::invalid_argument for an empty point.
    std::optional<std::size_t> nearest(
        const Point& point, double reach = std::numeric_limits<double>::infinity()) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ondu
