// Locate Thalweg From Points in raster mode on drawn lines of 10 km and 100 km, each over a
// bathymetry raster of 2 m cells in a 400 m strip along the line (about 1 and 10 million cells).
//
//   thalweg_points_bench [SMALL_KM [LARGE_KM]]   (defaults 10 and 100)
//
// Target: time(large)/time(small) at most 12 for a tenfold longer line. Each side runs three
// times on a fresh copy of one generated map and the best run counts.

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_runs.h"
#include "bench/bench_ui.h"
#include "framework/host/host_application.h"
#include "framework/host_operations.h"
#include "morphology/thalweg_from_points.h"

using namespace ondu;
namespace fs = std::filesystem;

namespace {

constexpr double kCell = 2;
constexpr double kHalfStrip = 200;
constexpr int kRowsPerBlock = 25;

/// The deepest line of the bed winds about the x axis; the bed rises away from it.
double bedZ(double x, double y) {
    const double deepestY = 30 * std::sin(2 * std::numbers::pi * x / 3000);
    return 90 + 0.02 * (y - deepestY) * (y - deepestY);
}

/// The bed over x -200 to length + 200 and y -200 to 200, written block by block.
std::string writeBed(const fs::path& folder, double length) {
    const CellGrid grid{-kHalfStrip, -kHalfStrip, kCell,
                        static_cast<int>((length + 2 * kHalfStrip) / kCell),
                        static_cast<int>(2 * kHalfStrip / kCell)};
    const std::string name = "bed" + std::to_string(static_cast<long>(length));
    RasterDatasetPtr raster = openRasterWorkspace(folder.string())
                                  ->createDataset({.name = name,
                                                   .origin = Point(grid.xMin, grid.yMin),
                                                   .columns = grid.columns,
                                                   .rows = grid.rows,
                                                   .cellWidth = kCell,
                                                   .cellHeight = kCell});
    for (int top = 0; top < grid.rows; top += kRowsPerBlock) {
        std::vector<double> cells;
        for (int row = top; row < top + kRowsPerBlock; ++row)
            for (int column = 0; column < grid.columns; ++column)
                cells.push_back(bedZ(grid.centreX(column), grid.centreY(row)));
        raster->band(0).writeBlock(0, top, grid.columns, kRowsPerBlock, cells);
    }
    raster->save();
    std::printf("%.0f km line over %zu cells\n", length / 1000, grid.cellCount());
    return (folder / (name + ".tif")).string();
}

void create(OGRLayer* layer, OGRGeometry* shape) {
    OGRFeature feature(layer->GetLayerDefn());
    feature.SetGeometryDirectly(shape);
    if (layer->CreateFeature(&feature) != OGRERR_NONE)
        throw std::runtime_error("cannot write a feature");
}

/// The channel boundary around the strip and a line drawn along it, vertices every 200 with a
/// gentle wave, so that it is densified and raises no bend warning.
std::string writeMap(const fs::path& folder, double length) {
    const std::string path =
        (folder / ("map" + std::to_string(static_cast<long>(length)) + ".gpkg")).string();
    GDALAllRegister();
    std::unique_ptr<GDALDataset> dataset(GetGDALDriverManager()->GetDriverByName("GPKG")->Create(
        path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!dataset || dataset->StartTransaction() != OGRERR_NONE)
        throw std::runtime_error("cannot write " + path);
    auto* ring = new OGRLinearRing;
    for (auto [x, y] : {std::pair{-100.0, -180.0},
                        {length + 100, -180.0},
                        {length + 100, 180.0},
                        {-100.0, 180.0},
                        {-100.0, -180.0}})
        ring->addPoint(x, y);
    auto* polygon = new OGRPolygon;
    polygon->addRingDirectly(ring);
    create(dataset->CreateLayer("ChannelBoundary", nullptr, wkbPolygon, nullptr), polygon);
    auto* drawn = new OGRLineString;
    for (double x = 0; x <= length; x += 200)
        drawn->addPoint(x, 10 * std::sin(2 * std::numbers::pi * x / 2000), 0);
    create(dataset->CreateLayer("Thalweg", nullptr, wkbLineString25D, nullptr), drawn);
    if (dataset->CommitTransaction() != OGRERR_NONE)
        throw std::runtime_error("cannot save " + path);
    return path;
}

/// The channel width is asked once per run.
class WidthAnsweringUI : public bench::ConsoleUI {
public:
    std::optional<std::string> inputBox(const std::string&, const std::string&,
                                        const std::string&) override {
        return "40";
    }
};

double toolSeconds(const std::string& map, const std::string& bed) {
    auto document = MapDocument::open(map);
    document->addSurfaceLayer("Bed", LayerKind::Raster, bed);
    HostApplication app(std::move(document));
    const auto start = std::chrono::steady_clock::now();
    app.editor().startEditing();
    SilentProgress progress;
    const ThalwegOutcome outcome =
        run({.source = BedSource::Raster, .raster = "Bed"}, app.map(), progress);
    if (outcome != ThalwegOutcome::Located) throw std::runtime_error("no thalweg was located");
    app.editor().stopEditing(true);
    return bench::seconds(std::chrono::steady_clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
    const double small = 1000 * (argc > 1 ? std::stod(argv[1]) : 10);
    const double large = 1000 * (argc > 2 ? std::stod(argv[2]) : 100);
    WidthAnsweringUI ui;
    const fs::path folder = bench::workFolder("ondu-thalweg-points-bench");
    fs::remove_all(folder);
    fs::create_directories(folder);
    double times[2] = {0, 0};
    const double lengths[2] = {small, large};
    for (int i = 0; i < 2; ++i) {
        const std::string bed = writeBed(folder, lengths[i]);
        times[i] =
            bench::bestOnFreshCopies(writeMap(folder, lengths[i]),
                                     [&](const std::string& map) { return toolSeconds(map, bed); });
        std::printf("%.0f km: %.3f s\n", lengths[i] / 1000, times[i]);
    }
    std::printf("time(%.0f km)/time(%.0f km) = %.2f (target <= 12)\n", large / 1000, small / 1000,
                times[1] / times[0]);
    fs::remove_all(folder);
    return 0;
}
