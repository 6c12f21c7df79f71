#include "framework/host/sample_river.h"

#include <cpl_error.h>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <initializer_list>
#include <numbers>
#include <optional>
#include <stdexcept>
#include <utility>
#include <variant>
#include <vector>

#include "framework/file_commit.h"
#include "framework/geometry/curve.h"
#include "framework/geometry/line_index.h"
#include "framework/host/gdal_support.h"
#include "framework/host/ogr_geometry.h"
#include "framework/host_operations.h"
#include "framework/number_text.h"

namespace ondu {

namespace {

constexpr double kPi = std::numbers::pi;
/// Past about 113° a sine-generated curve's bends close into loops and its amplitude shrinks
/// again, so a larger deflection would give an ambiguous, nearly self-touching river.
constexpr double kMaxDeflection = 110.0 * kPi / 180.0;
/// Caps that keep a mistyped option from exhausting memory.
constexpr double kMaxVertices = 1e7;
constexpr double kMaxSegments = 1e6;
constexpr int kNoNeighbour = -9999;
/// The bathymetry reaches this far beyond the banks, so that normals cast across the channel
/// from a line drawn along it find ground on both sides; the ground rises this much per unit.
constexpr double kBathymetryMargin = 200;
constexpr double kGroundRise = 0.02;
constexpr double kMaxBathymetryCells = 2e7;

// ---- options ----------------------------------------------------------------------------------

void require(bool ok, const char* option, const std::string& rule, double value) {
    if (!ok)
        throw std::invalid_argument(std::string(option) + " must be " + rule + ", not " +
                                    plain(value));
}

bool positive(double value) { return std::isfinite(value) && value > 0; }
bool nonNegative(double value) { return std::isfinite(value) && value >= 0; }

/// More reference points than a surveyed river ever has; a bound keeps a typo from exhausting
/// the memory.
constexpr int kMaxReferencePoints = 1000000;

void validate(const SampleRiverOptions& o) {
    require(positive(o.length), "length", "a positive number", o.length);
    require(positive(o.wavelength), "wavelength", "a positive number", o.wavelength);
    require(nonNegative(o.amplitude), "amplitude", "zero or a positive number", o.amplitude);
    require(positive(o.segmentLength), "segmentLength", "a positive number", o.segmentLength);
    require(o.length / o.segmentLength <= kMaxSegments, "segmentLength",
            "at least length / " + plain(kMaxSegments), o.segmentLength);
    require(positive(o.width), "width", "a positive number", o.width);
    require(std::isfinite(o.bankElevation), "bankElevation", "a number", o.bankElevation);
    require(std::isfinite(o.slope), "slope", "a number", o.slope);
    require(nonNegative(o.depth), "depth", "zero or a positive number", o.depth);
    require(o.referencePointCount >= 0 && o.referencePointCount <= kMaxReferencePoints,
            "referencePointCount", "from 0 to " + plain(kMaxReferencePoints),
            o.referencePointCount);
    for (const auto& [count, name] : {std::pair{o.gaugingStationCount, "gaugingStationCount"},
                                      std::pair{o.surveyPointCount, "surveyPointCount"}})
        require(count >= 0 && count <= kMaxReferencePoints, name,
                "from 0 to " + plain(kMaxReferencePoints), count);
    require(nonNegative(o.crossSectionSpacing), "crossSectionSpacing", "zero or a positive number",
            o.crossSectionSpacing);
    require(o.crossSectionSpacing == 0 || o.length / o.crossSectionSpacing <= kMaxSegments,
            "crossSectionSpacing", "at least length / " + plain(kMaxSegments),
            o.crossSectionSpacing);
    require(positive(o.vertexSpacing), "vertexSpacing", "a positive number", o.vertexSpacing);
    require(nonNegative(o.bathymetryCellSize), "bathymetryCellSize", "zero or a positive number",
            o.bathymetryCellSize);
    require(o.length / o.vertexSpacing <= kMaxVertices, "vertexSpacing",
            "at least length / " + plain(kMaxVertices), o.vertexSpacing);
    require(std::isfinite(o.originX), "originX", "a number", o.originX);
    require(std::isfinite(o.originY), "originY", "a number", o.originY);
}

OGRSpatialReference projectedCrs(int epsg) {
    OGRSpatialReference crs;
    // An unknown code is the user's mistake, reported below by name, not GDAL noise.
    CPLErrorHandlerPusher quiet(CPLQuietErrorHandler);
    require(crs.importFromEPSG(epsg) == OGRERR_NONE && crs.IsProjected(), "epsg",
            "the EPSG code of a projected coordinate system", epsg);
    crs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    return crs;
}

// ---- plan form --------------------------------------------------------------------------------

/// The largest distance from the valley axis of a sine-generated curve: half the sideways rise
/// over the half wavelength in which the channel heads to one side.
double amplitudeOf(double deflection, double wavelength) {
    constexpr int kSteps = 1000;
    double rise = 0;
    for (int i = 0; i < kSteps; ++i)
        rise += std::sin(deflection * std::sin(kPi * (i + 0.5) / kSteps));
    return rise * (wavelength / 2 / kSteps) / 2;
}

/// The deflection ω whose curve reaches the requested amplitude. The amplitude grows with ω up
/// to the cap, so bisection finds the one answer.
double deflectionFor(const SampleRiverOptions& o) {
    const double largest = amplitudeOf(kMaxDeflection, o.wavelength);
    require(o.amplitude <= largest, "amplitude",
            "at most " + plain(std::floor(largest)) + " for a wavelength of " +
                plain(o.wavelength) + " (larger bends close into loops)",
            o.amplitude);
    double low = 0;
    double high = kMaxDeflection;
    for (int i = 0; i < 60; ++i) {
        const double middle = (low + high) / 2;
        (amplitudeOf(middle, o.wavelength) < o.amplitude ? low : high) = middle;
    }
    return (low + high) / 2;
}

/// A centerline vertex and the channel's direction there (radians anticlockwise from +X).
struct Station {
    Point at;
    double direction = 0;
};

std::vector<Station> traceCenterline(const SampleRiverOptions& o) {
    const double deflection = deflectionFor(o);
    const auto directionAt = [&](double s) {
        return deflection * std::sin(2 * kPi * s / o.wavelength);
    };
    const auto chords = static_cast<std::size_t>(std::ceil(o.length / o.vertexSpacing));
    const double step = o.length / static_cast<double>(chords);
    std::vector<Station> stations{{Point(o.originX, o.originY), directionAt(0)}};
    stations.reserve(chords + 1);
    for (std::size_t i = 0; i < chords; ++i) {
        // A chord along the direction at its middle keeps the vertices on the curve to second
        // order, and equal chords add up to the requested length exactly.
        const double heading = directionAt((static_cast<double>(i) + 0.5) * step);
        const Point& last = stations.back().at;
        stations.push_back(
            {Point(last.x + step * std::cos(heading), last.y + step * std::sin(heading)),
             directionAt(static_cast<double>(i + 1) * step)});
    }
    return stations;
}

Polyline measuredCenterline(const std::vector<Station>& stations, double length) {
    Path path;
    path.reserve(stations.size());
    for (const Station& s : stations) path.push_back(s.at);
    return setMeasuresByDistance(Polyline(std::move(path)), 0, length);
}

/// The point `distance` to the left of the station, across the channel (negative: to the right).
Point leftOf(const Station& s, double distance) {
    return Point(s.at.x - distance * std::sin(s.direction),
                 s.at.y + distance * std::cos(s.direction));
}

/// The banks come from the curve's own normals rather than from offsets of the chords, so they
/// stay exactly half a width from the centerline at every vertex.
Polygon channelBoundary(const std::vector<Station>& stations, double width) {
    Path ring;
    ring.reserve(2 * stations.size() + 3);
    for (const Station& s : stations) ring.push_back(leftOf(s, width / 2));
    // The centerline's ends as ring vertices put them exactly on the outline rather than within
    // rounding of it, so the polygon holds the whole centerline by any exact predicate.
    ring.push_back(stations.back().at);
    for (auto s = stations.rbegin(); s != stations.rend(); ++s)
        ring.push_back(leftOf(*s, -width / 2));
    ring.push_back(stations.front().at);
    Polygon boundary;
    boundary.rings.push_back(closedRing(ring));
    return boundary;
}

void requireBanksApart(const Polygon& boundary, double width) {
    CPLErrorHandlerPusher quiet(CPLQuietErrorHandler);
    require(toOgr(boundary)->IsValid(), "width",
            "narrow enough for the banks of the bends not to overlap (or flatten the bends)",
            width);
}

// ---- segments and points along the centerline -------------------------------------------------

/// The point of a path whose measures rise strictly, at a measure between its first and last.
Point pointAtMeasure(const Path& path, double m) {
    const auto after = std::upper_bound(path.begin() + 1, path.end() - 1, m,
                                        [](double value, const Point& p) { return value < p.m; });
    const Point& a = *(after - 1);
    const Point& b = *after;
    if (m >= b.m) return Point(b.x, b.y);
    const double t = (m - a.m) / (b.m - a.m);
    return Point(a.x + t * (b.x - a.x), a.y + t * (b.y - a.y));
}

/// The measures where segments start and end: 0, each whole segment length, and the end. A
/// remainder of up to half a segment stays on the last one, as the split-line tool leaves it,
/// so that no sliver segment spoils the curvature fit of the thalweg tool.
std::vector<double> segmentBreaks(double length, double segmentLength) {
    std::vector<double> breaks{0};
    for (double k = 1; (k + 0.5) * segmentLength < length; ++k) breaks.push_back(k * segmentLength);
    breaks.push_back(length);
    return breaks;
}

/// The part of a measured path between two measures. Vertices within `tolerance` of a break
/// are left out, so that a break that falls on a vertex leaves no near-zero chord.
Polyline pathBetween(const Path& path, double from, double to, double tolerance) {
    Path piece{pointAtMeasure(path, from)};
    auto v = std::upper_bound(path.begin(), path.end(), from + tolerance,
                              [](double value, const Point& p) { return value < p.m; });
    for (; v != path.end() && v->m < to - tolerance; ++v) piece.push_back(Point(v->x, v->y));
    piece.push_back(pointAtMeasure(path, to));
    return Polyline(std::move(piece));
}

double bankElevationAt(const SampleRiverOptions& o, double measure) {
    return o.bankElevation - o.slope * measure;
}

// ---- GeoPackage output ------------------------------------------------------------------------

[[noreturn]] void fail(const std::string& what) {
    const std::string detail = CPLGetLastErrorMsg();
    throw HostError(detail.empty() ? what : what + ": " + detail);
}

void check(OGRErr err, const std::string& what) {
    if (err != OGRERR_NONE) fail(what);
}

struct FieldSpec {
    const char* name;
    OGRFieldType type;
};

using Attributes = std::initializer_list<std::pair<const char*, std::variant<int, double>>>;

OGRLayer& createLayer(GDALDataset& gpkg, OGRSpatialReference& crs, const char* name,
                      OGRwkbGeometryType type, std::initializer_list<FieldSpec> fields) {
    char geometryName[] = "GEOMETRY_NAME=SHAPE";
    char* options[] = {geometryName, nullptr};
    OGRLayer* layer = gpkg.CreateLayer(name, &crs, type, options);
    if (!layer) fail(std::string("cannot create layer ") + name);
    for (const FieldSpec& field : fields) {
        OGRFieldDefn defn(field.name, field.type);
        check(layer->CreateField(&defn),
              std::string("cannot add field ") + field.name + " to " + name);
    }
    return *layer;
}

/// Stores a feature under a chosen fid, so that chain links can name their neighbours before
/// those are written.
void store(OGRLayer& layer, GIntBig fid, const Geometry& shape, Attributes attributes) {
    OGRFeature feature(layer.GetLayerDefn());
    feature.SetFID(fid);
    check(feature.SetGeometryDirectly(toOgr(shape, layer.GetGeomType()).release()),
          std::string("cannot set a shape in ") + layer.GetName());
    for (const auto& [field, value] : attributes)
        std::visit([&, field = field](auto v) { feature.SetField(field, v); }, value);
    check(layer.CreateFeature(&feature),
          std::string("cannot store a feature in ") + layer.GetName());
}

void writeSegments(GDALDataset& gpkg, OGRSpatialReference& crs, const Polyline& centerline,
                   const SampleRiverOptions& o) {
    OGRLayer& layer = createLayer(gpkg, crs, "CenterlineSegments", wkbLineString,
                                  {{"Measure", OFTReal},
                                   {"Width", OFTReal},
                                   {"BankElev", OFTReal},
                                   {"Depth", OFTReal},
                                   {"FromLine", OFTInteger},
                                   {"ToLine", OFTInteger}});
    const Path& path = centerline.paths.front();
    const std::vector<double> breaks = segmentBreaks(o.length, o.segmentLength);
    const double tolerance = 1e-9 * o.length;
    const int count = static_cast<int>(breaks.size()) - 1;
    for (int i = 0; i < count; ++i) {
        const int fid = i + 1;
        const double measure = (breaks[i] + breaks[i + 1]) / 2;
        store(layer, fid, pathBetween(path, breaks[i], breaks[i + 1], tolerance),
              {{"Measure", measure},
               {"Width", o.width},
               {"BankElev", bankElevationAt(o, measure)},
               {"Depth", o.depth},
               {"FromLine", i == 0 ? kNoNeighbour : fid - 1},
               {"ToLine", i + 1 == count ? kNoNeighbour : fid + 1}});
    }
}

/// Reference points sit mid-way in equal shares of the river, never at its ends, where the
/// attribute interpolation would treat a point as missing.
void writeReferencePoints(GDALDataset& gpkg, OGRSpatialReference& crs, const Polyline& centerline,
                          const SampleRiverOptions& o) {
    OGRLayer& layer =
        createLayer(gpkg, crs, "ReferencePoints", wkbPoint,
                    {{"Measure", OFTReal}, {"BankElev", OFTReal}, {"Depth", OFTReal}});
    for (int i = 0; i < o.referencePointCount; ++i) {
        const double measure = (i + 0.5) * o.length / o.referencePointCount;
        store(
            layer, i + 1, pointAtMeasure(centerline.paths.front(), measure),
            {{"Measure", measure}, {"BankElev", bankElevationAt(o, measure)}, {"Depth", o.depth}});
    }
}

/// `count` measures spread evenly along the river, none at its ends.
std::vector<double> evenMeasures(int count, double length) {
    std::vector<double> measures;
    for (int i = 0; i < count; ++i) measures.push_back((i + 0.5) * length / count);
    return measures;
}

/// The point `offset` to the right of the centerline (negative: to the left) at a measure, found
/// by bisection over the measures, which run with the distance along the line.
Point besideCenterline(const Polyline& centerline, double measure, double offset) {
    const Path& path = centerline.paths.front();
    const auto after = std::upper_bound(path.begin() + 1, path.end() - 1, measure,
                                        [](double value, const Point& p) { return value < p.m; });
    const Point& a = *(after - 1);
    const Point& b = *after;
    const double len = std::hypot(b.x - a.x, b.y - a.y);
    const Point at = pointAtMeasure(path, measure);
    return Point(at.x + offset * (b.y - a.y) / len, at.y - offset * (b.x - a.x) / len);
}

void writeGaugingStations(GDALDataset& gpkg, OGRSpatialReference& crs, const Polyline& centerline,
                          const SampleRiverOptions& o) {
    OGRLayer& layer = createLayer(gpkg, crs, "GaugingStations", wkbPoint, {});
    const auto measures = evenMeasures(o.gaugingStationCount, o.length);
    for (std::size_t i = 0; i < measures.size(); ++i) {
        const double side = i % 2 ? 1 : -1;
        store(layer, static_cast<GIntBig>(i + 1),
              besideCenterline(centerline, measures[i], side * (o.width / 2 + 15)), {});
    }
}

void writeSurveyPoints(GDALDataset& gpkg, OGRSpatialReference& crs, const Polyline& centerline,
                       const SampleRiverOptions& o) {
    OGRLayer& layer =
        createLayer(gpkg, crs, "SurveyPoints", wkbPoint, {{"S", OFTReal}, {"N", OFTReal}});
    const auto measures = evenMeasures(o.surveyPointCount, o.length);
    for (std::size_t i = 0; i < measures.size(); ++i) {
        // Nine places across the channel, visited in a scattered order.
        const double across = -0.4 + 0.1 * static_cast<double>((i * 7) % 9);
        store(layer, static_cast<GIntBig>(i + 1),
              besideCenterline(centerline, measures[i], across * o.width), {});
    }
}

/// The bed at a measure and at `u` across the channel (0 the left bank, 1 the right one): a
/// parabola whose lowest point lies towards the outer bank where the channel bends; beyond the
/// banks, ground rising from the bank elevation.
double bedElevation(const SampleRiverOptions& o, double measure, double u) {
    const double bank = bankElevationAt(o, measure);
    const double beyondBank = std::max(-u, u - 1) * o.width;
    if (beyondBank > 0) return bank + beyondBank * kGroundRise;
    // Curvature follows cos(2πs/λ); the river starts turning left, so the outer bank is right.
    const double lowest = 0.5 + 0.3 * std::cos(2 * kPi * measure / o.wavelength);
    const double reach = std::max(lowest, 1 - lowest);
    const double shape = 1 - std::pow((u - lowest) / reach, 2);
    return bank - o.depth * shape;
}

/// A section from the left bank to the right one with 11 vertices on the bed.
Polyline surveyedSection(const Polyline& centerline, double measure, const SampleRiverOptions& o) {
    constexpr int kVertices = 11;
    Path path;
    for (int k = 0; k < kVertices; ++k) {
        const double u = static_cast<double>(k) / (kVertices - 1);
        const Point p = besideCenterline(centerline, measure, (u - 0.5) * o.width);
        path.push_back(Point(p.x, p.y, bedElevation(o, measure, u)));
    }
    return Polyline(std::move(path), true);
}

/// Nine bed points across the channel every quarter width along it.
void writeBedPoints(GDALDataset& gpkg, OGRSpatialReference& crs, const Polyline& centerline,
                    const SampleRiverOptions& o) {
    OGRLayer& layer = createLayer(gpkg, crs, "BedPoints", wkbPoint, {{"BedElev", OFTReal}});
    const double step = o.width / 4;
    GIntBig fid = 1;
    for (double m = step / 2; m < o.length; m += step)
        for (int k = 1; k <= 9; ++k) {
            const double u = 0.1 * k;
            store(layer, fid++, besideCenterline(centerline, m, (u - 0.5) * o.width),
                  {{"BedElev", bedElevation(o, m, u)}});
        }
}

/// The cells of the bathymetry: the boundary's extent and a margin around it.
CellGrid bathymetryGrid(const Polygon& boundary, const SampleRiverOptions& o) {
    Envelope extent;
    for (const Point& p : allVertices(boundary)) extent.add(p.x, p.y);
    const double cell = o.bathymetryCellSize;
    const double columns = std::ceil((extent.width() + 2 * kBathymetryMargin) / cell);
    const double rows = std::ceil((extent.height() + 2 * kBathymetryMargin) / cell);
    require(columns * rows <= kMaxBathymetryCells, "bathymetryCellSize",
            "large enough for at most " + plain(kMaxBathymetryCells) + " cells", cell);
    return {extent.xMin - kBathymetryMargin, extent.yMin - kBathymetryMargin, cell,
            static_cast<int>(columns), static_cast<int>(rows)};
}

/// The bed of every cell centre, by where it lies along and across the channel, written as
/// "<name>-bathymetry" beside the GeoPackage (replacing one there).
void writeBathymetry(const std::string& gpkgPath, const CellGrid& grid, const Polyline& centerline,
                     const SampleRiverOptions& o, const std::string& wkt) {
    const LineIndex index({centerline});
    std::vector<double> cells;
    cells.reserve(grid.cellCount());
    for (int row = 0; row < grid.rows; ++row)
        for (int column = 0; column < grid.columns; ++column) {
            const CurveLocation at =
                index.nearest(Point(grid.centreX(column), grid.centreY(row)))->location;
            const double offset = at.rightSide ? at.distanceFrom : -at.distanceFrom;
            cells.push_back(bedElevation(o, at.distanceAlong, 0.5 + offset / o.width));
        }
    const std::filesystem::path path(gpkgPath);
    const std::string name = path.stem().string() + "-bathymetry";
    auto workspace = openRasterWorkspace(path.has_parent_path() ? path.parent_path().string()
                                                                : std::string("."));
    if (workspace->exists(name)) workspace->remove(name);
    RasterDatasetPtr raster = workspace->createDataset({.name = name,
                                                        .format = "GTiff",
                                                        .origin = Point(grid.xMin, grid.yMin),
                                                        .columns = grid.columns,
                                                        .rows = grid.rows,
                                                        .cellWidth = grid.cellSize,
                                                        .cellHeight = grid.cellSize,
                                                        .pixelType = PixelType::Float,
                                                        .spatialReference = wkt});
    raster->band(0).writeBlock(0, 0, grid.columns, grid.rows, cells);
    raster->save();
}

void writeSurveyCrossSections(GDALDataset& gpkg, OGRSpatialReference& crs,
                              const Polyline& centerline, const SampleRiverOptions& o) {
    OGRLayer& layer =
        createLayer(gpkg, crs, "SurveyCrossSections", wkbLineString25D, {{"Measure", OFTReal}});
    if (o.crossSectionSpacing == 0) return;
    GIntBig fid = 1;
    for (double m = o.crossSectionSpacing / 2; m < o.length; m += o.crossSectionSpacing)
        store(layer, fid++, surveyedSection(centerline, m, o), {{"Measure", m}});
}

void removeGeoPackage(const std::string& path) {
    std::error_code ignored;
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        std::filesystem::remove(path + suffix, ignored);
}

void writeLayers(const std::string& path, OGRSpatialReference& crs, const Polyline& centerline,
                 const Polygon& boundary, const SampleRiverOptions& o) {
    CPLErrorReset();  // so that a failure reports its own cause, not an earlier message
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
    if (!driver) fail("the GeoPackage driver is not available");
    GDALDatasetUniquePtr gpkg(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!gpkg) fail("cannot create " + path);
    check(gpkg->StartTransaction(), "cannot start a transaction in " + path);
    store(createLayer(*gpkg, crs, "CenterLine", wkbLineStringM, {}), 1, centerline, {});
    writeSegments(*gpkg, crs, centerline, o);
    store(createLayer(*gpkg, crs, "ChannelBoundary", wkbPolygon, {}), 1, boundary, {});
    writeReferencePoints(*gpkg, crs, centerline, o);
    createLayer(*gpkg, crs, "Thalweg", wkbLineString25D, {});
    createLayer(*gpkg, crs, "CrossSections", wkbLineString25D, {});
    writeGaugingStations(*gpkg, crs, centerline, o);
    writeSurveyPoints(*gpkg, crs, centerline, o);
    writeSurveyCrossSections(*gpkg, crs, centerline, o);
    if (o.bathymetryCellSize > 0) writeBedPoints(*gpkg, crs, centerline, o);
    check(gpkg->CommitTransaction(), "cannot save " + path);
}

}  // namespace

void writeSampleRiver(const std::string& gpkgPath, const SampleRiverOptions& options) {
    static const bool driversRegistered = (GDALAllRegister(), true);
    (void)driversRegistered;
    validate(options);
    OGRSpatialReference crs = projectedCrs(options.epsg);
    const std::vector<Station> stations = traceCenterline(options);
    const Polygon boundary = channelBoundary(stations, options.width);
    requireBanksApart(boundary, options.width);
    const Polyline centerline = measuredCenterline(stations, options.length);
    const std::optional<CellGrid> bathymetry =
        options.bathymetryCellSize > 0 ? std::optional(bathymetryGrid(boundary, options))
                                       : std::nullopt;

    // Written under a temporary name and renamed into place: a stopped run leaves no partial
    // GeoPackage and the file it would have replaced.
    PendingFiles files;
    const std::string temporary = files.add(gpkgPath);
    removeGeoPackage(temporary);
    try {
        writeLayers(temporary, crs, centerline, boundary, options);
        // A journal left beside the replaced file must not be played back into the new one.
        for (const char* suffix : {"-journal", "-wal", "-shm"}) {
            std::error_code ignored;
            std::filesystem::remove(gpkgPath + suffix, ignored);
        }
        files.commit();
    } catch (...) {
        removeGeoPackage(temporary);
        throw;
    }
    if (bathymetry) writeBathymetry(gpkgPath, *bathymetry, centerline, options, wktOf(&crs));
}

}  // namespace ondu
