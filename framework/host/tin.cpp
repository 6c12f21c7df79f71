// TINs stored as GeoPackages that any GIS opens: the triangles ("triangles", POLYGON Z) beside
// what they were built from: the mass points ("mass_points", POINT Z), the hard lines
// ("hard_lines", LINESTRING Z) and the clip polygon ("clip", POLYGON, empty when none).

#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <unordered_map>

#include "framework/host/gdal_support.h"
#include "framework/host/ogr_geometry.h"
#include "framework/host/tin_triangulation.h"
#include "framework/host_operations.h"

namespace ondu {

namespace fs = std::filesystem;

namespace {

constexpr const char* kTriangles = "triangles";
constexpr const char* kMassPoints = "mass_points";
constexpr const char* kHardLines = "hard_lines";
constexpr const char* kClip = "clip";

using DatasetPtr = std::unique_ptr<GDALDataset, void (*)(GDALDataset*)>;

DatasetPtr own(GDALDataset* dataset) {
    return DatasetPtr(dataset, [](GDALDataset* d) { GDALClose(d); });
}

/// A triangle ready for sampling: its corners, and z as a plane around the first corner.
struct Facet {
    double x0, y0, z0;
    double dzdx, dzdy;
    double ex[3], ey[3], px[3], py[3];  ///< edges (from corner i) and their start corners
    double xMin, xMax, yMin, yMax;

    /// Whether (x, y) lies inside or on the triangle (with a tolerance relative to its size).
    bool holds(double x, double y) const {
        for (int i = 0; i < 3; ++i) {
            const double cross = ex[i] * (y - py[i]) - ey[i] * (x - px[i]);
            if (cross < -1e-12 * (ex[i] * ex[i] + ey[i] * ey[i])) return false;
        }
        return true;
    }
    double z(double x, double y) const { return z0 + dzdx * (x - x0) + dzdy * (y - y0); }
};

/// Facets of a mesh, without the triangles of no area.
std::vector<Facet> facetsOf(const TinMesh& mesh) {
    std::vector<Facet> facets;
    facets.reserve(mesh.triangles.size());
    for (const auto& t : mesh.triangles) {
        const auto& a = mesh.vertices[t[0]];
        const auto& b = mesh.vertices[t[1]];
        const auto& c = mesh.vertices[t[2]];
        const double bx = b[0] - a[0], by = b[1] - a[1], cx = c[0] - a[0], cy = c[1] - a[1];
        const double area2 = bx * cy - cx * by;
        if (!(area2 > 0)) continue;  // counter-clockwise triangles only; no area, no surface
        const double bz = b[2] - a[2], cz = c[2] - a[2];
        Facet f{};
        f.x0 = a[0];
        f.y0 = a[1];
        f.z0 = a[2];
        f.dzdx = (bz * cy - cz * by) / area2;
        f.dzdy = (bx * cz - cx * bz) / area2;
        const std::array<double, 3>* corners[3] = {&a, &b, &c};
        for (int i = 0; i < 3; ++i) {
            const auto& from = *corners[i];
            const auto& to = *corners[(i + 1) % 3];
            f.px[i] = from[0];
            f.py[i] = from[1];
            f.ex[i] = to[0] - from[0];
            f.ey[i] = to[1] - from[1];
        }
        f.xMin = std::min({a[0], b[0], c[0]});
        f.xMax = std::max({a[0], b[0], c[0]});
        f.yMin = std::min({a[1], b[1], c[1]});
        f.yMax = std::max({a[1], b[1], c[1]});
        facets.push_back(f);
    }
    return facets;
}

/// A uniform grid of buckets over the facets, for finding the facet under a point.
class FacetIndex {
public:
    FacetIndex(const std::vector<Facet>& facets, const Envelope& extent) : extent_(extent) {
        side_ = std::max(1, static_cast<int>(std::sqrt(facets.size() / 2.0)));
        cellWidth_ = std::max(extent.width() / side_, 1e-300);
        cellHeight_ = std::max(extent.height() / side_, 1e-300);
        std::vector<std::uint32_t> counts(static_cast<std::size_t>(side_) * side_ + 1, 0);
        forEachBucket(facets, [&](std::size_t bucket, std::uint32_t) { ++counts[bucket + 1]; });
        for (std::size_t i = 1; i < counts.size(); ++i) counts[i] += counts[i - 1];
        starts_ = counts;
        members_.resize(counts.back());
        forEachBucket(facets, [&](std::size_t bucket, std::uint32_t facet) {
            members_[counts[bucket]++] = facet;
        });
    }

    /// The facets whose bounds may hold (x, y).
    std::pair<const std::uint32_t*, const std::uint32_t*> candidates(double x, double y) const {
        const std::size_t bucket =
            static_cast<std::size_t>(row(y)) * side_ + static_cast<std::size_t>(column(x));
        return {members_.data() + starts_[bucket], members_.data() + starts_[bucket + 1]};
    }

private:
    int column(double x) const {
        return std::clamp(static_cast<int>((x - extent_.xMin) / cellWidth_), 0, side_ - 1);
    }
    int row(double y) const {
        return std::clamp(static_cast<int>((y - extent_.yMin) / cellHeight_), 0, side_ - 1);
    }
    template <class Visit>
    void forEachBucket(const std::vector<Facet>& facets, Visit visit) const {
        for (std::size_t i = 0; i < facets.size(); ++i) {
            const Facet& f = facets[i];
            for (int r = row(f.yMin); r <= row(f.yMax); ++r)
                for (int c = column(f.xMin); c <= column(f.xMax); ++c)
                    visit(static_cast<std::size_t>(r) * side_ + c, static_cast<std::uint32_t>(i));
        }
    }

    Envelope extent_;
    int side_ = 1;
    double cellWidth_ = 1, cellHeight_ = 1;
    std::vector<std::uint32_t> starts_;
    std::vector<std::uint32_t> members_;
};

// ---- GeoPackage storage --------------------------------------------------------------------

OGRLayer* createLayer(GDALDataset& dataset, const char* name, OGRwkbGeometryType type,
                      const OGRSpatialReference* srs) {
    OGRLayer* layer = dataset.CreateLayer(name, const_cast<OGRSpatialReference*>(srs), type);
    if (!layer) failWithGdalError(std::string("cannot create the TIN table ") + name);
    return layer;
}

void writeGeometry(OGRLayer& layer, std::unique_ptr<OGRGeometry> geometry) {
    OGRFeature feature(layer.GetLayerDefn());
    feature.SetGeometryDirectly(geometry.release());
    if (layer.CreateFeature(&feature) != OGRERR_NONE)
        failWithGdalError(std::string("cannot write to the TIN table ") + layer.GetName());
}

std::unique_ptr<OGRGeometry> ogrShapeOf(Geometry shape, OGRwkbGeometryType layerType) {
    setZAware(shape, OGR_GT_HasZ(layerType));
    std::unique_ptr<OGRGeometry> geometry = toOgr(shape, layerType);
    if (!geometry) throw HostError("a TIN source shape cannot be written");
    return geometry;
}

template <class Visit>
void readLayer(GDALDataset& dataset, const char* name, Visit visit) {
    OGRLayer* layer = dataset.GetLayerByName(name);
    if (!layer) throw HostError(std::string("the TIN has no table ") + name);
    layer->ResetReading();
    for (auto& feature : *layer)
        if (const OGRGeometry* g = feature->GetGeometryRef()) visit(*g);
}

struct TinContent {
    std::vector<Point> massPoints;
    std::vector<Polyline> hardLines;
    std::optional<Polygon> clip;
    std::string spatialReference;
    TinMesh mesh;
};

/// The triangles of the stored TIN over shared vertices: corners of equal X, Y and Z are one.
TinMesh readMesh(GDALDataset& dataset) {
    TinMesh mesh;
    struct Key {
        double x, y, z;
        bool operator==(const Key&) const = default;
    };
    struct Hash {
        std::size_t operator()(const Key& k) const {
            const std::hash<double> h;
            return h(k.x) ^ (h(k.y) * 31) ^ (h(k.z) * 131);
        }
    };
    std::unordered_map<Key, std::uint32_t, Hash> indexOf;
    readLayer(dataset, kTriangles, [&](const OGRGeometry& g) {
        const auto* polygon = dynamic_cast<const OGRPolygon*>(&g);
        const OGRLinearRing* ring = polygon ? polygon->getExteriorRing() : nullptr;
        if (!ring || ring->getNumPoints() < 3) return;
        std::array<std::uint32_t, 3> triangle{};
        for (int i = 0; i < 3; ++i) {
            const Key key{ring->getX(i), ring->getY(i), ring->getZ(i)};
            auto [at, added] =
                indexOf.try_emplace(key, static_cast<std::uint32_t>(mesh.vertices.size()));
            if (added) mesh.vertices.push_back({key.x, key.y, key.z});
            triangle[static_cast<std::size_t>(i)] = at->second;
        }
        mesh.triangles.push_back(triangle);
    });
    return mesh;
}

TinContent readTin(const std::string& path) {
    GDALAllRegister();
    CPLErrorReset();
    auto dataset = own(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
    if (!dataset) failWithGdalError("cannot open the TIN " + path);
    TinContent content;
    readLayer(*dataset, kMassPoints, [&](const OGRGeometry& g) {
        const Geometry shape = fromOgr(&g);
        if (const auto* p = std::get_if<Point>(&shape)) content.massPoints.push_back(*p);
    });
    readLayer(*dataset, kHardLines, [&](const OGRGeometry& g) {
        const Geometry shape = fromOgr(&g);
        if (const auto* line = std::get_if<Polyline>(&shape)) content.hardLines.push_back(*line);
    });
    readLayer(*dataset, kClip, [&](const OGRGeometry& g) {
        const Geometry shape = fromOgr(&g);
        if (const auto* polygon = std::get_if<Polygon>(&shape)) content.clip = *polygon;
    });
    content.spatialReference = wktOf(dataset->GetLayerByName(kTriangles)->GetSpatialRef());
    content.mesh = readMesh(*dataset);
    return content;
}

void writeTriangles(OGRLayer& layer, const TinMesh& mesh) {
    for (const auto& t : mesh.triangles) {
        auto ring = std::make_unique<OGRLinearRing>();
        for (int i = 0; i <= 3; ++i) {
            const auto& v = mesh.vertices[t[static_cast<std::size_t>(i % 3)]];
            ring->addPoint(v[0], v[1], v[2]);
        }
        auto polygon = std::make_unique<OGRPolygon>();
        polygon->addRingDirectly(ring.release());
        writeGeometry(layer, std::move(polygon));
    }
}

/// Writes the TIN to `path` through a temporary file put in place at the end, so that a failed
/// or killed write leaves the earlier file as it was.
void writeTin(const std::string& path, const TinContent& content) {
    GDALAllRegister();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
    if (!driver) failWithGdalError("GDAL has no GeoPackage driver");
    const fs::path target(path);
    const fs::path partial = target.parent_path() / ("." + target.stem().string() + "-" +
                                                     std::to_string(::getpid()) + ".partial.gpkg");
    std::error_code ignored;
    fs::remove(partial, ignored);
    try {
        CPLErrorReset();
        auto dataset = own(driver->Create(partial.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
        if (!dataset) failWithGdalError("cannot create the TIN " + path);
        const auto srs = spatialReferenceOfWkt(content.spatialReference);
        const OGRSpatialReference* reference = srs.get();
        if (dataset->StartTransaction() != OGRERR_NONE)
            failWithGdalError("cannot write the TIN " + path);
        writeTriangles(*createLayer(*dataset, kTriangles, wkbPolygon25D, reference), content.mesh);
        OGRLayer* points = createLayer(*dataset, kMassPoints, wkbPoint25D, reference);
        for (const Point& p : content.massPoints)
            writeGeometry(*points, ogrShapeOf(p, wkbPoint25D));
        OGRLayer* lines = createLayer(*dataset, kHardLines, wkbLineString25D, reference);
        for (const Polyline& line : content.hardLines)
            for (const Path& path : line.paths)
                writeGeometry(*lines, ogrShapeOf(Polyline(path), wkbLineString25D));
        OGRLayer* clip = createLayer(*dataset, kClip, wkbMultiPolygon, reference);
        if (content.clip) writeGeometry(*clip, ogrShapeOf(*content.clip, wkbMultiPolygon));
        if (dataset->CommitTransaction() != OGRERR_NONE)
            failWithGdalError("cannot write the TIN " + path);
        GDALClose(dataset.release());
        if (CPLGetLastErrorType() >= CE_Failure) failWithGdalError("cannot write the TIN " + path);
        fs::rename(partial, target);
    } catch (const fs::filesystem_error& e) {
        fs::remove(partial, ignored);
        throw HostError("cannot put the TIN " + path + " in place: " + e.what());
    } catch (...) {
        fs::remove(partial, ignored);
        throw;
    }
}

/// The file of a TIN path: the path itself when it has an extension, else "<path>.gpkg".
std::string tinFileOf(const std::string& path) {
    return fs::path(path).has_extension() ? path : path + ".gpkg";
}

// ---- the TIN -------------------------------------------------------------------------------

class Tin : public ITin {
public:
    Tin(TinContent content, std::string path)
        : content_(std::move(content)), path_(std::move(path)) {
        rebuildSurface();
    }

    std::string path() const override { return path_; }
    Envelope extent() const override { return extent_; }
    double lowestElevation() const override { return lowest_; }
    double highestElevation() const override { return highest_; }
    std::string spatialReference() const override { return content_.spatialReference; }
    std::size_t triangleCount() const override { return content_.mesh.triangles.size(); }

    double elevation(double x, double y) const override {
        if (!(x >= extent_.xMin && x <= extent_.xMax && y >= extent_.yMin && y <= extent_.yMax))
            return kNaN;
        auto [first, last] = index_->candidates(x, y);
        for (; first != last; ++first) {
            const Facet& f = facets_[*first];
            if (f.holds(x, y)) return f.z(x, y);
        }
        return kNaN;
    }

    std::vector<double> sampleCells(const CellGrid& grid, double noData) const override {
        std::vector<double> cells(grid.cellCount(), noData);
        const double s = grid.cellSize;
        for (const Facet& f : facets_) {
            // The cells whose centres fall within the facet's bounds.
            const int c0 = std::max(0, static_cast<int>(std::ceil((f.xMin - grid.xMin) / s - 0.5)));
            const int c1 = std::min(grid.columns - 1,
                                    static_cast<int>(std::floor((f.xMax - grid.xMin) / s - 0.5)));
            const double top = grid.rows - 0.5;
            const int r0 = std::max(0, static_cast<int>(std::ceil(top - (f.yMax - grid.yMin) / s)));
            const int r1 = std::min(grid.rows - 1,
                                    static_cast<int>(std::floor(top - (f.yMin - grid.yMin) / s)));
            for (int r = r0; r <= r1; ++r) {
                const double y = grid.centreY(r);
                double* row = cells.data() + static_cast<std::size_t>(r) * grid.columns;
                for (int c = c0; c <= c1; ++c) {
                    const double x = grid.centreX(c);
                    if (f.holds(x, y)) row[c] = f.z(x, y);
                }
            }
        }
        return cells;
    }

    void addLines(const std::vector<Polyline>& lines) override {
        content_.hardLines.insert(content_.hardLines.end(), lines.begin(), lines.end());
        content_.mesh = triangulate(content_.massPoints, content_.hardLines,
                                    content_.clip ? &*content_.clip : nullptr);
        rebuildSurface();
    }

    void save() override {
        if (path_.empty()) throw HostError("the TIN has never been saved: give it a path");
        writeTin(path_, content_);
    }

    TinPtr saveAs(const std::string& path) const override {
        const std::string file = tinFileOf(path);
        writeTin(file, content_);
        return std::make_shared<Tin>(content_, file);
    }

private:
    void rebuildSurface() {
        facets_ = facetsOf(content_.mesh);
        extent_ = Envelope{};
        lowest_ = highest_ = kNaN;
        for (const auto& t : content_.mesh.triangles)
            for (std::uint32_t i : t) {
                const auto& v = content_.mesh.vertices[i];
                extent_.add(v[0], v[1]);
                if (!(v[2] >= lowest_)) lowest_ = v[2];
                if (!(v[2] <= highest_)) highest_ = v[2];
            }
        index_.emplace(facets_, extent_);
    }

    TinContent content_;
    std::string path_;
    std::vector<Facet> facets_;
    Envelope extent_;
    double lowest_ = kNaN;
    double highest_ = kNaN;
    std::optional<FacetIndex> index_;
};

}  // namespace

TinPtr createTin(const std::vector<Point>& massPoints, const std::vector<Polyline>& hardLines,
                 const Polygon* clip, const std::string& spatialReference) {
    TinContent content;
    content.massPoints = massPoints;
    content.hardLines = hardLines;
    if (clip) content.clip = *clip;
    content.spatialReference = spatialReference;
    content.mesh = triangulate(massPoints, hardLines, clip);
    if (content.mesh.triangles.empty())
        throw HostError("a TIN needs at least three points that are not on one line");
    return std::make_shared<Tin>(std::move(content), "");
}

TinPtr openTin(const std::string& path) {
    const std::string file = tinFileOf(path);
    return std::make_shared<Tin>(readTin(file), file);
}

}  // namespace ondu
