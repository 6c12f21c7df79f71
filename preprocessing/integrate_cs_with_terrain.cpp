#include "preprocessing/integrate_cs_with_terrain.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "framework/channel_model.h"
#include "framework/error_report.h"
#include "framework/file_commit.h"
#include "framework/file_helpers.h"
#include "framework/geometry/curve.h"
#include "framework/map_helpers.h"
#include "framework/number_text.h"
#include "framework/shared_state.h"
#include "framework/surface_helpers.h"
#include "framework/ui.h"
#include "framework/vector_helpers.h"

namespace ondu {

namespace fs = std::filesystem;

namespace {

constexpr const char* kNewFeat = "NewFeat";
constexpr const char* kRast = "rast";
constexpr const char* kMerged = "merged";
constexpr const char* kNewTin = "NewTIN";
constexpr const char* kMergedTin = "MergedTIN";
constexpr double kRastCellSize = 30.0;
/// Rows of "merged" written at a time: a few megabytes of cells on a wide raster.
constexpr int kMergeRows = 256;

/// A failure of one step for one cross-section, named so that the user knows what to fix.
[[noreturn]] void failAt(const std::string& step, long long section, const std::exception& e) {
    const ErrorInfo info = describe(e);
    throw HostError(step + ", cross-section " + std::to_string(section) + ": " + info.description,
                    info.number);
}

/// The surface the sections are extended on and the terrain they are built into.
struct Terrain {
    std::shared_ptr<ISurface> surface;
    RasterDatasetPtr raster;  ///< a raster terrain
    TinPtr tin;               ///< a TIN terrain
    double drapeStep = 0;     ///< how far apart draped vertices lie

    std::string path() const {
        return raster ? (fs::path(raster->folder()) / (raster->name() + ".tif")).string()
                      : tin->path();
    }
};

/// Draped vertices come a cell apart on a raster and about half a triangle apart on a TIN, so
/// that every cell or facet the extension crosses leaves its elevation in it.
Terrain terrainOf(IDocument& map, const std::string& name) {
    ILayer* layer = maputil::SelectSurfaceLayer(&map, name);
    if (!layer)
        throw HostError("No terrain surface layer '" + name + "' in the map",
                        error_number::kObjectNotSet);
    Terrain terrain;
    if (IRasterLayer* rasterLayer = layer->asRasterLayer()) {
        terrain.raster = rasterLayer->raster();
        terrain.surface = surfaceUtil::GetSurfaceFromLayer(layer);
        terrain.drapeStep = std::min(terrain.raster->cellWidth(), terrain.raster->cellHeight());
    } else {
        terrain.tin = layer->asTinLayer()->tin();
        terrain.surface = terrain.tin;
        const Envelope e = terrain.tin->extent();
        const double triangles = std::max<double>(1.0, terrain.tin->triangleCount());
        terrain.drapeStep = std::sqrt(e.width() * e.height() / triangles) / 2;
        if (!(terrain.drapeStep > 0)) terrain.drapeStep = std::max(e.width(), e.height());
    }
    return terrain;
}

/// The measures of the processing set, sorted in processing order.
std::vector<double> processingOrder(IFeatureLayer* layer, IFeatureClass& cls, int measureField,
                                    bool descending) {
    std::vector<double> measures;
    auto cursor = maputil::GetFeatureCursor(layer);
    while (auto feature = cursor->nextFeature()) {
        try {
            const double m = maputil::RequireNumber(*feature, measureField, cls);
            if (!std::isfinite(m)) throw HostError("the measure is not a finite number", 5);
            measures.push_back(m);
        } catch (const std::exception& e) {
            failAt("Reading the measures", feature->OID(), e);
        }
    }
    vectorUtil::ShellSortDouble(measures);
    if (descending) std::reverse(measures.begin(), measures.end());
    return measures;
}

/// The first feature (by object id) of every measure value of the whole class.
std::map<double, long long> featuresByMeasure(IFeatureClass& cls, int measureField) {
    std::map<double, long long> first;
    auto cursor = cls.search(nullptr);
    while (auto feature = cursor->nextFeature())
        if (const auto m = toDouble(feature->value(measureField)); m && std::isfinite(*m))
            first.emplace(*m, feature->OID());
    return first;
}

/// One processed cross-section: which feature, and its new shape.
struct Section {
    long long oid = 0;
    Polyline shape;
};

Polyline extendedShape(const Polyline& line, const Terrain& terrain, double factor) {
    const Polyline before =
        GetExtendedLine(line, *terrain.surface, true, factor, terrain.drapeStep);
    const Polyline after =
        GetExtendedLine(line, *terrain.surface, false, factor, terrain.drapeStep);
    Polyline shape;
    shape.zAware = true;
    shape.paths.push_back(before.paths.front());
    for (const Path& part : line.paths) shape.paths.push_back(part);
    shape.paths.push_back(after.paths.front());
    return shape;
}

/// The grid P(i, k): row i holds the division points of section i.
using DivisionGrid = std::vector<std::vector<Point>>;

std::vector<Point> divisionPoints(const Polyline& shape, long divisions) {
    std::vector<Point> points;
    points.reserve(static_cast<std::size_t>(divisions) + 1);
    for (long k = 0; k <= divisions; ++k) {
        Point p = queryPoint(shape, static_cast<double>(k) / divisions, true);
        p.zAware = true;
        points.push_back(p);
    }
    return points;
}

/// L(k) through P(0, k), P(1, k), ..., P(n, k).
std::vector<Polyline> profileLines(const DivisionGrid& grid) {
    std::vector<Polyline> lines;
    if (grid.empty()) return lines;
    for (std::size_t k = 0; k < grid.front().size(); ++k) {
        Path path;
        for (const auto& row : grid) path.push_back(row[k]);
        lines.emplace_back(std::move(path), true, false);
    }
    return lines;
}

/// The first profile line and then the last one backwards, closed.
Polygon outlineOf(const std::vector<Polyline>& lines) {
    Polygon outline;
    outline.zAware = true;
    Path ring = lines.front().paths.front();
    const Path& last = lines.back().paths.front();
    ring.insert(ring.end(), last.rbegin(), last.rend());
    ring.push_back(ring.front());
    outline.rings.push_back(std::move(ring));
    return outline;
}

// ---- outputs -------------------------------------------------------------------------------

/// Where the terrain outputs go, and whether an older one of each may be replaced.
struct TerrainOutputs {
    std::string rasterFolder;  ///< of "rast" and "merged"
    std::string newTinPath;
    std::string mergedTinPath;
};

[[noreturn]] void refuseForeign(const std::string& path) {
    throw RunRefused("\"" + path +
                     "\" exists and is not an output of this tool: it is left as it is. Move it "
                     "away and run the tool again.");
}

bool isTin(const std::string& path) {
    try {
        openTin(path);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void requireReplaceableTin(const std::string& path, const std::string& terrainPath) {
    if (!fs::exists(path)) return;
    refuseOutputOverInput(terrainPath, path);
    if (!isTin(path)) refuseForeign(path);
}

void requireReplaceableRaster(const std::string& folder, const std::string& name,
                              const std::string& terrainPath) {
    const std::string path = (fs::path(folder) / (std::string(name) + ".tif")).string();
    if (!fs::exists(path)) return;
    refuseOutputOverInput(terrainPath, path);
    if (!surfaceUtil::OpenRasterDataset(folder, name)) refuseForeign(path);
}

TerrainOutputs checkTerrainOutputs(const Terrain& terrain, const std::string& sectionFolder) {
    TerrainOutputs outputs;
    const std::string terrainPath = terrain.path();
    if (terrain.tin) {
        outputs.mergedTinPath =
            (fs::path(terrainPath).parent_path() / (std::string(kMergedTin) + ".gpkg")).string();
        requireReplaceableTin(outputs.mergedTinPath, terrainPath);
        return outputs;
    }
    outputs.rasterFolder = terrain.raster->folder();
    outputs.newTinPath = (fs::path(sectionFolder) / (std::string(kNewTin) + ".gpkg")).string();
    requireReplaceableTin(outputs.newTinPath, terrainPath);
    requireReplaceableRaster(outputs.rasterFolder, kRast, terrainPath);
    requireReplaceableRaster(outputs.rasterFolder, kMerged, terrainPath);
    return outputs;
}

/// An older "_new" class is replaced only when it carries the field this tool gives it.
void requireReplaceableClass(IFeatureClass& cls, const std::string& newName) {
    if (maputil::FeatureClassExists(cls, newName) &&
        !maputil::FeatureClassHasField(cls, newName, kNewFeat))
        throw RunRefused("The class \"" + newName +
                         "\" exists and is not an output of this tool: it is left as it is. "
                         "Rename it and run the tool again.");
}

/// The class that receives the new shapes: a fresh copy "<class>_new" with NewFeat, or the
/// input itself.
std::unique_ptr<IFeatureLayer> copyForNewShapes(IFeatureClass& cls, const std::string& newName) {
    if (maputil::FeatureClassExists(cls, newName)) maputil::DeleteFeatureClass(cls, newName);
    auto copy = maputil::CopyFeatureClass(cls, newName);
    // A copy of an earlier output already carries the field.
    if (maputil::featureClassOf(copy.get()).findField(kNewFeat) < 0)
        maputil::AddField(copy.get(), kNewFeat, FieldType::Integer);
    return copy;
}

void storeShapes(IFeatureClass& target, const std::vector<Section>& sections) {
    const int newFeat = target.findField(kNewFeat);  // replace mode: only where the class has it
    for (const Section& s : sections) {
        try {
            FeaturePtr feature = target.getFeature(s.oid);
            if (!feature) throw HostError("the feature is missing from " + target.name(), 91);
            feature->setShape(s.shape);
            if (newFeat >= 0) feature->setValue(newFeat, 1LL);
            feature->store();
        } catch (const std::exception& e) {
            failAt("Storing the new shape", s.oid, e);
        }
    }
}

/// "merged" on the terrain raster's grid: a "rast" cell with data wins, the terrain elsewhere.
void writeMerged(IRasterDataset& terrain, IRasterDataset& rast, const std::string& folder) {
    auto workspace = surfaceUtil::SetRasterWorkspace(folder);
    if (!workspace) throw HostError("the folder " + folder + " is not a raster workspace");
    const int columns = terrain.columns(), rows = terrain.rows();
    IRasterBand& terrainCells = terrain.band(0);
    IRasterBand& rastCells = rast.band(0);
    const std::vector<double> sections = rastCells.readBlock(0, 0, rast.columns(), rast.rows());
    const auto rastNoData = rastCells.noData();
    const Envelope rastExtent = rast.extent();
    const Envelope extent = terrain.extent();

    RasterDatasetPtr merged = surfaceUtil::CreateRasterDataset(
        workspace->folder(), kMerged, "GRID", terrain.origin(), columns, rows, terrain.cellWidth(),
        terrain.cellHeight(), PixelType::Float, terrain.spatialReference(), true);
    IRasterBand& cells = surfaceUtil::GetRawPixels(*merged, 0);
    if (const auto noData = terrainCells.noData()) cells.setNoData(*noData);

    // The "rast" column of every terrain column, -1 off "rast".
    std::vector<int> rastColumn(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) {
        const double x = extent.xMin + (c + 0.5) * terrain.cellWidth();
        const double at = std::floor((x - rastExtent.xMin) / rast.cellWidth());
        rastColumn[static_cast<std::size_t>(c)] = at >= 0 && at < rast.columns() ? int(at) : -1;
    }
    for (int top = 0; top < rows; top += kMergeRows) {
        const int height = std::min(kMergeRows, rows - top);
        std::vector<double> block = terrainCells.readBlock(0, top, columns, height);
        for (int r = 0; r < height; ++r) {
            const double y = extent.yMax - (top + r + 0.5) * terrain.cellHeight();
            const double at = std::floor((rastExtent.yMax - y) / rast.cellHeight());
            if (!(at >= 0 && at < rast.rows())) continue;
            const std::size_t rastRow = static_cast<std::size_t>(at) * rast.columns();
            for (int c = 0; c < columns; ++c) {
                const int rc = rastColumn[static_cast<std::size_t>(c)];
                if (rc < 0) continue;
                const double v = sections[rastRow + static_cast<std::size_t>(rc)];
                if (std::isnan(v) || (rastNoData && v == *rastNoData)) continue;
                block[static_cast<std::size_t>(r) * columns + c] = v;
            }
        }
        cells.writeBlock(0, top, columns, height, block);
    }
    merged->save();
}

/// The copy is built under a temporary name and takes its place only once the lines are in, so
/// a failure leaves an older MergedTIN as it was and no half-built one behind.
void buildMergedTin(ITin& terrain, const std::vector<Polyline>& lines, const std::string& path) {
    PendingFiles pending;
    {
        TinPtr copy = terrain.saveAs(pending.add(path));
        copy->addLines(lines);
        copy->save();
    }
    pending.commit();
}

void buildMergedRaster(const Terrain& terrain, const std::vector<Polyline>& lines,
                       const Polygon& outline, IFeatureClass& sections,
                       const TerrainOutputs& outputs, IProgressBar& progress) {
    const Envelope extent = extentOf(sections);
    auto newTin = surfaceUtil::CreateTinLyrFromGeometry(
        lines, surfaceUtil::kTinGeometryLines, extent, &outline, spatialReferenceOf(sections),
        outputs.newTinPath);
    const std::string& folder = outputs.rasterFolder;
    auto workspace = openRasterWorkspace(folder);
    if (workspace->exists(kRast) && !surfaceUtil::KillRaster(folder, kRast))
        throw HostError("the older raster rast could not be deleted");
    RasterDatasetPtr rast =
        surfaceUtil::TinToRaster(newTin->tin().get(), 3, folder, kRast, PixelType::Float,
                                 kRastCellSize, extent, true, progress);
    if (!rast) throw RunCancelled();
    if (workspace->exists(kMerged) && !surfaceUtil::KillRaster(folder, kMerged))
        throw HostError("the older raster merged could not be deleted");
    writeMerged(*terrain.raster, *rast, folder);
}

void requireOptions(const IntegrateCSwithTerrainOptions& options) {
    if (options.divisions < 1) throw RunRefused("The number of divisions must be at least 1.");
    if (options.extend && !(options.factor >= 1 && std::isfinite(options.factor)))
        throw RunRefused("The extension factor must be a number of at least 1.");
}

}  // namespace

Polyline GetExtendedLine(const Polyline& line, const ISurface& surface, bool atStart, double factor,
                         double step) {
    if (!(factor >= 1)) throw std::invalid_argument("the extension factor must be at least 1");
    const Polyline forward = atStart ? reverseOrientation(line) : line;
    const Point end = toPoint(forward);
    const Point far =
        queryPoint(forward, factor * length(forward), false, 0.0, CurveExtension::Tangent);
    Polyline draped;
    if (far.x == end.x && far.y == end.y) {
        draped = Polyline({end, end}, true, false);
    } else {
        draped = surface.profile(Polyline({end, far}, true, false), step);
        if (draped.paths.size() != 1 || draped.paths.front().size() < 2 ||
            draped.paths.front().back().x != far.x || draped.paths.front().back().y != far.y)
            throw HostError("the extension runs off the terrain surface");
        draped.paths.front().front() = end;
    }
    return atStart ? reverseOrientation(draped) : draped;
}

IntegrateCSwithTerrainResult run(const IntegrateCSwithTerrainOptions& options, IDocument& map,
                                 IProgressBar& progress) {
    requireOptions(options);
    IFeatureLayer* layer = maputil::RequireLayer(&map, options.crossSections, "cross-sections");
    IFeatureClass& cls = maputil::featureClassOf(layer);
    const int measureField = maputil::RequireField(cls, options.measureField);
    maputil::RequireFeaturesToProcess(layer);
    const std::vector<double> measures =
        processingOrder(layer, cls, measureField, options.measuresDescending);
    if (options.newTerrain && measures.size() < 2)
        throw RunRefused("At least two cross-sections are needed to build a terrain.");

    IntegrateCSwithTerrainResult result;
    const std::string classPath = maputil::ClassPath(cls);
    if (options.createNew && classPath.empty()) {
        MsgBox("Please open the database and close it", MsgButtons::OK, "");
        return result;
    }
    const std::string newName = cls.name() + "_new";
    if (options.createNew) requireReplaceableClass(cls, newName);
    Terrain terrain;
    if (options.extend || options.newTerrain) terrain = terrainOf(map, options.surface);
    TerrainOutputs outputs;
    if (options.newTerrain) outputs = checkTerrainOutputs(terrain, GetFolderFromPath(classPath));

    // Everything is worked out before anything is written.
    const auto byMeasure = featuresByMeasure(cls, measureField);
    std::vector<Section> sections;
    DivisionGrid grid;
    progress.show("Processing...", 0, static_cast<long>(measures.size()), 1);
    for (double m : measures) {
        const auto found = byMeasure.find(m);
        if (found == byMeasure.end())
            throw HostError("No cross-section has " + options.measureField + " = " + plain(m),
                            error_number::kObjectNotSet);
        Section s{found->second, {}};
        try {
            FeaturePtr feature = cls.getFeature(s.oid);
            const Polyline line = maputil::CheckedPolyline(*feature, layer->name());
            s.shape = options.extend ? extendedShape(line, terrain, options.factor) : line;
            s.shape.zAware = true;
            grid.push_back(divisionPoints(s.shape, options.divisions));
        } catch (const std::exception& e) {
            failAt(options.extend ? "Extending" : "Dividing", s.oid, e);
        }
        sections.push_back(std::move(s));
        stepOrStop(progress);
    }
    progress.hide();
    result.profileLines = profileLines(grid);
    const std::vector<Polyline>& lines = result.profileLines;
    if (lines.front().paths.front().size() > 1) result.outline = outlineOf(lines);

    std::unique_ptr<IFeatureLayer> copy;
    if (options.createNew) copy = copyForNewShapes(cls, newName);
    IFeatureClass& target = copy ? maputil::featureClassOf(copy.get()) : cls;
    storeShapes(target, sections);
    result.sectionClass = target.name();
    result.sections = static_cast<long>(sections.size());

    if (options.newTerrain && terrain.tin) {
        buildMergedTin(*terrain.tin, lines, outputs.mergedTinPath);
        result.terrains.push_back(outputs.mergedTinPath);
    } else if (options.newTerrain) {
        buildMergedRaster(terrain, lines, result.outline, target, outputs, progress);
        result.terrains = {outputs.newTinPath,
                           (fs::path(outputs.rasterFolder) / "rast.tif").string(),
                           (fs::path(outputs.rasterFolder) / "merged.tif").string()};
    }
    if (copy) maputil::ShowCreatedClass(&map, target);
    for (const std::string& terrain : result.terrains)
        surfaceUtil::ShowCreatedSurface(&map, terrain);
    result.completed = true;
    return result;
}

// ---- dialog ----------------------------------------------------------------------------------

const DialogDecl& frmIntegrateCSwithTerrain::declaration() {
    static const DialogDecl decl{
        "frmIntegrateCSwithTerrain",
        "Integrate CrossSections with Terrain",
        {
            {.name = "cmbCrossSections",
             .kind = ControlKind::List,
             .label = "CrossSections",
             .frame = "Input",
             .help = "3D cross-sections (line layer with Z)",
             .source = layersFor(channel::kCrossSections),
             .required = {"No layer selected for cross-sections"}},
            {.name = "cmbMeasure",
             .kind = ControlKind::List,
             .label = "Measure Field",
             .frame = "Input",
             .help = "field giving each cross-section's position along the river",
             .source = fieldsOf("cmbCrossSections"),
             .reproposesFirst = true},
            {.name = "cmbSurface",
             .kind = ControlKind::List,
             .label = "Terrain Surface",
             .frame = "Input",
             .help = "terrain raster or TIN",
             .source = {.kind = ListSource::Kind::Surfaces}},
            {.name = "chkExtend",
             .kind = ControlKind::CheckBox,
             .label = "Extend c/s by a factor of",
             .frame = "Input Parameters",
             .defaultValue = "0",
             .help = "lengthen each cross-section at both ends along the terrain"},
            {.name = "txtFactor",
             .kind = ControlKind::TextBox,
             .frame = "Input Parameters",
             .defaultValue = "2",
             .help = "extended length over the cross-section's length (2: each end grows by "
                     "the section's length)",
             .type = ValueType::Number,
             .invalid = {"Enter a valid number for extension factor"}},
            {.name = "chkMsDescend",
             .kind = ControlKind::CheckBox,
             .label = "c/s measures are from d/s to u/s",
             .frame = "Input Parameters",
             .defaultValue = "0",
             .help = "process the cross-sections from the highest measure down"},
            {.name = "txtNoProfileLines",
             .kind = ControlKind::TextBox,
             .label = "No of Divisions",
             .frame = "Input Parameters",
             .defaultValue = "25",
             .help = "equal parts every cross-section is divided into",
             .type = ValueType::WholeNumber,
             .invalid = {"Enter a valid number for divisions"}},
            {.name = "chkNewTerrain",
             .kind = ControlKind::CheckBox,
             .label = "Create new terrain by incorporating c/s",
             .frame = "Output Options",
             .defaultValue = "0",
             .help = "build a terrain in which the cross-sections replace the surface"},
            {.name = "optCreateNew",
             .kind = ControlKind::OptionButton,
             .label = "Store new extened c/s in a new feature class",
             .frame = "Output Options",
             .defaultValue = "1",
             .help = "write the new shapes into a copy named <class>_new"},
            {.name = "optReplace",
             .kind = ControlKind::OptionButton,
             .label = "Replace existing c/s with new extened c/s",
             .frame = "Output Options",
             .defaultValue = "0",
             .help = "write the new shapes into the cross-sections themselves"},
            okButton("integrate the cross-sections"),
            cancelButton("close without changes"),
        }};
    return decl;
}

IntegrateCSwithTerrainOptions frmIntegrateCSwithTerrain::options() const {
    return {.crossSections = text("cmbCrossSections"),
            .measureField = text("cmbMeasure"),
            .surface = text("cmbSurface"),
            .extend = checked("chkExtend"),
            .factor = number("txtFactor").value_or(kNaN),
            .measuresDescending = checked("chkMsDescend"),
            .divisions = static_cast<long>(number("txtNoProfileLines").value_or(0)),
            .newTerrain = checked("chkNewTerrain"),
            .createNew = checked("optCreateNew")};
}

void frmIntegrateCSwithTerrain::onOk() {
    runThenUnload(ErrorStyle::Plain, "", [&] {
        const auto result = run(options(), currentDocument(), userInterface().statusProgress());
        if (result.completed)
            MsgBox("Process completed successfully!", MsgButtons::OK, "Integration");
    });
}

}  // namespace ondu
