// Snapping 100,000 points to a network of 10,000 lines, against the floor of reading the lines
// once and reading and rewriting every point once, in one transaction.
//
//   snap_points_bench [POINTS [LINES]]   (defaults 100000 and 10000)
//
// Target: tool time at most 3x the floor. Each side runs three times on a fresh copy of one
// generated network and the best run counts.

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

#include "bench/bench_runs.h"
#include "bench/bench_ui.h"
#include "framework/host/host_application.h"
#include "preprocessing/snap_points_to_line.h"

using namespace ondu;

namespace {

void check(OGRErr err, const char* what) {
    if (err != OGRERR_NONE) throw std::runtime_error(what);
}

/// A square grid of short lines of 9 vertices each, rows 100 apart, and points scattered over it.
std::string writeNetwork(const std::filesystem::path& folder, int points, int lines) {
    GDALAllRegister();
    const std::string path = (folder / "network.gpkg").string();
    std::filesystem::remove(path);
    GDALDatasetUniquePtr gpkg(GetGDALDriverManager()->GetDriverByName("GPKG")->Create(
        path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!gpkg) throw std::runtime_error("cannot create " + path);
    check(gpkg->StartTransaction(), "transaction");
    OGRLayer* lineLayer = gpkg->CreateLayer("Lines", nullptr, wkbLineString, nullptr);
    OGRLayer* pointLayer = gpkg->CreateLayer("Points", nullptr, wkbPoint, nullptr);
    const int side = static_cast<int>(std::ceil(std::sqrt(lines)));
    for (int k = 0; k < lines; ++k) {
        OGRLineString line;
        for (int v = 0; v < 9; ++v) line.addPoint((k % side) * 100.0 + v * 10, (k / side) * 100.0);
        OGRFeature feature(lineLayer->GetLayerDefn());
        check(feature.SetGeometry(&line), "line");
        check(lineLayer->CreateFeature(&feature), "store line");
    }
    std::mt19937 random(11);
    std::uniform_real_distribution<double> coordinate(0, side * 100.0);
    for (int k = 0; k < points; ++k) {
        OGRPoint point(coordinate(random), coordinate(random));
        OGRFeature feature(pointLayer->GetLayerDefn());
        check(feature.SetGeometry(&point), "point");
        check(pointLayer->CreateFeature(&feature), "store point");
    }
    check(gpkg->CommitTransaction(), "commit");
    return path;
}

IFeatureClass& classOf(HostApplication& app, const char* name) {
    return *app.map().findLayer(name)->asFeatureLayer()->featureClass();
}

double floorSeconds(const std::string& path) {
    return bench::timedEdit(path, [](HostApplication& app) {
        std::size_t vertices = 0;
        auto lines = classOf(app, "Lines").search(nullptr);
        while (auto f = lines->nextFeature()) vertices += allVertices(f->shape()).size();
        auto cursor = classOf(app, "Points").search(nullptr);
        while (auto f = cursor->nextFeature()) {
            f->setShape(f->shape());
            f->store();
        }
        (void)vertices;
    });
}

double toolSeconds(const std::string& path) {
    return bench::timedEdit(path, [](HostApplication& app) {
        SilentProgress progress;
        const SnapResult result =
            run(SnapPointsToLineOptions{"Points", "Lines", 100}, app.document(), progress);
        if (result.notSnapped) std::fprintf(stderr, "%ld points not snapped\n", result.notSnapped);
    });
}

}  // namespace

int main(int argc, char** argv) {
    const int points = argc > 1 ? std::stoi(argv[1]) : 100000;
    const int lines = argc > 2 ? std::stoi(argv[2]) : 10000;
    bench::ConsoleUI ui;
    const auto folder = bench::workFolder("ondu-snap-bench");
    std::filesystem::create_directories(folder);
    const std::filesystem::path network = writeNetwork(folder, points, lines);
    const double floor = bench::bestOnFreshCopies(network, floorSeconds);
    const double tool = bench::bestOnFreshCopies(network, toolSeconds);
    std::printf("%d points to %d lines: tool %.3f s, floor %.3f s, ratio %.2f (target <= 3)\n",
                points, lines, tool, floor, tool / floor);
    std::filesystem::remove_all(folder);
    return 0;
}
