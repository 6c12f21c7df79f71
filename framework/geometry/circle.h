#pragma once
// The circle through three points, as a bend's radius of curvature is measured.

#include <optional>

#include "framework/geometry/geometry.h"

namespace ondu {

struct Circle {
    Point centre;
    double radius = 0;
};

/// Three points count as a straight line when the middle one lies within this fraction of the
/// chord's length from the chord: beyond it the radius exceeds about 10^8 chord lengths, far
/// above any radius a river bend is classed by, while rounding noise of coordinates written with
/// 15 significant digits stays well below it.
inline constexpr double kCollinearTolerance = 1e-9;

/// The circle through a, b and c (X and Y only); nothing when the three are collinear within
/// kCollinearTolerance, or when a and c coincide (no chord to bend).
std::optional<Circle> circleThroughPoints(const Point& a, const Point& b, const Point& c);

}  // namespace ondu
