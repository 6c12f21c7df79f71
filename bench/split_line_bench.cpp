// Split line of a 100 km sample centerline into 1 m pieces (100,000 new features), against the
// floor of reading the centerline once and writing the same pieces once in one transaction.
//
//   split_line_bench [LENGTH_M]   (default 100000)
//
// Target: tool time at most 3x the floor. Each side runs three times on a fresh copy of one
// generated river and the best run counts.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/bench_runs.h"
#include "bench/bench_ui.h"
#include "framework/geometry/curve.h"
#include "framework/host/host_application.h"
#include "framework/host/sample_river.h"
#include "framework/shared_state.h"
#include "preprocessing/split_line.h"

using namespace ondu;

namespace {

using bench::bestOnFreshCopies;
using bench::seconds;

std::string writeRiver(const std::filesystem::path& folder, double length) {
    SampleRiverOptions options;
    options.length = length;
    options.segmentLength = 1000;
    options.vertexSpacing = 10;
    options.referencePointCount = 0;
    const std::string path = (folder / "river.gpkg").string();
    writeSampleRiver(path, options);
    return path;
}

IFeatureClass& classOf(HostApplication& app, const char* name) {
    return *app.map().findLayer(name)->asFeatureLayer()->featureClass();
}

/// Reading the centerline and writing `pieces` as new features, in one transaction.
double floorSeconds(const std::string& path, const Polyline& pieces) {
    HostApplication app(MapDocument::open(path));
    auto start = std::chrono::steady_clock::now();
    app.editor().startEditing();
    auto cursor = classOf(app, "CenterLine").search(nullptr);
    while (auto f = cursor->nextFeature()) (void)f->shape();
    IFeatureClass& output = classOf(app, "CenterlineSegments");
    for (const Path& piece : pieces.paths) {
        auto feature = output.createFeature();
        feature->setShape(Polyline(piece, false, true));
        feature->store();
    }
    app.editor().stopEditing(true);
    return seconds(std::chrono::steady_clock::now() - start);
}

double toolSeconds(const std::string& path) {
    HostApplication app(MapDocument::open(path));
    g_pApp = &app;
    auto start = std::chrono::steady_clock::now();
    app.editor().startEditing();
    auto& form = Forms::get<frmSplitLine>();
    form.load();
    form.apply("txtDistance", "1");
    form.pressOk();
    app.editor().stopEditing(true);
    const double elapsed = seconds(std::chrono::steady_clock::now() - start);
    Forms::reset();
    g_pApp = nullptr;
    return elapsed;
}

/// The centerline's pieces, as the tool will cut them.
Polyline expectedPieces(const std::string& path) {
    HostApplication app(MapDocument::open(path));
    auto line =
        std::get<Polyline>(classOf(app, "CenterLine").search(nullptr)->nextFeature()->shape());
    std::vector<double> cuts;
    for (double d = 1; d + 0.5 < length(line); d += 1) cuts.push_back(d);
    return splitAtDistances(line, cuts);
}

}  // namespace

int main(int argc, char** argv) {
    const double lengthM = argc > 1 ? std::stod(argv[1]) : 100000;
    bench::ConsoleUI ui;
    const auto folder = std::filesystem::temp_directory_path() / "ondu-split-line-bench";
    std::filesystem::create_directories(folder);
    const std::filesystem::path river = writeRiver(folder, lengthM);
    const Polyline pieces = expectedPieces(river.string());
    const double floor = bestOnFreshCopies(
        river, [&](const std::string& path) { return floorSeconds(path, pieces); });
    const double tool = bestOnFreshCopies(river, toolSeconds);
    std::printf("%zu pieces: tool %.3f s, floor %.3f s, ratio %.2f (target <= 3)\n",
                pieces.paths.size(), tool, floor, tool / floor);
    std::filesystem::remove_all(folder);
    return 0;
}
