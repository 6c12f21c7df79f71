// Cross-sections integrated into a raster terrain: N sections of 100 points each, extended by a
// factor of 2, divided into 25 parts, a new terrain built ("NewTIN", "rast", "merged") over a
// 4000 x 4000 terrain raster, in one edit session. The floor is what no implementation can skip:
// GDAL reading the inputs (the terrain raster and the sections), writing the extended sections,
// and rasterizing the profile lines' points with gdal_grid's linear interpolation onto the same
// "rast" grid.
//
//   integrate_terrain_bench [SECTIONS [CELLS]]   (defaults 1000 and 4000)
//
// Targets: ours at most 3x the floor for SECTIONS sections; time(SECTIONS) / time(SECTIONS / 10)
// at most 12. Best of three runs each.

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "bench/bench_ui.h"
#include "bench/grid_bench.h"
#include "framework/host/host_application.h"
#include "framework/surface_helpers.h"
#include "preprocessing/integrate_cs_with_terrain.h"

using namespace ondu;
namespace fs = std::filesystem;

namespace {

constexpr double kCell = 5;
constexpr double kWidth = 100;  ///< of a section
constexpr int kPoints = 100;    ///< per section

/// The river runs along +X through the middle of the terrain.
double gRiverY = 10000;

double ground(double x, double y) { return 100 - 0.0005 * x + 0.0002 * std::abs(y - gRiverY); }

void writeTerrain(const std::string& folder, int cells) {
    auto workspace = openRasterWorkspace(folder);
    RasterDatasetPtr raster = workspace->createDataset({.name = "terrain",
                                                        .origin = {0, 0},
                                                        .columns = cells,
                                                        .rows = cells,
                                                        .cellWidth = kCell,
                                                        .cellHeight = kCell});
    std::vector<double> row(static_cast<std::size_t>(cells));
    for (int r = 0; r < cells; ++r) {
        const double y = (cells - r - 0.5) * kCell;
        for (int c = 0; c < cells; ++c)
            row[static_cast<std::size_t>(c)] = ground((c + 0.5) * kCell, y);
        raster->band(0).writeBlock(0, r, cells, 1, row);
    }
    raster->save();
}

/// N sections spread along the river from x = 500 to 500 short of the terrain's east edge, each
/// a parabola 3 deep below the ground.
void writeSections(const std::string& path, int count, int cells) {
    const double spacing = (cells * kCell - 1000) / count;
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
    GDALDataset* ds = driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr);
    OGRLayer* layer = ds->CreateLayer("CrossSections", nullptr, wkbLineString25D, nullptr);
    OGRFieldDefn measure("Measure", OFTReal);
    if (layer->CreateField(&measure) != OGRERR_NONE) throw std::runtime_error("field");
    if (ds->StartTransaction() != OGRERR_NONE) throw std::runtime_error("transaction");
    for (int i = 0; i < count; ++i) {
        const double x = 500 + i * spacing;
        OGRLineString line;
        for (int k = 0; k < kPoints; ++k) {
            const double t = static_cast<double>(k) / (kPoints - 1);
            const double y = gRiverY - kWidth / 2 + t * kWidth;
            line.addPoint(x, y, ground(x, y) - 12 * t * (1 - t));
        }
        OGRFeature feature(layer->GetLayerDefn());
        feature.SetField(0, static_cast<double>(count - i));  // measures grow upstream
        feature.SetGeometry(&line);
        if (layer->CreateFeature(&feature) != OGRERR_NONE) throw std::runtime_error("feature");
    }
    if (ds->CommitTransaction() != OGRERR_NONE) throw std::runtime_error("commit");
    GDALClose(ds);
}

struct Scene {
    std::string folder, sections, map;
};

Scene makeScene(const fs::path& folder, int count, int cells) {
    Scene s{folder.string(), (folder / "sections.gpkg").string(), (folder / "map.json").string()};
    fs::create_directories(folder);
    writeTerrain(s.folder, cells);
    writeSections(s.sections, count, cells);
    std::ofstream(s.map) << (R"({"layers": [
        {"name": "CrossSections", "source": "sections.gpkg", "table": "CrossSections"},
        {"name": "Terrain", "kind": "raster", "source": "terrain.tif"}]})");
    return s;
}

IntegrateCSwithTerrainResult integrate(const Scene& s) {
    HostApplication app(MapDocument::open(s.map));
    app.editor().startEditing();
    IntegrateCSwithTerrainOptions options{.surface = "Terrain", .extend = true, .newTerrain = true};
    SilentProgress progress;
    auto result = run(options, app.document(), progress);
    app.editor().stopEditing(true);
    return result;
}

/// The profile lines' points, for gdal_grid.
void writeProfilePoints(const std::string& path, const std::vector<Polyline>& lines) {
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
    GDALDataset* ds = driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr);
    OGRLayer* layer = ds->CreateLayer("Points", nullptr, wkbPoint25D, nullptr);
    if (ds->StartTransaction() != OGRERR_NONE) throw std::runtime_error("transaction");
    for (const auto& line : lines)
        for (const Point& p : line.paths.front()) {
            OGRFeature feature(layer->GetLayerDefn());
            OGRPoint point(p.x, p.y, p.z);
            feature.SetGeometry(&point);
            if (layer->CreateFeature(&feature) != OGRERR_NONE) throw std::runtime_error("point");
        }
    if (ds->CommitTransaction() != OGRERR_NONE) throw std::runtime_error("commit");
    GDALClose(ds);
}

/// What any implementation does: read the terrain and the sections, write as many extended
/// sections, rasterize the profile points onto the grid of "rast".
void floorRun(const Scene& s, const std::string& gridArguments) {
    GDALDataset* terrain =
        GDALDataset::Open((s.folder + "/terrain.tif").c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY);
    const int cells = terrain->GetRasterXSize();
    std::vector<float> values(static_cast<std::size_t>(cells) * cells);
    if (terrain->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, cells, cells, values.data(), cells,
                                            cells, GDT_Float32, 0, 0) != CE_None)
        throw std::runtime_error("read terrain");
    GDALClose(terrain);

    GDALDataset* in = GDALDataset::Open(s.sections.c_str(), GDAL_OF_VECTOR);
    const std::string outPath = s.folder + "/floor.gpkg";
    fs::remove(outPath);
    GDALDataset* out = GetGDALDriverManager()->GetDriverByName("GPKG")->Create(
        outPath.c_str(), 0, 0, 0, GDT_Unknown, nullptr);
    OGRLayer* source = in->GetLayer(0);
    OGRLayer* target = out->CreateLayer("Extended", nullptr, wkbLineString25D, nullptr);
    if (out->StartTransaction() != OGRERR_NONE) throw std::runtime_error("transaction");
    while (std::unique_ptr<OGRFeature> f{source->GetNextFeature()}) {
        // As many vertices as an extended section: the section and two draped profiles.
        auto* line = f->GetGeometryRef()->toLineString();
        OGRLineString extended;
        for (int pass = 0; pass < 3; ++pass)
            for (int v = 0; v < line->getNumPoints(); ++v)
                extended.addPoint(line->getX(v), line->getY(v) + (pass - 1) * kWidth,
                                  line->getZ(v));
        OGRFeature copy(target->GetLayerDefn());
        copy.SetGeometry(&extended);
        if (target->CreateFeature(&copy) != OGRERR_NONE) throw std::runtime_error("write");
    }
    if (out->CommitTransaction() != OGRERR_NONE) throw std::runtime_error("commit");
    GDALClose(out);
    GDALClose(in);
    bench::runGdalGrid(gridArguments);
}

struct Times {
    double ours, floor;
};

Times timeBoth(const fs::path& folder, int count, int cells) {
    const Scene s = makeScene(folder, count, cells);
    IntegrateCSwithTerrainResult result;
    const double ours = bench::bestOfThree([&] { result = integrate(s); });

    auto rast = surfaceUtil::OpenRasterDataset(s.folder, "rast");
    const Envelope e = rast->extent();
    const std::string points = s.folder + "/profile-points.gpkg";
    writeProfilePoints(points, result.profileLines);
    const std::string theirs = s.folder + "/gdal_rast.tif";
    const std::string arguments = "-a linear:nodata=-9999 -l Points -ot Float32 -txe " +
                                  std::to_string(e.xMin) + " " + std::to_string(e.xMax) + " -tye " +
                                  std::to_string(e.yMax) + " " + std::to_string(e.yMin) +
                                  " -outsize " + std::to_string(rast->columns()) + " " +
                                  std::to_string(rast->rows()) + " " + points + " " + theirs;
    rast.reset();
    const double floor = bench::bestOfThree([&] {
        fs::remove(theirs);
        floorRun(s, arguments);
    });
    return {ours, floor};
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::stoi(argv[1]) : 1000;
    const int cells = argc > 2 ? std::stoi(argv[2]) : 4000;
    GDALAllRegister();
    gRiverY = cells * kCell / 2;
    bench::ConsoleUI ui;
    bench::ScratchFolder scratch("ondu_integrate_bench");
    const Times full = timeBoth(scratch.path() / "full", count, cells);
    const Times tenth = timeBoth(scratch.path() / "tenth", std::max(1, count / 10), cells);

    std::printf("%d sections of %d points, D = 25, over %d x %d terrain cells (best of 3)\n", count,
                kPoints, cells, cells);
    std::printf("  ours %.3f s, floor (GDAL read + write + gdal_grid linear) %.3f s\n", full.ours,
                full.floor);
    std::printf("  %d sections: ours %.3f s, floor %.3f s\n", std::max(1, count / 10), tenth.ours,
                tenth.floor);
    const double ratio = full.ours / full.floor;
    const double scaling = full.ours / tenth.ours;
    std::printf("  ratio ours / floor = %.3f (target <= 3): %s\n", ratio,
                ratio <= 3 ? "met" : "MISSED");
    std::printf("  time(%d) / time(%d) = %.3f (target <= 12): %s\n", count, std::max(1, count / 10),
                scaling, scaling <= 12 ? "met" : "MISSED");
    return ratio <= 3 && scaling <= 12 ? 0 : 1;
}
