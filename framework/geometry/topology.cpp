#include "framework/geometry/topology.h"

#include <geos_c.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "framework/geometry/curve.h"

namespace ondu {

namespace {

constexpr int kQuadrantSegments = 64;

/// One GEOS context per thread, remembering the last error GEOS reported so that a failed call
/// can say why.
class GeosContext {
public:
    GeosContext() : handle_(GEOS_init_r()) {
        GEOSContext_setErrorMessageHandler_r(handle_, &GeosContext::remember, this);
    }
    ~GeosContext() { GEOS_finish_r(handle_); }
    GeosContext(const GeosContext&) = delete;
    GeosContext& operator=(const GeosContext&) = delete;

    GEOSContextHandle_t handle() const { return handle_; }
    const std::string& lastError() const { return lastError_; }

private:
    static void remember(const char* message, void* self) {
        static_cast<GeosContext*>(self)->lastError_ = message ? message : "";
    }

    GEOSContextHandle_t handle_;
    std::string lastError_;
};

GeosContext& context() {
    thread_local GeosContext ctx;
    return ctx;
}

GEOSContextHandle_t h() { return context().handle(); }

struct GeosDeleter {
    void operator()(GEOSGeometry* g) const { GEOSGeom_destroy_r(h(), g); }
};
using GeosPtr = std::unique_ptr<GEOSGeometry, GeosDeleter>;

[[noreturn]] void geosFailed(const char* what) {
    throw std::runtime_error(std::string(what) + " failed: " + context().lastError());
}

GeosPtr owned(GEOSGeometry* g, const char* what) {
    if (!g) geosFailed(what);
    return GeosPtr(g);
}

bool predicate(char answer, const char* what) {
    if (answer == 2) geosFailed(what);
    return answer == 1;
}

// ---- our shapes to GEOS ------------------------------------------------------------------

GEOSCoordSequence* sequenceOf(const Path& path, bool z) {
    GEOSCoordSequence* seq =
        GEOSCoordSeq_create_r(h(), static_cast<unsigned>(path.size()), z ? 3 : 2);
    if (!seq) geosFailed("creating coordinates");
    for (unsigned i = 0; i < path.size(); ++i) {
        if (z)
            GEOSCoordSeq_setXYZ_r(h(), seq, i, path[i].x, path[i].y, path[i].z);
        else
            GEOSCoordSeq_setXY_r(h(), seq, i, path[i].x, path[i].y);
    }
    return seq;
}

GeosPtr collectionOf(int type, std::vector<GeosPtr> members) {
    std::vector<GEOSGeometry*> raw;
    for (GeosPtr& m : members) raw.push_back(m.release());
    return owned(
        GEOSGeom_createCollection_r(h(), type, raw.data(), static_cast<unsigned>(raw.size())),
        "building a collection");
}

GeosPtr geosPoint(const Point& p, bool z) {
    if (p.isEmpty()) return owned(GEOSGeom_createEmptyPoint_r(h()), "building a point");
    return owned(GEOSGeom_createPoint_r(h(), sequenceOf(Path{p}, z)), "building a point");
}

/// A path of one vertex is a line of zero length at that vertex, so that it still takes part.
GeosPtr geosLine(const Path& path, bool z) {
    const Path usable = path.size() == 1 ? Path{path[0], path[0]} : path;
    return owned(GEOSGeom_createLineString_r(h(), sequenceOf(usable, z)), "building a line");
}

GeosPtr geosPolyline(const Polyline& l) {
    std::vector<GeosPtr> lines;
    for (const Path& p : l.paths)
        if (!p.empty()) lines.push_back(geosLine(p, l.zAware));
    if (lines.empty()) return owned(GEOSGeom_createEmptyLineString_r(h()), "building a line");
    if (lines.size() == 1) return std::move(lines[0]);
    return collectionOf(GEOS_MULTILINESTRING, std::move(lines));
}

/// A ring with fewer than three distinct places has no inside; GEOS refuses it as a ring.
bool hasInside(const Path& closed) { return closed.size() >= 4; }

GeosPtr geosRing(const Path& closed, bool z) {
    return owned(GEOSGeom_createLinearRing_r(h(), sequenceOf(closed, z)), "building a ring");
}

GeosPtr geosPolygon(const Polygon& a) {
    std::vector<GeosPtr> polygons;
    for (const RingGroup& group : groupRings(a)) {
        const Path shell = closedRing(a.rings[group.shell]);
        if (!hasInside(shell)) continue;
        GeosPtr outer = geosRing(shell, a.zAware);
        std::vector<GEOSGeometry*> holes;
        for (std::size_t index : group.holes) {
            const Path hole = closedRing(a.rings[index]);
            if (hasInside(hole)) holes.push_back(geosRing(hole, a.zAware).release());
        }
        polygons.push_back(owned(GEOSGeom_createPolygon_r(h(), outer.release(), holes.data(),
                                                          static_cast<unsigned>(holes.size())),
                                 "building a polygon"));
    }
    if (polygons.empty()) return owned(GEOSGeom_createEmptyPolygon_r(h()), "building a polygon");
    if (polygons.size() == 1) return std::move(polygons[0]);
    return collectionOf(GEOS_MULTIPOLYGON, std::move(polygons));
}

GeosPtr toGeos(const Geometry& g) {
    if (auto p = std::get_if<Point>(&g)) return geosPoint(*p, p->zAware);
    if (auto mp = std::get_if<Multipoint>(&g)) {
        std::vector<GeosPtr> points;
        for (const Point& p : mp->points)
            if (!p.isEmpty()) points.push_back(geosPoint(p, mp->zAware));
        return collectionOf(GEOS_MULTIPOINT, std::move(points));
    }
    if (auto l = std::get_if<Polyline>(&g)) return geosPolyline(*l);
    if (auto a = std::get_if<Polygon>(&g)) return geosPolygon(*a);
    return owned(GEOSGeom_createEmptyCollection_r(h(), GEOS_GEOMETRYCOLLECTION),
                 "building a collection");
}

// ---- GEOS to our shapes ------------------------------------------------------------------

/// Everything a GEOS result holds, flattened: its points, its lines and its polygons' rings.
struct Pieces {
    bool z = false;
    std::vector<Point> points;
    std::vector<Path> lines;
    std::vector<Path> rings;
};

Path pathOf(const GEOSGeometry* g, bool z) {
    const GEOSCoordSequence* seq = GEOSGeom_getCoordSeq_r(h(), g);
    unsigned size = 0;
    if (!seq || !GEOSCoordSeq_getSize_r(h(), seq, &size)) geosFailed("reading coordinates");
    Path path(size);
    for (unsigned i = 0; i < size; ++i) {
        Point& p = path[i];
        GEOSCoordSeq_getXYZ_r(h(), seq, i, &p.x, &p.y, &p.z);
        if (!z) p.z = kNaN;
        p.zAware = z;
    }
    return path;
}

void collect(const GEOSGeometry* g, Pieces& out) {
    if (predicate(GEOSisEmpty_r(h(), g), "testing emptiness")) return;
    switch (GEOSGeomTypeId_r(h(), g)) {
        case GEOS_POINT:
            out.points.push_back(pathOf(g, out.z)[0]);
            return;
        case GEOS_LINESTRING:
        case GEOS_LINEARRING:
            out.lines.push_back(pathOf(g, out.z));
            return;
        case GEOS_POLYGON:
            out.rings.push_back(pathOf(GEOSGetExteriorRing_r(h(), g), out.z));
            for (int i = 0; i < GEOSGetNumInteriorRings_r(h(), g); ++i)
                out.rings.push_back(pathOf(GEOSGetInteriorRingN_r(h(), g, i), out.z));
            return;
        default:
            for (int i = 0; i < GEOSGetNumGeometries_r(h(), g); ++i)
                collect(GEOSGetGeometryN_r(h(), g, i), out);
    }
}

Pieces piecesOf(const GEOSGeometry* g) {
    Pieces out;
    out.z = predicate(GEOSHasZ_r(h(), g), "testing for Z");
    collect(g, out);
    return out;
}

Polygon polygonOf(Pieces pieces) {
    Polygon out;
    out.rings = std::move(pieces.rings);
    out.zAware = pieces.z;
    return out;
}

// ---- meeting points ----------------------------------------------------------------------

/// The shape as a line: a polyline itself, a polygon its outline; nothing for points.
std::optional<Polyline> asLine(const Geometry& g) {
    if (auto l = std::get_if<Polyline>(&g)) return *l;
    if (auto a = std::get_if<Polygon>(&g)) {
        Polyline outline;
        for (const Path& ring : a->rings) outline.paths.push_back(closedRing(ring));
        outline.zAware = a->zAware;
        outline.mAware = a->mAware;
        return outline;
    }
    return std::nullopt;
}

/// The operand's own shape for GEOS: polygons by their outline.
GeosPtr meetingShape(const Geometry& g) {
    if (auto line = asLine(g)) return toGeos(*line);
    return toGeos(g);
}

std::vector<Point> distinctMeetingPoints(const Pieces& pieces) {
    std::vector<Point> points = pieces.points;
    for (const Path& overlap : pieces.lines) {
        points.push_back(overlap.front());
        points.push_back(overlap.back());
    }
    std::vector<Point> distinct;
    for (const Point& p : points) {
        bool seen = std::any_of(distinct.begin(), distinct.end(),
                                [&](const Point& q) { return q.x == p.x && q.y == p.y; });
        if (!seen) distinct.push_back(p);
    }
    return distinct;
}

const Polyline* firstCarrying(const std::optional<Polyline>& a, const std::optional<Polyline>& b,
                              bool Polyline::*flag) {
    if (a && (*a).*flag) return &*a;
    if (b && (*b).*flag) return &*b;
    return nullptr;
}

}  // namespace

Multipoint intersectPoints(const Geometry& a, const Geometry& b) {
    GeosPtr ga = meetingShape(a);
    GeosPtr gb = meetingShape(b);
    GeosPtr meeting = owned(GEOSIntersection_r(h(), ga.get(), gb.get()), "intersecting");
    std::vector<Point> points = distinctMeetingPoints(piecesOf(meeting.get()));

    const std::optional<Polyline> lineA = asLine(a);
    const std::optional<Polyline> lineB = asLine(b);
    if (lineA) {
        std::vector<std::pair<double, Point>> keyed;
        for (const Point& p : points)
            keyed.emplace_back(nearestLocation(*lineA, p).distanceAlong, p);
        std::stable_sort(keyed.begin(), keyed.end(),
                         [](const auto& l, const auto& r) { return l.first < r.first; });
        for (std::size_t i = 0; i < points.size(); ++i) points[i] = keyed[i].second;
    }

    Multipoint out;
    const Polyline* zSource = firstCarrying(lineA, lineB, &Polyline::zAware);
    const Polyline* mSource = firstCarrying(lineA, lineB, &Polyline::mAware);
    out.zAware = zSource != nullptr;
    out.mAware = mSource != nullptr;
    for (Point p : points) {
        p.z = zSource ? nearestLocation(*zSource, p).onCurve.z : kNaN;
        p.m = mSource ? nearestLocation(*mSource, p).onCurve.m : kNaN;
        p.zAware = out.zAware;
        p.mAware = out.mAware;
        out.points.push_back(p);
    }
    return out;
}

bool segmentsMeet(const Point& a, const Point& b, const Point& c, const Point& d) {
    double x = 0, y = 0;
    const int answer =
        GEOSSegmentIntersection_r(h(), a.x, a.y, b.x, b.y, c.x, c.y, d.x, d.y, &x, &y);
    if (answer == 0) throw std::runtime_error("GEOS failed intersecting two segments");
    return answer == 1;
}

Polygon buffer(const Geometry& g, double distance) {
    if (!std::isfinite(distance))
        throw std::invalid_argument("the buffer distance is not a finite number");
    GeosPtr shape = toGeos(g);
    GeosPtr result =
        owned(GEOSBuffer_r(h(), shape.get(), distance, kQuadrantSegments), "buffering");
    return polygonOf(piecesOf(result.get()));
}

CutParts cut(const Polygon& polygon, const Polyline& cutter) {
    if (fromPoint(cutter).isEmpty()) throw std::invalid_argument("the cutter has no vertex");
    CutParts parts;
    GeosPtr area = toGeos(polygon);
    if (predicate(GEOSisEmpty_r(h(), area.get()), "testing emptiness")) return parts;
    GeosPtr outline = owned(GEOSBoundary_r(h(), area.get()), "taking the outline");
    GeosPtr line = toGeos(cutter);
    GeosPtr noded = owned(GEOSUnion_r(h(), outline.get(), line.get()), "noding the cutter");
    const GEOSGeometry* edges[] = {noded.get()};
    GeosPtr faces = owned(GEOSPolygonize_r(h(), edges, 1), "forming the pieces");

    for (int i = 0; i < GEOSGetNumGeometries_r(h(), faces.get()); ++i) {
        const GEOSGeometry* face = GEOSGetGeometryN_r(h(), faces.get(), i);
        GeosPtr inside = owned(GEOSPointOnSurface_r(h(), face), "finding a point inside");
        if (!predicate(GEOSContains_r(h(), area.get(), inside.get()), "testing containment"))
            continue;
        const Point probe = piecesOf(inside.get()).points.at(0);
        Polygon& side = nearestLocation(cutter, probe).rightSide ? parts.right : parts.left;
        Polygon piece = polygonOf(piecesOf(face));
        side.zAware = piece.zAware;
        side.rings.insert(side.rings.end(), piece.rings.begin(), piece.rings.end());
    }
    return parts;
}

double area(const Geometry& g) {
    const Polygon* polygon = std::get_if<Polygon>(&g);
    if (!polygon) return 0;
    auto ringArea = [](const Path& ring) {
        double twice = 0;
        if (ring.empty()) return 0.0;
        for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++)
            twice += (ring[j].x - ring[i].x) * (ring[j].y + ring[i].y);
        return std::abs(twice) / 2;
    };
    double total = 0;
    for (const RingGroup& group : groupRings(*polygon)) {
        total += ringArea(polygon->rings[group.shell]);
        for (std::size_t hole : group.holes) total -= ringArea(polygon->rings[hole]);
    }
    return total;
}

bool isValid(const Geometry& g) {
    if (const Polygon* polygon = std::get_if<Polygon>(&g))
        for (const Path& ring : polygon->rings)
            if (!hasInside(closedRing(ring))) return false;
    return predicate(GEOSisValid_r(h(), toGeos(g).get()), "checking validity");
}

}  // namespace ondu
