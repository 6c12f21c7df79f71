#pragma once
// Smoothing of polylines into curves drawn with straight segments.
//
// The curve is a centripetal Catmull-Rom spline through the vertices of each path: it passes
// through every vertex, has no cusps or self-intersections within a span and does not overshoot
// on unevenly spaced vertices, which a uniform spline does. An open path's ends get mirror
// neighbours (the curve leaves the first vertex towards the second); a closed path (last vertex
// on its first) wraps round, so the curve is smooth at the closing vertex too.
//
// Each span between two neighbouring vertices is divided into 1, 2, 4, ... 64 pieces, the fewest
// for which the curve at a quarter, half and three quarters of every piece lies within a
// thousandth of the span's length of the piece's chord; a straight span therefore stays one
// segment and a straight line comes back unchanged.
// New vertices get Z and M interpolated linearly by distance along the span, so both stay
// between the values of the span's vertices and measures that rise along the line still do.

#include "framework/geometry/geometry.h"

namespace ondu {

/// The line smoothed. With `maxAllowableOffset` 0 the curve runs through every vertex in order,
/// its first and last vertex unchanged, repeated vertices kept as they are. With a positive
/// offset the line is first simplified (Douglas-Peucker with that tolerance, ends kept) and the
/// curve runs through the vertices that remain. Throws std::invalid_argument for a negative or
/// non-finite offset.
Polyline smooth(const Polyline& line, double maxAllowableOffset);

}  // namespace ondu
