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

/// Every vertex of the geometry in stored order (paths and rings one after the other).
std::vector<Point> allVertices(const Geometry& g);

/// ISO WKT ("LINESTRING ZM (...)", "MULTILINESTRING", "POLYGON Z", ...) through OGR.
/// Reading throws std::invalid_argument on malformed text.
std::string toWkt(const Geometry& g);
Geometry fromWkt(const std::string& wkt);

}  // namespace ondu
