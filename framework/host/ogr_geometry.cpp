#include "framework/host/ogr_geometry.h"

#include <ogr_api.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ondu {

namespace {

// ---- our shapes to OGR -------------------------------------------------------------------

template <class OgrShape>
std::unique_ptr<OgrShape> withFlags(std::unique_ptr<OgrShape> g, bool z, bool m) {
    g->set3D(z);
    g->setMeasured(m);
    return g;
}

std::unique_ptr<OGRPoint> ogrPoint(const Point& p, bool z, bool m) {
    auto out = std::make_unique<OGRPoint>();
    if (!p.isEmpty()) {
        out->setX(p.x);
        out->setY(p.y);
    }
    out = withFlags(std::move(out), z, m);
    if (!p.isEmpty()) {
        if (z) out->setZ(p.z);
        if (m) out->setM(p.m);
    }
    return out;
}

/// Filled in bulk: the smoothed line of a long river has millions of vertices.
template <class OgrCurve>
std::unique_ptr<OgrCurve> ogrCurve(const Path& path, bool z, bool m) {
    const std::size_t n = path.size();
    std::vector<OGRRawPoint> xy(n);
    std::vector<double> zs(z ? n : 0), ms(m ? n : 0);
    for (std::size_t i = 0; i < n; ++i) {
        xy[i] = OGRRawPoint(path[i].x, path[i].y);
        if (z) zs[i] = path[i].z;
        if (m) ms[i] = path[i].m;
    }
    auto out = std::make_unique<OgrCurve>();
    out->setPoints(static_cast<int>(n), xy.data(), z ? zs.data() : nullptr,
                   m ? ms.data() : nullptr);
    return withFlags(std::move(out), z, m);
}

std::unique_ptr<OGRPolygon> ogrPolygon(const Polygon& a, const RingGroup& group) {
    auto out = withFlags(std::make_unique<OGRPolygon>(), a.zAware, a.mAware);
    auto addRing = [&](std::size_t index) {
        out->addRingDirectly(
            ogrCurve<OGRLinearRing>(closedRing(a.rings[index]), a.zAware, a.mAware).release());
    };
    addRing(group.shell);
    for (std::size_t hole : group.holes) addRing(hole);
    return out;
}

template <class Collection>
std::unique_ptr<Collection> emptyCollection(bool z, bool m) {
    return withFlags(std::make_unique<Collection>(), z, m);
}

std::unique_ptr<OGRGeometry> ogrMultipoint(const Multipoint& mp) {
    auto out = emptyCollection<OGRMultiPoint>(mp.zAware, mp.mAware);
    for (const Point& p : mp.points)
        out->addGeometryDirectly(ogrPoint(p, mp.zAware, mp.mAware).release());
    return out;
}

std::unique_ptr<OGRGeometry> ogrPolyline(const Polyline& l) {
    if (l.paths.size() == 1) return ogrCurve<OGRLineString>(l.paths[0], l.zAware, l.mAware);
    if (l.paths.empty()) return withFlags(std::make_unique<OGRLineString>(), l.zAware, l.mAware);
    auto out = emptyCollection<OGRMultiLineString>(l.zAware, l.mAware);
    for (const Path& p : l.paths)
        out->addGeometryDirectly(ogrCurve<OGRLineString>(p, l.zAware, l.mAware).release());
    return out;
}

std::unique_ptr<OGRGeometry> ogrPolygonal(const Polygon& a) {
    const std::vector<RingGroup> groups = groupRings(a);
    if (groups.size() == 1) return ogrPolygon(a, groups[0]);
    if (groups.empty()) return withFlags(std::make_unique<OGRPolygon>(), a.zAware, a.mAware);
    auto out = emptyCollection<OGRMultiPolygon>(a.zAware, a.mAware);
    for (const RingGroup& group : groups) out->addGeometryDirectly(ogrPolygon(a, group).release());
    return out;
}

// ---- OGR to our shapes -------------------------------------------------------------------

Point pointOf(const OGRPoint& p) {
    Point out;
    if (!p.IsEmpty()) {
        out.x = p.getX();
        out.y = p.getY();
        if (p.Is3D()) out.z = p.getZ();
        if (p.IsMeasured()) out.m = p.getM();
    }
    out.zAware = p.Is3D();
    out.mAware = p.IsMeasured();
    return out;
}

Path pathOf(const OGRSimpleCurve& c) {
    const bool z = c.Is3D();
    const bool m = c.IsMeasured();
    Path path(static_cast<std::size_t>(c.getNumPoints()));
    for (int i = 0; i < c.getNumPoints(); ++i) {
        Point& p = path[i];
        p.x = c.getX(i);
        p.y = c.getY(i);
        if (z) p.z = c.getZ(i);
        if (m) p.m = c.getM(i);
        p.zAware = z;
        p.mAware = m;
    }
    return path;
}

void appendRings(const OGRPolygon& polygon, std::vector<Path>& rings) {
    if (polygon.IsEmpty()) return;
    rings.push_back(pathOf(*polygon.getExteriorRing()));
    for (int i = 0; i < polygon.getNumInteriorRings(); ++i)
        rings.push_back(pathOf(*polygon.getInteriorRing(i)));
}

[[noreturn]] void unsupported(const OGRGeometry& g) {
    throw std::invalid_argument(std::string("unsupported geometry type ") + g.getGeometryName());
}

template <class Shape>
Shape flaggedLike(Shape shape, const OGRGeometry& g) {
    shape.zAware = g.Is3D();
    shape.mAware = g.IsMeasured();
    return shape;
}

/// Members of a collection gathered into one shape of their common dimension.
class CollectionReader {
public:
    explicit CollectionReader(const OGRGeometry& whole) : whole_(whole) {}

    void add(const OGRGeometry& g) {
        switch (wkbFlatten(g.getGeometryType())) {
            case wkbPoint:
                return addPoint(pointOf(*g.toPoint()));
            case wkbLineString:
            case wkbLinearRing:
                return addPath(pathOf(*g.toSimpleCurve()));
            case wkbPolygon:
                return addPolygon(*g.toPolygon());
            default:
                if (g.hasCurveGeometry()) return addLinear(g);
                if (OGR_GT_IsSubClassOf(g.getGeometryType(), wkbGeometryCollection))
                    return addMembers(*g.toGeometryCollection());
                unsupported(g);
        }
    }

    Geometry result() const {
        switch (kind_) {
            case ShapeType::Multipoint:
                return flaggedLike(multipoint_, whole_);
            case ShapeType::Polyline:
                return flaggedLike(polyline_, whole_);
            case ShapeType::Polygon:
                return flaggedLike(polygon_, whole_);
            default:
                return std::monostate{};
        }
    }

private:
    void addMembers(const OGRGeometryCollection& c) {
        for (const OGRGeometry* member : c) add(*member);
    }

    void addLinear(const OGRGeometry& curved) {
        std::unique_ptr<OGRGeometry> linear(curved.getLinearGeometry());
        add(*linear);
    }

    void addPoint(const Point& p) {
        enter(ShapeType::Multipoint);
        if (!p.isEmpty()) multipoint_.points.push_back(p);
    }

    void addPath(Path path) {
        enter(ShapeType::Polyline);
        if (!path.empty()) polyline_.paths.push_back(std::move(path));
    }

    void addPolygon(const OGRPolygon& p) {
        enter(ShapeType::Polygon);
        appendRings(p, polygon_.rings);
    }

    void enter(ShapeType kind) {
        if (kind_ == ShapeType::Null) kind_ = kind;
        if (kind_ != kind)
            throw std::invalid_argument(std::string("a ") + whole_.getGeometryName() +
                                        " that mixes points, lines and polygons cannot be used");
    }

    const OGRGeometry& whole_;
    ShapeType kind_ = ShapeType::Null;
    Multipoint multipoint_;
    Polyline polyline_;
    Polygon polygon_;
};

}  // namespace

std::unique_ptr<OGRGeometry> toOgr(const Geometry& g) {
    if (auto p = std::get_if<Point>(&g)) return ogrPoint(*p, p->zAware, p->mAware);
    if (auto mp = std::get_if<Multipoint>(&g)) return ogrMultipoint(*mp);
    if (auto l = std::get_if<Polyline>(&g)) return ogrPolyline(*l);
    if (auto a = std::get_if<Polygon>(&g)) return ogrPolygonal(*a);
    return nullptr;
}

namespace {

/// The paths of a polyline joined into one where each begins where the one before ends (the
/// shared vertex kept once); nothing when they do not.
std::optional<Polyline> joinedEndToEnd(const Polyline& line) {
    if (line.paths.size() < 2) return std::nullopt;
    Polyline joined = line;
    joined.paths.assign(1, line.paths.front());
    for (std::size_t i = 1; i < line.paths.size(); ++i) {
        const Path& next = line.paths[i];
        Path& path = joined.paths.front();
        if (next.empty() || path.empty() || next.front().x != path.back().x ||
            next.front().y != path.back().y)
            return std::nullopt;
        path.insert(path.end(), next.begin() + 1, next.end());
    }
    return joined;
}

}  // namespace

std::unique_ptr<OGRGeometry> toOgr(const Geometry& g, OGRwkbGeometryType layerType) {
    // An empty shape is stored as no shape: GeoPackage readers disagree on empty geometries.
    if (isEmpty(g)) return nullptr;
    if (const auto* line = std::get_if<Polyline>(&g);
        line && wkbFlatten(layerType) == wkbLineString)
        if (auto joined = joinedEndToEnd(*line)) return toOgr(Geometry(*joined), layerType);
    std::unique_ptr<OGRGeometry> out;
    if (wkbFlatten(layerType) == wkbUnknown) {
        out = toOgr(g);
    } else {
        Geometry conformed = g;
        conformTo(conformed, wkbHasZ(layerType), wkbHasM(layerType));
        out = toOgr(conformed);
    }
    if (!out) return out;
    const OGRwkbGeometryType own = wkbFlatten(out->getGeometryType());
    const OGRwkbGeometryType wanted = wkbFlatten(layerType);
    const bool intoMulti = (own == wkbLineString && wanted == wkbMultiLineString) ||
                           (own == wkbPolygon && wanted == wkbMultiPolygon);
    const bool outOfSingleMulti = ((own == wkbMultiLineString && wanted == wkbLineString) ||
                                   (own == wkbMultiPolygon && wanted == wkbPolygon)) &&
                                  out->toGeometryCollection()->getNumGeometries() == 1;
    if (!intoMulti && !outOfSingleMulti) return out;
    const OGRwkbGeometryType target = OGR_GT_SetModifier(wanted, out->Is3D(), out->IsMeasured());
    return std::unique_ptr<OGRGeometry>(OGRGeometryFactory::forceTo(out.release(), target));
}

Geometry fromOgr(const OGRGeometry* g) {
    if (!g) return std::monostate{};
    switch (wkbFlatten(g->getGeometryType())) {
        case wkbPoint:
            return pointOf(*g->toPoint());
        case wkbLineString: {
            Polyline line;
            if (!g->IsEmpty()) line.paths.push_back(pathOf(*g->toSimpleCurve()));
            return flaggedLike(std::move(line), *g);
        }
        case wkbPolygon: {
            Polygon polygon;
            appendRings(*g->toPolygon(), polygon.rings);
            return flaggedLike(std::move(polygon), *g);
        }
        default:
            break;
    }
    if (g->hasCurveGeometry()) {
        std::unique_ptr<OGRGeometry> linear(g->getLinearGeometry());
        return fromOgr(linear.get());
    }
    if (!OGR_GT_IsSubClassOf(g->getGeometryType(), wkbGeometryCollection)) unsupported(*g);
    CollectionReader reader(*g);
    for (const OGRGeometry* member : *g->toGeometryCollection()) reader.add(*member);
    Geometry shape = reader.result();
    // An empty multi-geometry still says what it would hold.
    if (std::holds_alternative<std::monostate>(shape)) {
        switch (wkbFlatten(g->getGeometryType())) {
            case wkbMultiPoint:
                return flaggedLike(Multipoint{}, *g);
            case wkbMultiLineString:
                return flaggedLike(Polyline{}, *g);
            case wkbMultiPolygon:
                return flaggedLike(Polygon{}, *g);
            default:
                break;
        }
    }
    return shape;
}

std::string toWkt(const Geometry& g) {
    std::unique_ptr<OGRGeometry> ogr = toOgr(g);
    if (!ogr) return "GEOMETRYCOLLECTION EMPTY";
    OGRWktOptions options;
    options.variant = wkbVariantIso;
    options.precision = 15;
    options.round = true;
    options.format = OGRWktFormat::Default;
    return ogr->exportToWkt(options);
}

Geometry fromWkt(const std::string& wkt) {
    const char* text = wkt.c_str();
    OGRGeometry* parsed = nullptr;
    if (OGRGeometryFactory::createFromWkt(&text, nullptr, &parsed) != OGRERR_NONE || !parsed)
        throw std::invalid_argument("malformed WKT: " + wkt);
    std::unique_ptr<OGRGeometry> owned(parsed);
    if (std::string_view(text).find_first_not_of(" \t\r\n") != std::string_view::npos)
        throw std::invalid_argument("malformed WKT: text follows the geometry: " + wkt);
    return fromOgr(owned.get());
}

}  // namespace ondu
