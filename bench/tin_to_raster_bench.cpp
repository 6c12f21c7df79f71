// A TIN of 1,000,000 random points rasterized onto 4000 x 4000 cells: reading the points from a
// GeoPackage, triangulating them and TinToRaster into a GeoTIFF, against gdal_grid's linear
// interpolation (a Delaunay triangulation of the same points, linear in each triangle) on the
// same points and grid.
//
//   tin_to_raster_bench [POINTS [CELLS]]   (defaults 1000000 and 4000)
//
// Target: ours at most 1x gdal_grid's wall time, the same values within 1e-6 relative inside
// the hull of the points. Best of three runs each.

#include <cstdio>
#include <string>

#include "bench/bench_ui.h"
#include "bench/grid_bench.h"
#include "framework/host/host_application.h"
#include "framework/surface_helpers.h"

using namespace ondu;

namespace {

/// The points of the layer with their shapes' X and Y and the field z.
std::vector<Point> readPoints(IFeatureClass& cls) {
    std::vector<Point> points;
    const int z = cls.findField("z");
    auto cursor = cls.search(nullptr);
    while (auto feature = cursor->nextFeature()) {
        const Point p = std::get<Point>(feature->shape());
        points.emplace_back(p.x, p.y, *toDouble(feature->value(z)));
    }
    return points;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t pointCount = argc > 1 ? std::stoul(argv[1]) : 1000000;
    const int cells = argc > 2 ? std::stoi(argv[2]) : 4000;
    const double size = cells - 1;  // cell centres on the points' extent, one unit apart
    bench::ConsoleUI ui;
    bench::ScratchFolder scratch("ondu_tin_bench");
    const std::string store = (scratch.path() / "points.gpkg").string();
    bench::writePointStore(store, bench::randomPoints(pointCount, size, 11), size);

    HostApplication app(MapDocument::open(store));
    IFeatureClass& cls = *app.map().findLayer("Points")->asFeatureLayer()->featureClass();
    const std::string folder = scratch.path().string();
    SilentProgress progress;
    double readSeconds = 0, triangulateSeconds = 0, rasterizeSeconds = 0;
    const double oursSeconds = bench::bestOfThree([&] {
        std::filesystem::remove(folder + "/rast.tif");
        const auto start = std::chrono::steady_clock::now();
        const std::vector<Point> points = readPoints(cls);
        const auto read = std::chrono::steady_clock::now();
        TinPtr tin = createTin(points, {}, nullptr, "");
        const auto triangulated = std::chrono::steady_clock::now();
        if (!surfaceUtil::TinToRaster(tin.get(), 1, folder, "rast", PixelType::Float, 1.0,
                                      tin->extent(), true, progress))
            throw std::runtime_error("TinToRaster failed");
        const auto end = std::chrono::steady_clock::now();
        auto s = [](auto d) { return std::chrono::duration<double>(d).count(); };
        readSeconds = s(read - start);
        triangulateSeconds = s(triangulated - read);
        rasterizeSeconds = s(end - triangulated);
    });

    // The rasterized grid reaches half a cell beyond the points' extent.
    const std::string low = std::to_string(-0.5), high = std::to_string(size + 0.5);
    const std::string theirs = folder + "/gdal_grid.tif";
    const std::string arguments = "-a linear:nodata=-9999 -zfield z -l Points -ot Float32 -txe " +
                                  low + " " + high + " -tye " + high + " " + low + " -outsize " +
                                  std::to_string(cells) + " " + std::to_string(cells) + " " +
                                  store + " " + theirs;
    const double theirSeconds = bench::bestOfThree([&] {
        std::filesystem::remove(theirs);
        bench::runGdalGrid(arguments);
    });

    std::printf("TIN of %zu points rasterized onto %d x %d cells (best of 3)\n", pointCount, cells,
                cells);
    std::printf(
        "  ours %.3f s (last run: read %.3f, triangulate %.3f, TinToRaster %.3f), "
        "gdal_grid linear %.3f s\n",
        oursSeconds, readSeconds, triangulateSeconds, rasterizeSeconds, theirSeconds);
    const bool same = bench::sameValues(folder + "/rast.tif", theirs, 1e-6, 0.99);
    const double ratio = oursSeconds / theirSeconds;
    std::printf("  ratio ours / gdal_grid = %.3f (target <= 1): %s; values %s\n", ratio,
                ratio <= 1 ? "met" : "MISSED", same ? "agree" : "DIFFER");
    return ratio <= 1 && same ? 0 : 1;
}
