#pragma once
// Curve operations on polylines: length and end points, points, normals and tangents at a
// distance along, the nearest location to a point, measures, densifying, splitting and
// offsetting.
//
// Rules shared by every operation here:
// - The paths of a polyline are one curve, taken in order: distances run on from the end of one
//   path to the start of the next, and the gap between two paths adds nothing.
// - Distances and lengths are planar (X and Y only).
// - A ratio is a fraction of the length: 0 is the start, 1 the end.
// - Distances beyond either end are clamped to that end unless a function says otherwise.
// - A location at a vertex belongs to the segment that begins there (the end of the line belongs
//   to its last segment); segments of zero length are passed over. This decides the direction
//   that offsets, normals and tangents take at a vertex.
// - Offsets across the line are positive to the right of its digitised direction and negative
//   to the left.
// - A constructed point carries Z and M when the line does, interpolated linearly along the
//   segment it lies on (an unset Z or M stays unset); otherwise it has neither.
// - Operations that place something on the line throw std::invalid_argument for a line without
//   vertices, for distances or offsets that are not finite numbers, and, where they need a
//   direction, for a line whose length is zero.

#include <span>
#include <utility>
#include <optional>
#include <vector>

#include "framework/geometry/geometry.h"

namespace ondu {

/// Planar length of all paths; 0 for an empty line.
double length(const Polyline& line);

/// The first vertex of the first path, or an empty point when the line has no vertex.
Point fromPoint(const Polyline& line);

/// The last vertex of the last path, or an empty point when the line has no vertex.
Point toPoint(const Polyline& line);

/// Whether a distance beyond an end is clamped or continues straight on along the end segment.
enum class CurveExtension { None, Tangent };

/// The point at `distance` along the line (a fraction of its length when `asRatio`), moved
/// sideways by `offset` (positive to the right). With CurveExtension::Tangent a distance beyond
/// an end continues along the direction of the end segment, and the point takes that end
/// vertex's Z and M. On a line of zero length the point is its first vertex; an offset other
/// than 0 has no direction there and throws.
Point queryPoint(const Polyline& line, double distance, bool asRatio = false, double offset = 0.0,
                 CurveExtension extension = CurveExtension::None);

/// A line prepared for many queryPoint questions: the same points, each found by bisection over
/// the line's segments instead of a walk along them.
class CurveWalker {
public:
    explicit CurveWalker(Polyline line);
    const Polyline& line() const { return line_; }
    double length() const { return length_; }
    /// queryPoint(line(), distance, false, offset), with the same rules and failures.
    Point pointAt(double distance, double offset = 0.0) const;

private:
    struct Span {
        std::size_t part = 0;
        std::size_t vertex = 0;
        double start = 0;
        double length = 0;
    };
    Polyline line_;
    std::vector<Span> spans_;  ///< the segments that have a length, in line order
    double length_ = 0;
};

/// A two-vertex line from the point at `distance` along the line, perpendicular to it and
/// `normalLength` long: to the right for a positive length, to the left for a negative one. Both
/// vertices carry the Z and M of the point on the line.
Polyline queryNormal(const Polyline& line, double distance, bool asRatio, double normalLength);

/// A two-vertex line from the point at `distance` along the line in the line's direction there,
/// `tangentLength` long (backwards for a negative length). Both vertices carry the Z and M of the
/// point on the line.
Polyline queryTangent(const Polyline& line, double distance, bool asRatio, double tangentLength);

/// Where a point meets a line most closely.
struct CurveLocation {
    Point onCurve;             ///< the nearest point of the line (Z and M interpolated)
    double distanceAlong = 0;  ///< distance along the line to onCurve
    double distanceFrom = 0;   ///< planar distance from the point to onCurve, never negative
    bool rightSide = false;    ///< the point lies to the right of the line (false when on it)
};

/// The location on the line nearest to `point`, without extending the line beyond its ends: a
/// point beyond an end gets that end, with the side judged against the end segment. When
/// several locations are equally near, the first along the line wins. Near a vertex where the
/// line bends, the side is that of the bend's outer or inner region the point lies in.
CurveLocation nearestLocation(const Polyline& line, const Point& point);

/// A piece of a line for nearest-location searches: the segment from vertex `vertex` of path
/// `part` to the next one, or the lone vertex of a path that has only one; `start` is its
/// distance along the line. Spatial indexes hold pieces and hand back the few near a point.
struct CurvePiece {
    std::size_t part = 0;
    std::size_t vertex = 0;
    double start = 0;
};

/// Every piece of the line, in line order (zero-length segments included).
std::vector<CurvePiece> piecesOf(const Polyline& line);

/// The planar distance from the point to the piece, never negative.
double distanceToPiece(const Polyline& line, const CurvePiece& piece, const Point& point);

/// nearestLocation searched among `candidates` only: the same answer whenever they hold every
/// piece at least as near to the point as the nearest one. Throws std::invalid_argument when
/// there is no candidate or the point is empty.
CurveLocation nearestLocationAmong(const Polyline& line, const Point& point,
                                   std::span<const CurvePiece> candidates);

/// The measures of the line at `distance` along it (clamped), in line order. Normally one value;
/// two where the line reaches that distance at two vertices with different measures (the end of
/// one path and the start of the next, or the ends of a zero-length segment). Unset measures
/// come as NaN. Empty when the line carries no measures or has no vertex.
std::vector<double> measuresAtDistance(const Polyline& line, double distance, bool asRatio = false);

/// A measured copy of the line: the first vertex gets `startM`, the last `endM`, and the vertices
/// between a measure interpolated linearly by their distance along the line (decreasing when
/// startM > endM). On a line of zero length every vertex but the last gets startM.
Polyline setMeasuresByDistance(const Polyline& line, double startM, double endM);

/// A copy in which every segment longer than `maxSegmentLength` is divided into the fewest equal
/// pieces no longer than it; the new vertices get interpolated Z and M. Throws
/// std::invalid_argument for a length that is not a positive finite number, or when the result
/// would hold more than 10 million vertices.
Polyline densify(const Polyline& line, double maxSegmentLength);

/// The line cut at `distance` along it (clamped) into the part before and the part after. Both
/// hold the cut point, with interpolated Z and M, unless it falls on a vertex, which then ends
/// one part and starts the other; a cut where one path ends and the next begins separates the
/// paths. A cut at either end leaves that side without any path.
std::pair<Polyline, Polyline> splitAtDistance(const Polyline& line, double distance,
                                              bool asRatio = false);

/// A copy with a vertex added at `distance` along the line (clamped), with interpolated Z and
/// M, in the path it falls on; unchanged when a vertex is there already (the ends included).
Polyline insertVertexAtDistance(const Polyline& line, double distance, bool asRatio = false);

/// The line offset sideways by `distance` (positive to the right), each path on its own and in
/// its own direction, with one vertex for each vertex of the path carrying its Z and M: the
/// offset segments meet at mitred corners, so straight runs keep exactly that distance. Where a
/// path nearly turns back on itself (a mitre longer than ten times the distance) the corner is
/// bevelled with two vertices instead. A closed path stays closed. Loops that form on the inner
/// side of bends tighter than the distance are left in place. Paths of no length give nothing.
/// Throws std::invalid_argument for a distance that is not a finite number.
Polyline offsetCurve(const Polyline& line, double distance);

/// A copy running the other way: the paths in reverse order, each with its vertices reversed.
Polyline reverseOrientation(const Polyline& line);

/// The line cut at every distance along it in `distances` (ascending), in one pass: the result
/// holds the paths of the line with each cut ending one path and starting the next, as
/// splitAtDistance cuts (the cut point, with interpolated Z and M, ends one piece and starts the
/// other; a cut on a vertex splits there). Distances at or beyond either end, where one path ends
/// and the next begins, or repeating the previous one cut nothing. Throws std::invalid_argument
/// for distances that are not finite numbers or not ascending.
Polyline splitAtDistances(const Polyline& line, const std::vector<double>& distances);

/// The smallest vertex elevation of the line (+infinity for a line with no vertex).
double GetLowestPt(const Polyline& line);

/// Where a cross-section, walked segment by segment from its start, first meets the level `z`:
/// a vertex at exactly `z` is returned itself whichever way its segment runs; otherwise the first
/// segment that runs down through `z` (up through it when `climbing`), within 0.001 of
/// elevation, holds the point, at the fraction (za - z) / (za - zb) of the segment kept within
/// the segment (a level segment gives its start), with Z and M interpolated. Z-aware. Nothing
/// when no segment qualifies.
std::optional<Point> meetLevel(const Polyline& line, double z, bool climbing);

}  // namespace ondu
