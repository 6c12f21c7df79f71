#include "framework/geometry/geometry.h"

#include <algorithm>
#include <numeric>

namespace ondu {

namespace {

bool hasNoVertex(const std::vector<Path>& paths) {
    return std::all_of(paths.begin(), paths.end(), [](const Path& p) { return p.empty(); });
}

std::size_t countVertices(const std::vector<Path>& paths) {
    return std::accumulate(paths.begin(), paths.end(), std::size_t{0},
                           [](std::size_t n, const Path& p) { return n + p.size(); });
}

/// `f` applied to the shape, or `ifNull` for the null shape.
template <class Result, class F>
Result visitShape(const Geometry& g, Result ifNull, F f) {
    return std::visit(
        [&](const auto& shape) -> Result {
            if constexpr (std::is_same_v<std::decay_t<decltype(shape)>, std::monostate>)
                return ifNull;
            else
                return f(shape);
        },
        g);
}

template <class Shape>
std::vector<Path>* pathsOf(Shape& shape) {
    if constexpr (std::is_same_v<Shape, Polyline>) return &shape.paths;
    if constexpr (std::is_same_v<Shape, Polygon>) return &shape.rings;
    return nullptr;
}

/// Sets the Z (or M) awareness of the geometry and of each of its vertices, so that vertices
/// handed out one by one tell the same story as the shape they came from.
void markAwareness(Geometry& g, bool z, bool aware) {
    auto flag = [z](auto& owner) -> bool& { return z ? owner.zAware : owner.mAware; };
    std::visit(
        [&](auto& shape) {
            using T = std::decay_t<decltype(shape)>;
            if constexpr (!std::is_same_v<T, std::monostate>) {
                flag(shape) = aware;
                if constexpr (std::is_same_v<T, Multipoint>)
                    for (Point& p : shape.points) flag(p) = aware;
                if (auto paths = pathsOf(shape))
                    for (Path& path : *paths)
                        for (Point& p : path) flag(p) = aware;
            }
        },
        g);
}

enum class RingSide { Outside, Inside, Boundary };

bool onSegment(const Point& p, const Point& a, const Point& b) {
    const double cross = (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
    if (cross != 0.0) return false;
    return std::min(a.x, b.x) <= p.x && p.x <= std::max(a.x, b.x) && std::min(a.y, b.y) <= p.y &&
           p.y <= std::max(a.y, b.y);
}

/// Even-odd test of a point against a ring taken as closed.
RingSide sideOfRing(const Point& p, const Path& ring) {
    bool inside = false;
    const std::size_t n = ring.size();
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
        const Point& a = ring[i];
        const Point& b = ring[j];
        if (onSegment(p, a, b)) return RingSide::Boundary;
        if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x)
            inside = !inside;
    }
    return inside ? RingSide::Inside : RingSide::Outside;
}

/// Whether ring `inner` lies inside ring `outer`, judged by its first vertex that is not on
/// `outer`'s boundary; rings that touch everywhere (duplicates) are not inside one another.
bool ringInside(const Path& inner, const Path& outer) {
    if (outer.size() < 3) return false;
    for (const Point& p : inner) {
        RingSide side = sideOfRing(p, outer);
        if (side != RingSide::Boundary) return side == RingSide::Inside;
    }
    return false;
}

}  // namespace

bool Polyline::isEmpty() const { return hasNoVertex(paths); }
std::size_t Polyline::vertexCount() const { return countVertices(paths); }
bool Polygon::isEmpty() const { return hasNoVertex(rings); }
std::size_t Polygon::vertexCount() const { return countVertices(rings); }

ShapeType shapeTypeOf(const Geometry& g) {
    switch (g.index()) {
        case 1:
            return ShapeType::Point;
        case 2:
            return ShapeType::Multipoint;
        case 3:
            return ShapeType::Polyline;
        case 4:
            return ShapeType::Polygon;
        default:
            return ShapeType::Null;
    }
}

bool isEmpty(const Geometry& g) {
    return visitShape(g, true, [](const auto& shape) { return shape.isEmpty(); });
}

bool hasZ(const Geometry& g) {
    return visitShape(g, false, [](const auto& shape) { return shape.zAware; });
}

bool hasM(const Geometry& g) {
    return visitShape(g, false, [](const auto& shape) { return shape.mAware; });
}

void setZAware(Geometry& g, bool aware) { markAwareness(g, true, aware); }
void setMAware(Geometry& g, bool aware) { markAwareness(g, false, aware); }

void conformTo(Geometry& g, bool z, bool m) {
    const bool addZ = z && !hasZ(g), addM = m && !hasM(g);
    setZAware(g, z);
    setMAware(g, m);
    if (!addZ && !addM) return;
    auto zeroUnset = [&](Point& p) {
        if (addZ) p.z = 0;
        if (addM) p.m = 0;
    };
    std::visit(
        [&](auto& shape) {
            using T = std::decay_t<decltype(shape)>;
            if constexpr (std::is_same_v<T, Point>) {
                if (!shape.isEmpty()) zeroUnset(shape);
            } else if constexpr (std::is_same_v<T, Multipoint>) {
                for (Point& p : shape.points) zeroUnset(p);
            } else if constexpr (!std::is_same_v<T, std::monostate>) {
                for (Path& path : *pathsOf(shape))
                    for (Point& p : path) zeroUnset(p);
            }
        },
        g);
}

std::vector<Point> allVertices(const Geometry& g) {
    std::vector<Point> out;
    auto append = [&out](const std::vector<Path>& paths) {
        for (const Path& p : paths) out.insert(out.end(), p.begin(), p.end());
    };
    if (auto p = std::get_if<Point>(&g)) {
        if (!p->isEmpty()) out.push_back(*p);
    } else if (auto mp = std::get_if<Multipoint>(&g)) {
        out = mp->points;
    } else if (auto l = std::get_if<Polyline>(&g)) {
        append(l->paths);
    } else if (auto a = std::get_if<Polygon>(&g)) {
        append(a->rings);
    }
    return out;
}

std::vector<RingGroup> groupRings(const Polygon& polygon) {
    const auto& rings = polygon.rings;
    const std::size_t n = rings.size();
    // containers[i]: the rings that ring i lies inside; its nesting depth is their count.
    std::vector<std::vector<std::size_t>> containers(n);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j)
            if (i != j && ringInside(rings[i], rings[j])) containers[i].push_back(j);
    auto depth = [&](std::size_t i) { return containers[i].size(); };

    // A ring at odd depth is a hole of its innermost container, the container nested deepest.
    // Where crossing rings leave that container at odd depth too, the ring counts as a shell.
    constexpr std::size_t kShell = static_cast<std::size_t>(-1);
    std::vector<std::size_t> holeOf(n, kShell);
    for (std::size_t i = 0; i < n; ++i) {
        if (depth(i) % 2 == 0) continue;
        std::size_t innermost =
            *std::max_element(containers[i].begin(), containers[i].end(),
                              [&](std::size_t a, std::size_t b) { return depth(a) < depth(b); });
        if (depth(innermost) % 2 == 0) holeOf[i] = innermost;
    }

    std::vector<RingGroup> groups;
    std::vector<std::size_t> groupOfShell(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        if (holeOf[i] != kShell) continue;
        groupOfShell[i] = groups.size();
        groups.push_back({i, {}});
    }
    for (std::size_t i = 0; i < n; ++i)
        if (holeOf[i] != kShell) groups[groupOfShell[holeOf[i]]].holes.push_back(i);
    return groups;
}

Path closedRing(Path ring) {
    if (!ring.empty() && (ring.front().x != ring.back().x || ring.front().y != ring.back().y))
        ring.push_back(ring.front());
    return ring;
}

}  // namespace ondu
