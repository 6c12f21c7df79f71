// Interpolate attributes (Depth and Measure) onto the 1 m segments of a sample centerline, for
// 10,000 and 100,000 segments with a reference point every 100 m, against the floor of reading
// the segments and the reference points once and writing both values of every segment once, in
// one transaction.
//
//   interpolate_attributes_bench [SMALL_SEGMENTS [LARGE_SEGMENTS]]   (defaults 10000, 100000)
//
// Targets: tool time at most 3x the floor; time(large)/time(small) close to the floor's own
// growth (the tool is n log n: no walk along the chained line per segment). Each side runs three
// times on a fresh copy of one generated river, the two taking turns, and the best run counts.

#include <cstdio>
#include <filesystem>
#include <string>
#include <tuple>

#include "bench/bench_runs.h"
#include "bench/bench_ui.h"
#include "framework/host/host_application.h"
#include "framework/host/sample_river.h"
#include "preprocessing/interpolate_attributes.h"

using namespace ondu;
using bench::classOf;

namespace {

std::string writeRiver(const std::filesystem::path& folder, int segments) {
    SampleRiverOptions options = bench::bareRiver();
    options.length = segments;
    options.segmentLength = 1;
    options.vertexSpacing = 1;
    options.referencePointCount = segments / 100;
    const std::string path = (folder / ("river" + std::to_string(segments) + ".gpkg")).string();
    writeSampleRiver(path, options);
    return path;
}

double floorSeconds(const std::string& path) {
    return bench::timedEdit(path, [](HostApplication& app) {
        auto points = classOf(app, "ReferencePoints").search(nullptr);
        while (auto p = points->nextFeature()) (void)p->shape();
        IFeatureClass& segments = classOf(app, "CenterlineSegments");
        const int depth = segments.findField("Depth"), measure = segments.findField("Measure");
        auto cursor = segments.search(nullptr);
        while (auto f = cursor->nextFeature()) {
            (void)f->shape();
            f->setValue(depth, 1.0);
            f->setValue(measure, 2.0);
            f->store();
        }
    });
}

double toolSeconds(const std::string& path) {
    return bench::timedEdit(path, [](HostApplication& app) {
        SilentProgress progress;
        run(InterpolateAttributesOptions{}, app.document(), progress);
    });
}

}  // namespace

int main(int argc, char** argv) {
    const int sizes[2] = {argc > 1 ? std::stoi(argv[1]) : 10000,
                          argc > 2 ? std::stoi(argv[2]) : 100000};
    bench::ConsoleUI ui;
    const auto folder = bench::workFolder("ondu-interpolate-bench");
    std::filesystem::create_directories(folder);
    double toolTimes[2] = {0, 0};
    double floorTimes[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        const std::filesystem::path river = writeRiver(folder, sizes[i]);
        std::tie(floorTimes[i], toolTimes[i]) =
            bench::bestTakingTurns(river, floorSeconds, toolSeconds);
        std::printf("%8d segments: tool %.3f s, floor %.3f s, ratio %.2f (target <= 3)\n", sizes[i],
                    toolTimes[i], floorTimes[i], toolTimes[i] / floorTimes[i]);
    }
    std::printf("time(%d)/time(%d) = %.2f; the floor's own ratio %.2f\n", sizes[1], sizes[0],
                toolTimes[1] / toolTimes[0], floorTimes[1] / floorTimes[0]);
    std::filesystem::remove_all(folder);
    return 0;
}
