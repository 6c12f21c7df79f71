// (s,n) coordinates of survey points against a centerline of 100,000 vertices, for 100,000 and
// 1,000,000 points, against the floor of reading the centerline and the points once and writing
// both coordinates of every point once, in one transaction.
//
//   sn_coordinates_bench [SMALL_POINTS [LARGE_POINTS]]   (defaults 100000 and 1000000)
//
// Targets: tool time at most 3x the floor; time(large)/time(small) at most 12. Each side runs
// three times on a fresh copy of one generated river and the best run counts.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/bench_runs.h"
#include "bench/bench_ui.h"
#include "framework/host/host_application.h"
#include "framework/host/sample_river.h"
#include "morphology/sn_coordinates.h"

using namespace ondu;

namespace {

std::string writeRiver(const std::filesystem::path& folder, int points) {
    SampleRiverOptions options;
    options.length = 100000;
    options.vertexSpacing = 1;  // 100,000 centerline vertices
    options.segmentLength = 1000;
    options.referencePointCount = 0;
    options.gaugingStationCount = 0;
    options.crossSectionSpacing = 0;
    options.surveyPointCount = points;
    const std::string path = (folder / ("river" + std::to_string(points) + ".gpkg")).string();
    writeSampleRiver(path, options);
    return path;
}

IFeatureClass& classOf(HostApplication& app, const char* name) {
    return *app.map().findLayer(name)->asFeatureLayer()->featureClass();
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

}  // namespace

int main(int argc, char** argv) {
    const int sizes[2] = {argc > 1 ? std::stoi(argv[1]) : 100000,
                          argc > 2 ? std::stoi(argv[2]) : 1000000};
    bench::ConsoleUI ui;
    const auto folder = bench::workFolder("ondu-sn-bench");
    std::filesystem::create_directories(folder);
    double toolTimes[2] = {0, 0};
    double floorTimes[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        const std::filesystem::path river = writeRiver(folder, sizes[i]);
        const double floor = floorTimes[i] = bench::bestOnFreshCopies(river, floorSeconds);
        toolTimes[i] = bench::bestOnFreshCopies(river, toolSeconds);
        std::printf("%8d points: tool %.3f s, floor %.3f s, ratio %.2f (target <= 3)\n", sizes[i],
                    toolTimes[i], floor, toolTimes[i] / floor);
    }
    std::printf("time(%d)/time(%d) = %.2f (target <= 12); the floor's own ratio %.2f\n", sizes[1],
                sizes[0], toolTimes[1] / toolTimes[0], floorTimes[1] / floorTimes[0]);
    std::filesystem::remove_all(folder);
    return 0;
}
