#include "framework/host/flat_shapes.h"

#include <cpl_error.h>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <sqlite3.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "framework/error.h"
#include "framework/host/ogr_geometry.h"
#include "framework/host/ogr_workspace.h"

namespace ondu {

void FlatShapes::add(long long oid, const Geometry& shape) {
    if (isEmpty(shape)) return;
    features.push_back({oid, shapeTypeOf(shape), pathCount()});
    auto addPath = [this](const Path& path) {
        for (const Point& p : path)
            if (!p.isEmpty()) x.push_back(p.x), y.push_back(p.y);
        if (x.size() > pathStarts.back()) pathStarts.push_back(x.size());
    };
    if (const auto* point = std::get_if<Point>(&shape)) addPath({*point});
    if (const auto* points = std::get_if<Multipoint>(&shape)) addPath(points->points);
    if (const auto* line = std::get_if<Polyline>(&shape))
        for (const Path& path : line->paths) addPath(path);
    if (const auto* area = std::get_if<Polygon>(&shape))
        for (const Path& ring : area->rings) addPath(ring);
    if (features.back().firstPath == pathCount()) features.pop_back();
}

namespace {

/// Reads the vertices of well-known binary (ISO or extended Z/M flags, either byte order) of
/// points, lines, polygons and their multi-geometries into FlatShapes. Any other content makes
/// read() answer false with the shapes left as they were.
class WkbReader {
public:
    WkbReader(const unsigned char* data, std::size_t size) : at_(data), end_(data + size) {}

    bool read(long long oid, FlatShapes& out) {
        const std::size_t features = out.features.size(), paths = out.pathStarts.size(),
                          vertices = out.x.size();
        out_ = &out;
        out.features.push_back({oid, ShapeType::Null, out.pathCount()});
        if (geometry(0) && at_ == end_) {
            if (out.features.back().firstPath == out.pathCount()) out.features.pop_back();
            return true;
        }
        out.features.resize(features);
        out.pathStarts.resize(paths);
        out.x.resize(vertices);
        out.y.resize(vertices);
        return false;
    }

private:
    static constexpr std::uint32_t kPoint = 1, kLineString = 2, kPolygon = 3, kMultiPoint = 4;

    /// One geometry; `member` is the type a multi-geometry's members must have (0 at the top).
    bool geometry(std::uint32_t member) {
        if (!byteOrder()) return false;
        std::uint32_t type = 0;
        if (!u32(type)) return false;
        const bool flaggedZ = type & 0x80000000u, flaggedM = type & 0x40000000u;
        if (type & 0x20000000u) return false;  // an embedded SRID
        type &= 0x0fffffffu;
        const std::uint32_t iso = type / 1000, base = type % 1000;
        if (iso > 3) return false;
        const bool z = flaggedZ || iso == 1 || iso == 3, m = flaggedM || iso == 2 || iso == 3;
        const int dimensions = 2 + z + m;
        if (member && base != member) return false;
        if (!member && !setKind(base)) return false;
        if (base == kPoint) return vertices(1, dimensions, member != 0);
        if (base == kLineString) return counted(dimensions);
        if (base == kPolygon) {
            std::uint32_t rings = 0;
            if (!u32(rings)) return false;
            for (std::uint32_t i = 0; i < rings; ++i)
                if (!counted(dimensions)) return false;
            return true;
        }
        std::uint32_t members = 0;
        if (!u32(members)) return false;
        for (std::uint32_t i = 0; i < members; ++i)
            if (!geometry(base - 3)) return false;
        // The points of a multipoint make one path.
        if (base == kMultiPoint) closePath();
        return true;
    }

    bool setKind(std::uint32_t base) {
        constexpr ShapeType kinds[] = {
            ShapeType::Null,       ShapeType::Point,    ShapeType::Polyline, ShapeType::Polygon,
            ShapeType::Multipoint, ShapeType::Polyline, ShapeType::Polygon};
        if (base < 1 || base > 6) return false;
        out_->features.back().kind = kinds[base];
        return true;
    }

    bool counted(int dimensions) {
        std::uint32_t count = 0;
        return u32(count) && vertices(count, dimensions, false);
    }

    /// `count` vertices of a path; a multipoint's points stay open for the next one.
    bool vertices(std::uint32_t count, int dimensions, bool openPath) {
        const std::size_t bytes = std::size_t{8} * dimensions;
        if (static_cast<std::size_t>(end_ - at_) / bytes < count) return false;
        for (std::uint32_t i = 0; i < count; ++i, at_ += bytes) {
            const double px = number(at_), py = number(at_ + 8);
            // An empty point is written with NaN coordinates.
            if (std::isnan(px) || std::isnan(py)) continue;
            out_->x.push_back(px);
            out_->y.push_back(py);
        }
        if (!openPath) closePath();
        return true;
    }

    void closePath() {
        if (out_->x.size() > out_->pathStarts.back()) out_->pathStarts.push_back(out_->x.size());
    }

    bool byteOrder() {
        if (at_ == end_ || *at_ > 1) return false;
        swap_ = (*at_++ == 1) != (std::endian::native == std::endian::little);
        return true;
    }

    bool u32(std::uint32_t& value) {
        if (end_ - at_ < 4) return false;
        unsigned char bytes[4];
        std::memcpy(bytes, at_, 4);
        if (swap_) std::swap(bytes[0], bytes[3]), std::swap(bytes[1], bytes[2]);
        std::memcpy(&value, bytes, 4);
        at_ += 4;
        return true;
    }

    double number(const unsigned char* at) const {
        unsigned char bytes[8];
        std::memcpy(bytes, at, 8);
        if (swap_)
            for (int i = 0; i < 4; ++i) std::swap(bytes[i], bytes[7 - i]);
        double value;
        std::memcpy(&value, bytes, 8);
        return value;
    }

    const unsigned char* at_;
    const unsigned char* end_;
    bool swap_ = false;
    FlatShapes* out_ = nullptr;
};

/// Adds the shape of a GeoPackage geometry blob: its header, then well-known binary. Blobs the
/// WKB reader does not take go through OGR; an empty geometry adds nothing. False, having added
/// nothing, for a blob neither can read.
bool addGeoPackageBlob(long long oid, const unsigned char* blob, std::size_t size,
                       FlatShapes& out) {
    constexpr std::size_t kEnvelopeBytes[] = {0, 32, 48, 48, 64};
    if (size < 8 || blob[0] != 'G' || blob[1] != 'P') return false;
    const unsigned flags = blob[3];
    const unsigned envelope = (flags >> 1) & 7;
    const bool empty = flags & 0x10, extended = flags & 0x20;
    if (envelope > 4 || size < 8 + kEnvelopeBytes[envelope]) return false;
    if (empty) return true;
    const unsigned char* wkb = blob + 8 + kEnvelopeBytes[envelope];
    const std::size_t wkbSize = size - 8 - kEnvelopeBytes[envelope];
    if (!extended && WkbReader(wkb, wkbSize).read(oid, out)) return true;
    OGRGeometry* parsed = nullptr;
    CPLPushErrorHandler(CPLQuietErrorHandler);  // the failure is reported by the caller
    const OGRErr read = OGRGeometryFactory::createFromWkb(wkb, nullptr, &parsed, wkbSize);
    CPLPopErrorHandler();
    if (read != OGRERR_NONE) return false;
    std::unique_ptr<OGRGeometry> owned(parsed);
    out.add(oid, fromOgr(owned.get()));
    return true;
}

/// The shapes of a GeoPackage table read on GDAL's connection; false, having read nothing,
/// where the class is not such a table. Throws HostError naming the feature whose shape cannot
/// be read.
bool readGeoPackageShapes(OgrFeatureClass& cls, FlatShapes& out) {
    GDALDataset* dataset = cls.dataset().handle();
    OGRLayer* layer = cls.layer();
    if (!EQUAL(dataset->GetDriverName(), "GPKG") || !*layer->GetFIDColumn() ||
        !*layer->GetGeometryColumn())
        return false;
    auto* connection = static_cast<sqlite3*>(dataset->GetInternalHandle("SQLITE_HANDLE"));
    if (!connection) return false;
    const char* fid = layer->GetFIDColumn();
    std::unique_ptr<char, void (*)(void*)> sql(
        sqlite3_mprintf("SELECT \"%w\", \"%w\" FROM \"%w\" ORDER BY \"%w\"", fid,
                        layer->GetGeometryColumn(), layer->GetName(), fid),
        &sqlite3_free);
    sqlite3_stmt* prepared = nullptr;
    const bool ready =
        sql && sqlite3_prepare_v2(connection, sql.get(), -1, &prepared, nullptr) == SQLITE_OK;
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(prepared, &sqlite3_finalize);
    if (!ready) return false;
    int status;
    while ((status = sqlite3_step(statement.get())) == SQLITE_ROW) {
        if (sqlite3_column_type(statement.get(), 1) != SQLITE_BLOB) continue;
        const long long oid = sqlite3_column_int64(statement.get(), 0);
        const auto* blob =
            static_cast<const unsigned char*>(sqlite3_column_blob(statement.get(), 1));
        const auto size = static_cast<std::size_t>(sqlite3_column_bytes(statement.get(), 1));
        if (!addGeoPackageBlob(oid, blob, size, out))
            throw HostError(
                "cannot read the shape of feature " + std::to_string(oid) + " in " + cls.name(),
                error_number::kGeneric, "", std::to_string(oid));
    }
    if (status != SQLITE_DONE) throw HostError("cannot read " + cls.name());
    return true;
}

}  // namespace

FlatShapes readFlatShapes(IFeatureClass& cls) {
    FlatShapes shapes;
    if (auto* ogr = dynamic_cast<OgrFeatureClass*>(&cls); ogr && readGeoPackageShapes(*ogr, shapes))
        return shapes;
    auto cursor = cls.search(nullptr);
    while (auto feature = cursor->nextFeature()) shapes.add(feature->OID(), feature->shape());
    return shapes;
}

}  // namespace ondu
