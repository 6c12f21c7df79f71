#pragma once
// What the two gridding benchmarks share: random points written to a GeoPackage that both our
// code and gdal_grid read, best-of-three timing, gdal_grid runs, and cell-by-cell comparison of
// two rasters on one grid.

#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/file_helpers.h"
#include "framework/geometry/geometry.h"

namespace ondu::bench {

namespace fs = std::filesystem;

/// A scratch folder in the work folder, removed with everything in it.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& stem)
        : path_(fs::path(workFolder()) / (stem + "_" + std::to_string(::getpid()))) {
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

/// Uniform random points over [0, size] x [0, size] with z on a smooth surface between 100 and
/// 200, the four corners among them, so that their extent is the whole square.
inline std::vector<Point> randomPoints(std::size_t count, double size, unsigned seed) {
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> coordinate(0, size);
    auto z = [size](double x, double y) {
        return 150 + 30 * std::sin(x * 12 / size) * std::cos(y * 9 / size) + 20 * x / size;
    };
    std::vector<Point> points;
    for (double x : {0.0, size})
        for (double y : {0.0, size}) points.emplace_back(x, y, z(x, y));
    while (points.size() < count) {
        const double x = coordinate(random), y = coordinate(random);
        points.emplace_back(x, y, z(x, y));
    }
    return points;
}

/// Writes the points (their z also in the field "z") as the layer "Points", and the square
/// [0, size] x [0, size] as the polygon layer "Boundary", into a new GeoPackage.
inline void writePointStore(const std::string& path, const std::vector<Point>& points,
                            double size) {
    GDALAllRegister();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
    std::unique_ptr<GDALDataset> dataset(
        driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!dataset || dataset->StartTransaction() != OGRERR_NONE)
        throw std::runtime_error("cannot write " + path);
    OGRLayer* layer = dataset->CreateLayer("Points", nullptr, wkbPoint, nullptr);
    OGRFieldDefn field("z", OFTReal);
    if (layer->CreateField(&field) != OGRERR_NONE) throw std::runtime_error("no field z");
    for (const Point& p : points) {
        OGRFeature feature(layer->GetLayerDefn());
        feature.SetGeometryDirectly(new OGRPoint(p.x, p.y));
        feature.SetField(0, p.z);
        if (layer->CreateFeature(&feature) != OGRERR_NONE)
            throw std::runtime_error("cannot write a point");
    }
    OGRLayer* boundary = dataset->CreateLayer("Boundary", nullptr, wkbPolygon, nullptr);
    OGRFeature square(boundary->GetLayerDefn());
    OGRPolygon polygon;
    OGRLinearRing ring;
    for (auto [x, y] : {std::pair{0.0, 0.0}, {size, 0.0}, {size, size}, {0.0, size}, {0.0, 0.0}})
        ring.addPoint(x, y);
    polygon.addRing(&ring);
    square.SetGeometry(&polygon);
    if (boundary->CreateFeature(&square) != OGRERR_NONE ||
        dataset->CommitTransaction() != OGRERR_NONE)
        throw std::runtime_error("cannot write the boundary");
}

/// The best wall-clock seconds of three runs.
inline double bestOfThree(const std::function<void()>& run) {
    double best = 1e300;
    for (int i = 0; i < 3; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

/// Runs a gdal_grid command line (arguments after the program name); throws when it fails.
inline void runGdalGrid(const std::string& arguments) {
    const std::string command = "gdal_grid -q " + arguments;
    if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

/// A raster's first band as rows from the top (a raster stored bottom-up is turned over), with
/// no-data cells as NaN.
inline std::vector<double> readRaster(const std::string& path, int& columns, int& rows) {
    std::unique_ptr<GDALDataset> dataset(
        GDALDataset::Open(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
    if (!dataset) throw std::runtime_error("cannot read " + path);
    columns = dataset->GetRasterXSize();
    rows = dataset->GetRasterYSize();
    GDALRasterBand* band = dataset->GetRasterBand(1);
    std::vector<double> cells(static_cast<std::size_t>(columns) * rows);
    if (band->RasterIO(GF_Read, 0, 0, columns, rows, cells.data(), columns, rows, GDT_Float64, 0, 0,
                       nullptr) != CE_None)
        throw std::runtime_error("cannot read the cells of " + path);
    int hasNoData = 0;
    const double noData = band->GetNoDataValue(&hasNoData);
    if (hasNoData)
        for (double& v : cells)
            if (v == noData) v = NAN;
    double transform[6];
    if (dataset->GetGeoTransform(transform) == CE_None && transform[5] > 0)
        for (int r = 0; r < rows / 2; ++r)
            std::swap_ranges(cells.begin() + static_cast<std::ptrdiff_t>(r) * columns,
                             cells.begin() + static_cast<std::ptrdiff_t>(r + 1) * columns,
                             cells.begin() + static_cast<std::ptrdiff_t>(rows - 1 - r) * columns);
    return cells;
}

/// Compares two rasters of one grid where both have data: prints how many cells were compared,
/// how many differ by more than `relative` and the largest relative difference; true when none
/// does and both define the same cells in at least `minimumShare` of the grid.
inline bool sameValues(const std::string& ours, const std::string& theirs, double relative,
                       double minimumShare) {
    int c1 = 0, r1 = 0, c2 = 0, r2 = 0;
    const auto a = readRaster(ours, c1, r1);
    const auto b = readRaster(theirs, c2, r2);
    if (c1 != c2 || r1 != r2) {
        std::printf("  grids differ: %d x %d against %d x %d\n", c1, r1, c2, r2);
        return false;
    }
    std::size_t compared = 0, differing = 0, onlyOne = 0;
    double largest = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::isnan(a[i]) || std::isnan(b[i])) {
            onlyOne += std::isnan(a[i]) != std::isnan(b[i]);
            continue;
        }
        ++compared;
        const double difference =
            std::abs(a[i] - b[i]) / std::max({std::abs(a[i]), std::abs(b[i]), 1e-300});
        largest = std::max(largest, difference);
        differing += difference > relative;
    }
    std::printf(
        "  cells compared %zu of %zu, defined in one only %zu, beyond %.0e relative %zu, "
        "largest relative difference %.2e\n",
        compared, a.size(), onlyOne, relative, differing, largest);
    return differing == 0 && compared >= minimumShare * static_cast<double>(a.size());
}

}  // namespace ondu::bench
