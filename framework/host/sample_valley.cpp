// The valley around the sample river, as a raster and as a TIN made from one function.

#include <ogr_spatialref.h>

#include <cmath>
#include <filesystem>
#include <stdexcept>

#include "framework/host/gdal_support.h"
#include "framework/host/sample_river.h"
#include "framework/host_operations.h"

namespace ondu {

namespace fs = std::filesystem;

namespace {

constexpr double kMargin = 1000;
constexpr double kSideSlope = 0.05;
constexpr double kFloorBelowBank = 0.5;
constexpr double kSinuosity = 1.25;

std::string wktOfEpsg(int epsg) {
    OGRSpatialReference srs;
    if (srs.importFromEPSG(epsg) != OGRERR_NONE)
        throw std::invalid_argument("epsg must be a known EPSG code");
    return wktOf(&srs);
}

/// The river's box (its meanders stay within `amplitude` of the axis on either side, plus the
/// channel) with the margin around it.
Envelope valleyExtent(const SampleRiverOptions& o) {
    Envelope e;
    const double axis = o.originY + o.amplitude;
    const double half = 2 * o.amplitude + o.width + kMargin;
    e.add(o.originX - kMargin, axis - half);
    e.add(o.originX + o.length + kMargin, axis + half);
    return e;
}

}  // namespace

double sampleValleyElevation(const SampleRiverOptions& o, double x, double y) {
    const double floor = o.bankElevation - kFloorBelowBank - kSinuosity * o.slope * (x - o.originX);
    const double halfFloor = o.amplitude + o.width + 100;
    const double beyond = std::abs(y - (o.originY + o.amplitude)) - halfFloor;
    return floor + kSideSlope * std::max(0.0, beyond);
}

void writeSampleValley(const std::string& rasterPath, const std::string& tinPath,
                       const SampleRiverOptions& options, double cellSize) {
    const Envelope extent = valleyExtent(options);
    if (!(cellSize > 0) || extent.width() / cellSize * (extent.height() / cellSize) > 1e8)
        throw std::invalid_argument("cellSize must be positive and give at most 10^8 cells");
    const int columns = static_cast<int>(std::ceil(extent.width() / cellSize));
    const int rows = static_cast<int>(std::ceil(extent.height() / cellSize));
    const std::string srs = wktOfEpsg(options.epsg);

    const fs::path raster(rasterPath);
    const fs::path folder = raster.has_parent_path() ? raster.parent_path() : fs::path(".");
    auto workspace = openRasterWorkspace(folder.string());
    if (workspace->exists(raster.filename().string()))
        workspace->remove(raster.filename().string());
    RasterDatasetPtr dataset = workspace->createDataset({.name = raster.filename().string(),
                                                         .origin = {extent.xMin, extent.yMin},
                                                         .columns = columns,
                                                         .rows = rows,
                                                         .cellWidth = cellSize,
                                                         .cellHeight = cellSize,
                                                         .spatialReference = srs});
    std::vector<double> row(static_cast<std::size_t>(columns));
    IRasterBand& band = dataset->band(0);
    for (int r = 0; r < rows; ++r) {
        const double y = extent.yMin + (rows - r - 0.5) * cellSize;
        for (int c = 0; c < columns; ++c)
            row[static_cast<std::size_t>(c)] =
                sampleValleyElevation(options, extent.xMin + (c + 0.5) * cellSize, y);
        band.writeBlock(0, r, columns, 1, row);
    }
    dataset->save();

    // The TIN's points cover the raster's cell centres, so both answer inside the same area.
    std::vector<Point> points;
    const double spacing = 4 * cellSize;
    const double xLast = extent.xMin + (columns - 0.5) * cellSize;
    const double yLast = extent.yMin + (rows - 0.5) * cellSize;
    for (double y = extent.yMin + cellSize / 2;; y = std::min(y + spacing, yLast)) {
        for (double x = extent.xMin + cellSize / 2;; x = std::min(x + spacing, xLast)) {
            points.emplace_back(x, y, sampleValleyElevation(options, x, y));
            if (x == xLast) break;
        }
        if (y == yLast) break;
    }
    createTin(points, {}, nullptr, srs)->saveAs(tinPath);
}

}  // namespace ondu
