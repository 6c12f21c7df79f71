// (s,n) coordinates of survey points against a centerline of 100,000 vertices, for 100,000 and
// 1,000,000 points, against the floor of reading the centerline and the points once and writing
// both coordinates of every point once, in one transaction.
//
//   sn_coordinates_bench [SMALL_POINTS [LARGE_POINTS]]   (defaults 100000 and 1000000)
//
// Targets: tool time at most 3x the floor; time(large)/time(small) at most 12. Each side runs
// three times on a fresh copy of one generated river, the tool and the floor taking turns so that
// both meet the same load, and the best run counts. Beside the tool's growth are printed the
// floor's own growth (GDAL's reading and writing, which grows faster than the points under load),
// the growth of the tool's time above the floor, and that of the index's questions alone (the
// points and the centerline held in memory), which is the tool's own work.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "bench/bench_runs.h"
#include "bench/bench_ui.h"
#include "framework/geometry/line_index.h"
#include "framework/host/host_application.h"
#include "framework/host/sample_river.h"
#include "morphology/sn_coordinates.h"

using namespace ondu;
using bench::classOf;

namespace {

std::string writeRiver(const std::filesystem::path& folder, int points) {
    SampleRiverOptions options = bench::bareRiver();
    options.length = 100000;
    options.vertexSpacing = 1;  // 100,000 centerline vertices
    options.segmentLength = 1000;
    options.surveyPointCount = points;
    const std::string path = (folder / ("river" + std::to_string(points) + ".gpkg")).string();
    writeSampleRiver(path, options);
    return path;
}

double floorSeconds(const std::string& path) {
    return bench::timedEdit(path, [](HostApplication& app) {
        const Geometry centerline =
            classOf(app, "CenterLine").search(nullptr)->nextFeature()->shape();
        IFeatureClass& points = classOf(app, "SurveyPoints");
        const int s = points.findField("S"), n = points.findField("N");
        auto cursor = points.search(nullptr);
        while (auto f = cursor->nextFeature()) {
            const Point p = std::get<Point>(f->shape());
            f->setValue(s, p.x);
            f->setValue(n, p.y);
            f->store();
        }
        (void)centerline;
    });
}

double toolSeconds(const std::string& path) {
    return bench::timedEdit(path, [](HostApplication& app) {
        SilentProgress progress;
        run(SnCoordinatesOptions{"SurveyPoints", "CenterLine", "S", "N"}, app.document(), progress);
    });
}

/// The best of three timings of the nearest-location questions the tool asks, one per point,
/// with the centerline and the points already in memory.
double indexSeconds(const std::string& path) {
    HostApplication app(MapDocument::open(path));
    std::vector<Polyline> line{
        std::get<Polyline>(classOf(app, "CenterLine").search(nullptr)->nextFeature()->shape())};
    std::vector<Point> points;
    auto cursor = classOf(app, "SurveyPoints").search(nullptr);
    while (auto f = cursor->nextFeature()) points.push_back(std::get<Point>(f->shape()));
    const LineIndex index(std::move(line));
    double best = 1e300, sum = 0;
    for (int round = 0; round < 3; ++round) {
        const auto start = std::chrono::steady_clock::now();
        for (const Point& p : points)
            sum += index.firstMeasureAt(0, index.nearest(p)->location.distanceAlong);
        best = std::min(best, bench::seconds(std::chrono::steady_clock::now() - start));
    }
    if (!std::isfinite(sum)) std::puts("");  // keeps the questions from being optimised away
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const int sizes[2] = {argc > 1 ? std::stoi(argv[1]) : 100000,
                          argc > 2 ? std::stoi(argv[2]) : 1000000};
    bench::ConsoleUI ui;
    const auto folder = bench::workFolder("ondu-sn-bench");
    std::filesystem::create_directories(folder);
    double tool[2], floor[2], index[2];
    for (int i = 0; i < 2; ++i) {
        const std::filesystem::path river = writeRiver(folder, sizes[i]);
        std::tie(floor[i], tool[i]) = bench::bestTakingTurns(river, floorSeconds, toolSeconds);
        index[i] = indexSeconds(river.string());
        std::printf(
            "%8d points: tool %.3f s, floor %.3f s, ratio %.2f (target <= 3); index questions "
            "%.3f s\n",
            sizes[i], tool[i], floor[i], tool[i] / floor[i], index[i]);
    }
    std::printf("time(%d)/time(%d) = %.2f (target <= 12); the floor's own ratio %.2f\n", sizes[1],
                sizes[0], tool[1] / tool[0], floor[1] / floor[0]);
    std::printf("growth of the time above the floor %.2f; of the index questions alone %.2f\n",
                (tool[1] - floor[1]) / (tool[0] - floor[0]), index[1] / index[0]);
    std::filesystem::remove_all(folder);
    return 0;
}
