#pragma once
// Value-type geometries with Z and M awareness flags.
//
// A geometry is copied whenever it is handed over (a feature's shape is get and set as a copy).
// Z and M of a vertex are NaN when unset; the awareness flags say whether the geometry as a whole
// carries them, as a feature class's geometry definition does.

#include <cmath>
#include <limits>
#include <string>
#include <variant>
#include <vector>

namespace ondu {

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

enum class ShapeType { Null, Point, Multipoint, Polyline, Polygon };

struct Point {
    double x = kNaN;
    double y = kNaN;
    double z = kNaN;
    double m = kNaN;
    bool zAware = false;
    bool mAware = false;

    Point() = default;
    Point(double x_, double y_) : x(x_), y(y_) {}
    Point(double x_, double y_, double z_) : x(x_), y(y_), z(z_), zAware(true) {}
    Point(double x_, double y_, double z_, double m_)
        : x(x_), y(y_), z(z_), m(m_), zAware(true), mAware(true) {}

    /// An empty point has no X or Y.
    bool isEmpty() const { return std::isnan(x) || std::isnan(y); }
};

/// A connected sequence of vertices; a ring is a path whose last vertex equals its first.
using Path = std::vector<Point>;

struct Multipoint {
    std::vector<Point> points;
    bool zAware = false;
    bool mAware = false;
    bool isEmpty() const { return points.empty(); }
};

struct Polyline {
    std::vector<Path> paths;
    bool zAware = false;
    bool mAware = false;

    Polyline() = default;
    explicit Polyline(Path path, bool z = false, bool m = false)
        : paths{std::move(path)}, zAware(z), mAware(m) {}
    bool isEmpty() const;
    std::size_t vertexCount() const;
};

struct Polygon {
    std::vector<Path> rings;
    bool zAware = false;
    bool mAware = false;
    bool isEmpty() const;
    std::size_t vertexCount() const;
};

/// Any shape a feature can hold; monostate is the null shape.
using Geometry = std::variant<std::monostate, Point, Multipoint, Polyline, Polygon>;

ShapeType shapeTypeOf(const Geometry& g);
bool isEmpty(const Geometry& g);
bool hasZ(const Geometry& g);
bool hasM(const Geometry& g);
void setZAware(Geometry& g, bool aware);
void setMAware(Geometry& g, bool aware);
/// Makes the shape carry exactly the dimensions of a class declared with or without Z and M:
/// a dimension the class lacks is dropped, one it requires and the shape lacks is added as 0.
void conformTo(Geometry& g, bool z, bool m);

/// Every vertex of the geometry in stored order (paths and rings one after the other).
std::vector<Point> allVertices(const Geometry& g);

/// One outer ring of a polygon with the holes that lie directly inside it (indices into
/// Polygon::rings).
struct RingGroup {
    std::size_t shell = 0;
    std::vector<std::size_t> holes;
};

/// The polygon's rings grouped for stores that separate outer rings from holes, whatever their
/// orientation: a ring lying inside an odd number of other rings is a hole of the innermost ring
/// around it. Shells come in stored order, each shell's holes in stored order.
std::vector<RingGroup> groupRings(const Polygon& polygon);

/// The ring, closed: its first vertex repeated at its end unless it is there already (by X and Y).
/// An empty ring stays empty.
Path closedRing(Path ring);

}  // namespace ondu
