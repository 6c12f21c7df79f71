// Thalweg from curvature on sample rivers of 10k and 100k segments, against the floor of
// reading the segments once, writing their attributes once and storing one line.
//
//   thalweg_bench [SMALL_SEGMENTS [LARGE_SEGMENTS]]   (defaults 10000 and 100000)
//
// Targets: tool time at most 3x the floor; time(large)/time(small) at most 12 for a tenfold
// larger river. Each side runs three times on a fresh copy of one generated river and the best
// run counts: single runs of a second or two vary by a third on a shared machine.

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
#include "framework/map_helpers.h"
#include "framework/shared_state.h"
#include "framework/ui.h"
#include "morphology/thalweg_from_curvature.h"

using namespace ondu;

namespace {

std::string writeRiver(const std::filesystem::path& folder, int segments) {
    SampleRiverOptions options;
    options.segmentLength = 20;
    options.length = options.segmentLength * segments;
    options.wavelength = 400;
    options.amplitude = 60;
    options.width = 8;
    options.vertexSpacing = 4;
    options.referencePointCount = 0;
    const std::string path = (folder / ("river" + std::to_string(segments) + ".gpkg")).string();
    writeSampleRiver(path, options);
    return path;
}

/// Reading every segment, writing eight attributes of each and storing one line.
double floorSeconds(const std::string& path) {
    HostApplication app(MapDocument::open(path));
    auto start = std::chrono::steady_clock::now();
    app.editor().startEditing();
    IFeatureClass& cls =
        *app.map().findLayer("CenterlineSegments")->asFeatureLayer()->featureClass();
    const char* names[] = {"IsRight", "rCurvature", "ThaLocation", "Upstream", "Downstream"};
    for (const char* name : names)
        if (cls.findField(name) < 0) cls.addField({name, FieldType::Double});
    Path line;
    auto cursor = cls.search(nullptr);
    while (auto f = cursor->nextFeature()) {
        Polyline shape = std::get<Polyline>(f->shape());
        line.push_back(queryPoint(shape, 0.5, true));
        for (const char* name : names) f->setValue(cls.findField(name), 1.0);
        f->store();
    }
    IFeatureClass& thalweg = *app.map().findLayer("Thalweg")->asFeatureLayer()->featureClass();
    auto feature = thalweg.createFeature();
    feature->setShape(Polyline(line, true));
    feature->store();
    app.editor().stopEditing(true);
    return bench::seconds(std::chrono::steady_clock::now() - start);
}

double toolSeconds(const std::string& path) {
    ThalwegFromCurvatureOptions options;
    options.relation = {1, -0.07, 1, 0.07, 0.0061};
    return bench::timedEdit(path, [&](HostApplication& app) {
        SilentProgress progress;
        run(options, app.map(), progress);
    });
}

}  // namespace

int main(int argc, char** argv) {
    const int small = argc > 1 ? std::stoi(argv[1]) : 10000;
    const int large = argc > 2 ? std::stoi(argv[2]) : 100000;
    bench::ConsoleUI ui;
    const auto folder = bench::workFolder("ondu-thalweg-bench");
    std::filesystem::create_directories(folder);
    double toolTimes[2] = {0, 0};
    int sizes[2] = {small, large};
    for (int i = 0; i < 2; ++i) {
        const std::filesystem::path river = writeRiver(folder, sizes[i]);
        const double floor = bench::bestOnFreshCopies(river, floorSeconds);
        toolTimes[i] = bench::bestOnFreshCopies(river, toolSeconds);
        std::printf("%7d segments: tool %.3f s, floor %.3f s, ratio %.2f (target <= 3)\n", sizes[i],
                    toolTimes[i], floor, toolTimes[i] / floor);
    }
    std::printf("time(%d)/time(%d) = %.2f (target <= 12)\n", large, small,
                toolTimes[1] / toolTimes[0]);
    std::filesystem::remove_all(folder);
    return 0;
}
