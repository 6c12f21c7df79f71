#include "framework/surface_helpers.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>

#include "framework/error_report.h"
#include "framework/map_helpers.h"
#include "framework/number_text.h"

namespace ondu::surfaceUtil {

namespace {

constexpr int kMaxBlockSide = 2048;
constexpr double kMaxCellsAlongSide = 1e6;
constexpr std::size_t kMaxCellsInMemory = std::size_t{1} << 28;  // 2 GB of cell values
constexpr double kIdwPower = 2.0;
constexpr int kIdwNeighbours = 12;
/// The no-data value of interpolated rasters: the lowest 32-bit float, which no elevation is.
constexpr double kInterpolationNoData = -std::numeric_limits<float>::max();

/// The no-data value as a raster of that pixel type holds it.
double noDataFor(PixelType type, double value) {
    if (type == PixelType::Float) return static_cast<float>(value);
    if (type == PixelType::Double) return value;
    return roundHalfEven(value);
}

/// Hides the progress whatever way the run leaves.
class ShownProgress {
public:
    ShownProgress(IProgressBar& progress, const std::string& message, long maximum)
        : progress_(progress) {
        progress_.show(message, 0, maximum, 1);
    }
    ~ShownProgress() { progress_.hide(); }
    ShownProgress(const ShownProgress&) = delete;
    ShownProgress& operator=(const ShownProgress&) = delete;

private:
    IProgressBar& progress_;
};

/// Block `index` of `count` along a side of `cells` cells in blocks of `side`: its first cell
/// and its length (the last block takes what remains).
std::pair<int, int> blockSpan(int index, int side, int cells) {
    const int first = index * side;
    return {first, std::min(side, cells - first)};
}

/// The points of the class with their `field` value as Z; points without a value are left out.
std::vector<Point> valuedPoints(IFeatureClass& cls, const std::string& field) {
    const int index = cls.findField(field);
    if (index < 0) throw HostError("Field " + field + " not found in " + cls.name());
    std::vector<Point> points;
    auto cursor = cls.search(nullptr);
    while (auto feature = cursor->nextFeature()) {
        const std::optional<double> value = toDouble(feature->value(index));
        const Geometry shape = feature->shape();
        const auto* point = std::get_if<Point>(&shape);
        if (!value || std::isnan(*value) || !point || point->isEmpty()) continue;
        points.emplace_back(point->x, point->y, *value);
    }
    return points;
}

std::vector<Polygon> polygonsOf(IFeatureClass& cls) {
    std::vector<Polygon> polygons;
    auto cursor = cls.search(nullptr);
    while (auto feature = cursor->nextFeature()) {
        Geometry shape = feature->shape();
        if (auto* polygon = std::get_if<Polygon>(&shape)) polygons.push_back(std::move(*polygon));
    }
    return polygons;
}

/// "IDW_<field>", or with "_1", "_2", ... added when that raster exists.
std::string freeRasterName(const IRasterWorkspace& workspace, const std::string& field) {
    const std::string base = "IDW_" + field;
    std::string name = base;
    for (int n = 1; workspace.exists(name); ++n) name = base + "_" + std::to_string(n);
    return name;
}

/// The grid covering the extent from its lower-left corner with cells of `cellSize`.
/// A count of cells along one side of a raster; throws HostError for more than a raster of
/// ours holds (a cell size far too small for the extent).
int cellsAlongSide(double count) {
    if (!(count <= kMaxCellsAlongSide))
        throw HostError("a raster of " + plain(count) +
                        " cells along one side is too large: take larger cells");
    return static_cast<int>(count);
}

/// The grid covering the extent from its lower-left corner with cells of `cellSize`, small
/// enough to be held in memory.
CellGrid coveringGrid(const Envelope& extent, double cellSize) {
    if (extent.isEmpty()) throw HostError("the boundary layer holds no shape");
    if (!(cellSize > 0)) throw HostError("the cell size must be a positive number");
    CellGrid grid{extent.xMin, extent.yMin, cellSize, 1, 1};
    grid.columns = cellsAlongSide(std::max(1.0, std::ceil(extent.width() / cellSize)));
    grid.rows = cellsAlongSide(std::max(1.0, std::ceil(extent.height() / cellSize)));
    if (grid.cellCount() > kMaxCellsInMemory)
        throw HostError("a raster of " + std::to_string(grid.cellCount()) +
                        " cells is too large to interpolate: take larger cells");
    return grid;
}

}  // namespace

double roundHalfEven(double value) {
    return std::nearbyint(value);  // the default rounding mode sends halves to even
}

CellGrid TinRasterGrid(const Envelope& extent, double cellSize) {
    if (extent.isEmpty()) throw HostError("the extent to rasterize is empty");
    if (!(cellSize > 0)) throw HostError("the cell size must be a positive number");
    CellGrid grid;
    grid.xMin = extent.xMin - cellSize / 2;
    grid.yMin = extent.yMin - cellSize / 2;
    grid.cellSize = cellSize;
    grid.columns = cellsAlongSide(roundHalfEven(extent.width() / cellSize) + 1);
    grid.rows = cellsAlongSide(roundHalfEven(extent.height() / cellSize) + 1);
    return grid;
}

RasterDatasetPtr TinToRaster(ITin* tin, int /*rasterizationType*/, const std::string& folder,
                             const std::string& name, PixelType pixelType, double cellSize,
                             const Envelope& extent, bool permanent, IProgressBar& progress) {
    if (!tin) throw maputil::objectNotSet();
    const CellGrid grid = TinRasterGrid(extent, cellSize);
    RasterDatasetPtr raster = CreateRasterDataset(folder, name, "GRID", Point(grid.xMin, grid.yMin),
                                                  grid.columns, grid.rows, cellSize, cellSize,
                                                  pixelType, tin->spatialReference(), permanent);
    IRasterBand& cells = GetRawPixels(*raster, 0);
    const double noData = noDataFor(pixelType, tin->lowestElevation() - 1);
    const bool wholeNumbers = pixelType != PixelType::Float && pixelType != PixelType::Double;
    cells.setNoData(noData);

    const int blockWidth = std::min(kMaxBlockSide, grid.columns);
    const int blockHeight = std::min(kMaxBlockSide, grid.rows);
    // Whole blocks and one more for any remainder, however small.
    const int blocksAcross = (grid.columns + blockWidth - 1) / blockWidth;
    const int blocksDown = (grid.rows + blockHeight - 1) / blockHeight;
    ShownProgress shown(progress, "Rasterizing. Press ESC to cancel...",
                        static_cast<long>(blocksAcross) * blocksDown);
    for (int down = 0; down < blocksDown; ++down) {
        const auto [row, rows] = blockSpan(down, blockHeight, grid.rows);
        for (int across = 0; across < blocksAcross; ++across) {
            const auto [column, columns] = blockSpan(across, blockWidth, grid.columns);
            const CellGrid block{grid.xMin + column * cellSize,
                                 grid.yMin + (grid.rows - row - rows) * cellSize, cellSize, columns,
                                 rows};
            std::vector<double> values = tin->sampleCells(block, noData);
            if (wholeNumbers)
                std::transform(values.begin(), values.end(), values.begin(), roundHalfEven);
            cells.writeBlock(column, row, columns, rows, values);
            progress.stepIt();
            if (progress.cancelled()) {
                raster->save();  // what was written stays
                return nullptr;
            }
        }
    }
    raster->save();
    return OpenRasterDataset(folder, name);
}

RasterDatasetPtr CreateRasterDataset(const std::string& folder, const std::string& name,
                                     const std::string& format, const Point& origin, int columns,
                                     int rows, double cellWidth, double cellHeight,
                                     PixelType pixelType, const std::string& spatialReference,
                                     bool permanent) {
    RasterSpec spec;
    spec.name = name;
    spec.format = format;
    spec.origin = origin;
    spec.columns = columns;
    spec.rows = rows;
    spec.cellWidth = cellWidth;
    spec.cellHeight = cellHeight;
    spec.pixelType = pixelType;
    spec.spatialReference = spatialReference;
    spec.permanent = permanent;
    return openRasterWorkspace(folder)->createDataset(spec);
}

IRasterBand& GetRawPixels(IRasterDataset& dataset, int band) { return dataset.band(band); }

std::unique_ptr<IRasterWorkspace> OpenRasterWorkspace(const std::string& folder) {
    try {
        return openRasterWorkspace(folder);
    } catch (const std::exception&) {
        return nullptr;
    }
}

RasterDatasetPtr OpenRasterDataset(const std::string& folder, const std::string& name) {
    try {
        return openRasterWorkspace(folder)->openDataset(name);
    } catch (const std::exception&) {
        return nullptr;
    }
}

std::unique_ptr<IRasterWorkspace> GetRasterWorkspace(const std::string& folder) {
    try {
        if (!std::filesystem::is_directory(folder)) return nullptr;
        return openRasterWorkspace(folder);
    } catch (const std::exception& e) {
        MsgBox("Failed in opening workspace " + describe(e).description);
        return nullptr;
    }
}

std::shared_ptr<ISurface> GetSurfaceFromLayer(ILayer* layer) {
    IRasterLayer* rasterLayer = layer ? layer->asRasterLayer() : nullptr;
    if (!rasterLayer) return nullptr;
    return rasterSurface(rasterLayer->raster(), 0);
}

std::unique_ptr<IRasterLayer> SubInterpolate(const std::string& field, double cellSize,
                                             IFeatureLayer* pointLayer,
                                             IFeatureLayer* boundaryLayer,
                                             const std::string& folder) {
    try {
        IFeatureClass& points = maputil::featureClassOf(pointLayer);
        IFeatureClass& boundary = maputil::featureClassOf(boundaryLayer);
        const std::vector<Point> samples = valuedPoints(points, field);
        const Envelope extent = extentOf(boundary);
        const std::string spatialReference = spatialReferenceOf(boundary);

        AnalysisEnvironment environment;
        SetAnalysisEnvironment(&environment, &extent, cellSize, &boundary, folder,
                               &spatialReference);
        if (!environment.workspace)
            throw HostError("the output folder " + folder + " is not a raster workspace");
        const CellGrid grid = coveringGrid(*environment.extent, environment.cellSize);
        const std::vector<Polygon> mask = polygonsOf(*environment.mask);
        const std::vector<double> cells = interpolateInverseDistance(
            samples, grid, kIdwPower, kIdwNeighbours, &mask, kInterpolationNoData);

        IRasterWorkspace& workspace = *environment.workspace;
        const std::string name = freeRasterName(workspace, field);
        RasterDatasetPtr raster = CreateRasterDataset(
            workspace.folder(), name, "GRID", Point(grid.xMin, grid.yMin), grid.columns, grid.rows,
            grid.cellSize, grid.cellSize, PixelType::Float, environment.spatialReference, true);
        IRasterBand& band = GetRawPixels(*raster, 0);
        band.setNoData(kInterpolationNoData);
        band.writeBlock(0, 0, grid.columns, grid.rows, cells);
        raster->save();
        return newRasterLayer(name, (std::filesystem::path(workspace.folder()) / name).string());
    } catch (const std::exception& e) {
        reportFileError("SubInterpolate", e);
        return nullptr;
    }
}

void SetAnalysisEnvironment(AnalysisEnvironment* environment, const Envelope* extent,
                            double cellSize, IFeatureClass* mask, const std::string& folder,
                            const std::string* spatialReference) {
    if (!environment) return;
    try {
        if (extent) environment->extent = *extent;
        if (cellSize > 0) environment->cellSize = cellSize;
        if (mask) environment->mask = mask;
        if (spatialReference) environment->spatialReference = *spatialReference;
        if (!folder.empty()) environment->workspace = GetRasterWorkspace(folder);
    } catch (const std::exception& e) {
        MsgBox("Failed in setting environment. " + describe(e).description);
    }
}

bool KillRaster(const std::string& folder, const std::string& name) {
    try {
        openRasterWorkspace(folder)->remove(name);
        return true;
    } catch (const std::exception& e) {
        reportFileError("Kill", e);
        return false;
    }
}

std::unique_ptr<IRasterWorkspace> SetRasterWorkspace(const std::string& folder) {
    return GetRasterWorkspace(folder);
}

std::unique_ptr<ITinLayer> CreateTinLyrFromGeometry(const std::vector<Polyline>& geometries,
                                                    int kind, const Envelope& extent,
                                                    const Polygon* boundary,
                                                    const std::string& spatialReference,
                                                    const std::string& path) {
    (void)extent;  // the TIN covers what its lines and boundary cover
    static const std::vector<Polyline> none;
    const std::vector<Polyline>& lines = kind == kTinGeometryLines ? geometries : none;
    TinPtr tin = createTin({}, lines, boundary, spatialReference);
    TinPtr saved = tin->saveAs(path);
    return newTinLayer(std::filesystem::path(saved->path()).stem().string(), saved->path());
}

void ShowCreatedSurface(IDocument* document, const std::string& path) {
    const std::filesystem::path file(path);
    const LayerKind kind = file.extension() == ".tif" ? LayerKind::Raster : LayerKind::Tin;
    maputil::ShowCreatedLayer(document, {kind, file.stem().string(), path, ""});
}

}  // namespace ondu::surfaceUtil
