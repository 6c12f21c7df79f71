#include "framework/geometry/circle.h"

#include <cmath>

namespace ondu {

std::optional<Circle> circleThroughPoints(const Point& a, const Point& b, const Point& c) {
    // Work relative to a: it keeps the products small for projected coordinates in the millions.
    const double bx = b.x - a.x, by = b.y - a.y;
    const double cx = c.x - a.x, cy = c.y - a.y;
    const double chord = std::hypot(cx, cy);
    if (chord == 0) return std::nullopt;
    const double cross = bx * cy - by * cx;  // twice the triangle's signed area
    const double offChord = std::abs(cross) / chord;
    if (offChord <= kCollinearTolerance * chord) return std::nullopt;
    const double b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
    const double ux = (cy * b2 - by * c2) / (2 * cross);
    const double uy = (bx * c2 - cx * b2) / (2 * cross);
    Circle circle;
    circle.centre = Point(a.x + ux, a.y + uy);
    circle.radius = std::hypot(ux, uy);
    return circle;
}

}  // namespace ondu
