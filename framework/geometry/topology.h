#pragma once
// Topological operations through GEOS: meeting points, buffers and cutting polygons; and areas.
//
// GEOS works in X, Y and Z and does not carry M: shapes built by GEOS come without measures,
// and with Z only where GEOS keeps it. Meeting points are the exception: they take Z and M from
// the lines they lie on (see intersectPoints).

#include "framework/geometry/geometry.h"

namespace ondu {

/// The points where a and b meet: crossings and touches, and where the two overlap along a
/// stretch, the stretch's end points. A polygon takes part by its outline, so a line inside a
/// polygon meets it only where it crosses or touches the outline. No point appears twice.
/// When a is a polyline or polygon the points are ordered by their distance along it (along its
/// outline, rings in stored order), otherwise they come in GEOS's order. Each point takes Z (and
/// M) from the first of a and b that is a polyline or polygon carrying Z (M), interpolated where
/// the point lies on it; the result carries Z (M) only when such an operand exists. Empty when
/// the two do not meet.
Multipoint intersectPoints(const Geometry& a, const Geometry& b);

/// Whether the segments from a to b and from c to d have a point in common (GEOS's segment
/// intersector, planar): the quick test for searches that only ask whether lines meet.
bool segmentsMeet(const Point& a, const Point& b, const Point& c, const Point& d);

/// The area within `distance` of the shape (a circle is drawn with 64 segments per quarter), or
/// for a polygon and a negative distance the polygon shrunk by that much; an empty polygon when
/// nothing is left or the shape is empty.
Polygon buffer(const Geometry& g, double distance);

/// The two sides of a polygon cut by a line, each possibly of several pieces.
struct CutParts {
    Polygon left;   ///< pieces to the left of the cutter's digitised direction
    Polygon right;  ///< pieces to the right
};

/// The polygon divided along the cutter: the outline and the cutter are noded together, the faces
/// formed inside the polygon are its pieces, and each piece goes to the side of the cutter on
/// which a point inside it lies (judged as nearestLocation does). A cutter that does not divide
/// the polygon leaves it whole on the side where it lies. Throws std::invalid_argument for a
/// cutter without vertices.
CutParts cut(const Polygon& polygon, const Polyline& cutter);

/// The area of a polygon: outer rings count, holes are taken out (rings grouped as groupRings
/// does, whatever their orientation). 0 for other shapes and for an empty polygon.
double area(const Geometry& g);

/// Whether the shape is valid as simple features define it (GEOS): no ring crossing itself or
/// another ring, no hole outside its shell. A polygon ring with fewer than three distinct places
/// is invalid; other shapes follow GEOS.
bool isValid(const Geometry& g);

}  // namespace ondu
