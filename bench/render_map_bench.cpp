// Drawing a map of many features against reading those features with GDAL alone.
//
//   render_map_bench [FEATURES]   (default 100000)
//
// Target: rendering a 2000 x 2000 PNG of every feature takes at most 3x the time GDAL takes to
// read them. Each side runs three times and the best run counts: single runs of a second or two
// vary by a third on a shared machine.

#include <ogrsf_frmts.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

#include "framework/host/map_document.h"
#include "framework/pictures/map_picture.h"

using namespace ondu;

namespace {

double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

/// Short wandering lines of five vertices with Z scattered over a 10 km square, written in
/// one transaction.
void writeLines(const std::string& path, int count) {
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
    GDALDataset* ds = driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr);
    if (!ds) throw std::runtime_error("cannot create " + path);
    OGRLayer* layer = ds->CreateLayer("ProfileLines", nullptr, wkbLineString25D, nullptr);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> where(0, 10000), step(-20, 20);
    if (ds->StartTransaction() != OGRERR_NONE) throw std::runtime_error("no transaction");
    for (int i = 0; i < count; ++i) {
        OGRLineString line;
        double x = where(random), y = where(random);
        for (int v = 0; v < 5; ++v, x += step(random), y += step(random)) line.addPoint(x, y, v);
        OGRFeature feature(layer->GetLayerDefn());
        if (feature.SetGeometry(&line) != OGRERR_NONE ||
            layer->CreateFeature(&feature) != OGRERR_NONE)
            throw std::runtime_error("cannot write a line");
    }
    if (ds->CommitTransaction() != OGRERR_NONE) throw std::runtime_error("commit failed");
    GDALClose(ds);
}

/// Every feature and its geometry read through GDAL, nothing else.
double gdalReadSeconds(const std::string& path) {
    const auto start = std::chrono::steady_clock::now();
    auto* ds = static_cast<GDALDataset*>(
        GDALOpenEx(path.c_str(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr));
    OGRLayer* layer = ds->GetLayer(0);
    double sum = 0;
    for (auto& feature : *layer)
        if (const OGRGeometry* g = feature->GetGeometryRef()) sum += g->toLineString()->getX(0);
    GDALClose(ds);
    const double elapsed = seconds(std::chrono::steady_clock::now() - start);
    if (!std::isfinite(sum)) std::puts("");  // keeps the read from being optimised away
    return elapsed;
}

double renderSeconds(const std::string& path, const std::string& png) {
    const auto start = std::chrono::steady_clock::now();
    auto map = MapDocument::open(path);
    pictures::renderMap(*map, {.width = 2000, .height = 2000}, png);
    return seconds(std::chrono::steady_clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::stoi(argv[1]) : 100000;
    GDALAllRegister();
    const auto folder = std::filesystem::temp_directory_path() / "ondu_render_bench";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "lines.gpkg").string();
    writeLines(path, count);
    double read = INFINITY, render = INFINITY;
    for (int run = 0; run < 3; ++run) {
        read = std::min(read, gdalReadSeconds(path));
        render = std::min(render, renderSeconds(path, (folder / "map.png").string()));
    }
    std::printf(
        "features %d: GDAL read %.3f s, render 2000x2000 PNG %.3f s, ratio %.2f (target <= 3)\n",
        count, read, render, render / read);
    std::filesystem::remove_all(folder);
    return 0;
}
