// Beta cross-sections every 10 map units along thalwegs of 10 km and 100 km (1,001 and 10,001
// sections of 101 vertices), against the floor of reading the centerline segments and the
// thalweg once and writing the same sections (shape and six fields) in one transaction.
//
//   beta_sections_bench [SMALL_KM [LARGE_KM]]   (defaults 10 and 100)
//
// Targets: tool time at most 3x the floor; time(large)/time(small) at most 12 for a tenfold
// longer thalweg. Each side runs three times on a fresh copy of one generated river and the best
// run counts.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_runs.h"
#include "bench/bench_ui.h"
#include "framework/geometry/curve.h"
#include "framework/host/host_application.h"
#include "framework/host/sample_river.h"
#include "framework/map_helpers.h"
#include "framework/ui.h"
#include "morphology/beta_cross_sections.h"

using namespace ondu;

namespace {

constexpr double kInterval = 10;

IFeatureClass& classOf(HostApplication& app, const std::string& layer) {
    return *app.map().findLayer(layer)->asFeatureLayer()->featureClass();
}

/// A sample river whose thalweg follows its centerline, falling with the bank 3 below it.
std::string writeRiver(const std::filesystem::path& folder, int km) {
    SampleRiverOptions options;
    options.length = km * 1000.0;
    options.segmentLength = 100;
    options.referencePointCount = 0;
    options.gaugingStationCount = 0;
    options.surveyPointCount = 0;
    options.crossSectionSpacing = 0;
    const std::string path = (folder / ("river" + std::to_string(km) + ".gpkg")).string();
    writeSampleRiver(path, options);
    HostApplication app(MapDocument::open(path));
    app.editor().startEditing();
    auto centre = classOf(app, "CenterLine").getFeature(1);
    Polyline line = std::get<Polyline>(centre->shape());
    for (Point& v : line.paths.front()) {
        v.z = options.bankElevation - options.slope * v.m - options.depth;
        v.zAware = true;
    }
    line.zAware = true;
    // Summed segment lengths may pass the river's length by a rounding error, which would give
    // one more station at the end: the thalweg stops a millimetre short.
    line = splitAtDistance(line, options.length - 0.001).first;
    auto thalweg = classOf(app, "Thalweg").createFeature();
    thalweg->setShape(line);
    thalweg->store();
    app.editor().stopEditing(true);
    return path;
}

/// Reading the segments and the thalweg, writing one 101-vertex 3D line with six values per
/// station.
double floorSeconds(const std::string& path) {
    HostApplication app(MapDocument::open(path));
    const auto start = std::chrono::steady_clock::now();
    app.editor().startEditing();
    std::vector<Geometry> segments;
    auto cursor = classOf(app, "CenterlineSegments").search(nullptr);
    while (auto f = cursor->nextFeature()) segments.push_back(f->shape());
    const Polyline thalweg =
        std::get<Polyline>(classOf(app, "Thalweg").search(nullptr)->nextFeature()->shape());
    IFeatureClass& sections = classOf(app, "CrossSections");
    const char* names[] = {"ALPHA1", "BETA1", "ALPHA2", "BETA2", "FACTOR", "Measure"};
    for (const char* name : names) sections.addField({name, FieldType::Double});
    const long stations = static_cast<long>(length(thalweg) / kInterval) + 1;
    for (long k = 0; k < stations; ++k) {
        Path vertices;
        for (int i = 0; i <= 100; ++i) vertices.emplace_back(k * kInterval, i * 0.4, 97.0);
        auto f = sections.createFeature();
        f->setShape(Polyline(std::move(vertices), true));
        for (const char* name : names) f->setValue(sections.findField(name), 1.0);
        f->store();
    }
    app.editor().stopEditing(true);
    return bench::seconds(std::chrono::steady_clock::now() - start);
}

double toolSeconds(const std::string& path) {
    BetaFromThalwegOptions options;
    options.interval = kInterval;
    return bench::timedEdit(path, [&](HostApplication& app) {
        SilentProgress progress;
        run(options, app.map(), progress);
    });
}

long sectionCount(const std::string& path) {
    HostApplication app(MapDocument::open(path));
    return classOf(app, "CrossSections").featureCount(nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    const int small = argc > 1 ? std::stoi(argv[1]) : 10;
    const int large = argc > 2 ? std::stoi(argv[2]) : 100;
    bench::ConsoleUI ui;
    const auto folder = bench::workFolder("ondu-beta-bench");
    std::filesystem::create_directories(folder);
    // The tool reads its parameter table from the work folder.
    setenv("ONDU_WORK_DIR", folder.string().c_str(), 1);
    writeSampleBetaParameters(betaParameterPath());
    double toolTimes[2] = {0, 0};
    const int sizes[2] = {small, large};
    for (int i = 0; i < 2; ++i) {
        const std::filesystem::path river = writeRiver(folder, sizes[i]);
        const double floor = bench::bestOnFreshCopies(river, floorSeconds);
        toolTimes[i] = bench::bestOnFreshCopies(river, toolSeconds);
        const std::filesystem::path check = folder / "check.gpkg";
        std::filesystem::copy_file(river, check, std::filesystem::copy_options::overwrite_existing);
        toolSeconds(check.string());
        std::printf("%4d km, %ld sections: tool %.3f s, floor %.3f s, ratio %.2f (target <= 3)\n",
                    sizes[i], sectionCount(check.string()), toolTimes[i], floor,
                    toolTimes[i] / floor);
    }
    std::printf("time(%d km)/time(%d km) = %.2f (target <= 12)\n", large, small,
                toolTimes[1] / toolTimes[0]);
    std::filesystem::remove_all(folder);
    return 0;
}
