// Profile lines from synthetic 3D cross-sections of 101 vertices, one every 10 m along a straight
// reach: 10,001 sections (100 km) and 1,001 (10 km), against the floor of reading the sections
// once and writing the same profile lines once, in one transaction.
//
//   profile_lines_bench [LARGE_SECTIONS [SMALL_SECTIONS]]   (defaults 10001 and 1001)
//
// Targets: depth based (n = 10) at most 3x the floor, flow based (N = 10) at most 10x; both grow
// no faster than n log n: time(large)/time(small) at most (large log large)/(small log small).
// Best of three runs on fresh copies of one generated dataset.

#include <ogrsf_frmts.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_runs.h"
#include "bench/bench_ui.h"
#include "framework/host/host_application.h"
#include "framework/ui.h"
#include "morphology/profile_lines.h"

using namespace ondu;

namespace {

constexpr int kVertices = 101;
constexpr double kSpacing = 10, kWidth = 40, kBank = 100, kDepth = 4;

void check(OGRErr err, const char* what) {
    if (err != OGRERR_NONE) throw std::runtime_error(what);
}

/// A section across the reach at `x`: a skewed bed whose deepest point wanders from bank to bank
/// as bends would put it, the banks a little apart in height.
OGRLineString sectionAt(double x, int index) {
    const double deepest = 0.5 + 0.35 * std::sin(2 * std::numbers::pi * index / 40.0);
    OGRLineString line;
    for (int k = 0; k < kVertices; ++k) {
        const double u = static_cast<double>(k) / (kVertices - 1);
        const double shape = u <= deepest ? u / deepest : (1 - u) / (1 - deepest);
        const double z = kBank - 0.0005 * x + 0.2 * u - kDepth * std::pow(shape, 0.7);
        line.addPoint(x, (u - 0.5) * kWidth, z);
    }
    return line;
}

std::string writeSections(const std::filesystem::path& folder, int count) {
    const std::string path = (folder / ("sections" + std::to_string(count) + ".gpkg")).string();
    std::filesystem::remove(path);
    GDALAllRegister();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
    GDALDataset* ds = driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr);
    if (!ds) throw std::runtime_error("cannot create " + path);
    OGRLayer* sections = ds->CreateLayer("CrossSections", nullptr, wkbLineString25D, nullptr);
    OGRFieldDefn measure("Measure", OFTReal);
    check(sections->CreateField(&measure), "field");
    if (!ds->CreateLayer("ProfileLines", nullptr, wkbLineString25D, nullptr))
        throw std::runtime_error("layer");
    check(ds->StartTransaction(), "transaction");
    for (int i = 0; i < count; ++i) {
        OGRFeature feature(sections->GetLayerDefn());
        feature.SetField("Measure", i * kSpacing);
        feature.SetGeometryDirectly(new OGRLineString(sectionAt(i * kSpacing, i)));
        check(sections->CreateFeature(&feature), "feature");
    }
    check(ds->CommitTransaction(), "commit");
    GDALClose(ds);
    return path;
}

IFeatureClass& classOf(HostApplication& app, const std::string& name) {
    return *app.map().findLayer(name)->asFeatureLayer()->featureClass();
}

/// The profile lines the tool writes on a copy of the dataset.
std::vector<Geometry> toolOutput(const std::filesystem::path& dataset,
                                 ProfileLinesOptions options) {
    const std::filesystem::path copy = dataset.parent_path() / "output-copy.gpkg";
    std::filesystem::copy_file(dataset, copy, std::filesystem::copy_options::overwrite_existing);
    std::vector<Geometry> shapes;
    {
        HostApplication app(MapDocument::open(copy.string()));
        app.editor().startEditing();
        SilentProgress progress;
        run(options, app.map(), progress);
        auto cursor = classOf(app, "ProfileLines").search(nullptr);
        while (auto f = cursor->nextFeature()) shapes.push_back(f->shape());
        app.editor().stopEditing(false);
    }
    std::filesystem::remove(copy);
    return shapes;
}

/// Reading every section and writing the given profile lines, with their ProfileID.
double floorSeconds(const std::string& path, const std::vector<Geometry>& outputs) {
    return bench::timedEdit(path, [&](HostApplication& app) {
        IFeatureClass& sections = classOf(app, "CrossSections");
        const int measure = sections.findField("Measure");
        double sum = 0;
        auto cursor = sections.search(nullptr);
        while (auto f = cursor->nextFeature()) {
            sum += toDouble(f->value(measure)).value_or(0);
            sum += allVertices(f->shape()).size();
        }
        if (sum < 0) std::puts("");  // keeps the reads
        IFeatureClass& profiles = classOf(app, "ProfileLines");
        profiles.addField({"ProfileID", FieldType::Integer});
        const int id = profiles.findField("ProfileID");
        long long k = 0;
        for (const Geometry& shape : outputs) {
            FeaturePtr f = profiles.createFeature();
            f->setShape(shape);
            f->setValue(id, k++);
            f->store();
        }
    });
}

double toolSeconds(const std::string& path, const ProfileLinesOptions& options) {
    return bench::timedEdit(path, [&](HostApplication& app) {
        SilentProgress progress;
        run(options, app.map(), progress);
    });
}

struct Timing {
    double tool = 0, floor = 0;
};

Timing measure(const std::filesystem::path& dataset, const ProfileLinesOptions& options) {
    const std::vector<Geometry> outputs = toolOutput(dataset, options);
    Timing t;
    t.floor = bench::bestOnFreshCopies(
        dataset, [&](const std::string& path) { return floorSeconds(path, outputs); });
    t.tool = bench::bestOnFreshCopies(
        dataset, [&](const std::string& path) { return toolSeconds(path, options); });
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    const int large = argc > 1 ? std::stoi(argv[1]) : 10001;
    const int small = argc > 2 ? std::stoi(argv[2]) : 1001;
    bench::ConsoleUI ui;
    const auto folder = bench::workFolder("ondu-profile-lines-bench");
    std::filesystem::create_directories(folder);
    const std::string datasets[2] = {writeSections(folder, small), writeSections(folder, large)};
    const int sizes[2] = {small, large};
    const double growthLimit = (large * std::log(large)) / (small * std::log(small));
    struct Method {
        const char* name;
        ProfileLinesOptions::Method method;
        double target;
    };
    for (const Method m : {Method{"depth based n = 10", ProfileLinesOptions::Method::Depth, 3},
                           Method{"flow based N = 10", ProfileLinesOptions::Method::Flow, 10}}) {
        ProfileLinesOptions options;
        options.method = m.method;
        options.number = 10;
        Timing t[2];
        for (int i = 0; i < 2; ++i) {
            t[i] = measure(datasets[i], options);
            std::printf("%s, %6d sections: tool %.3f s, floor %.3f s, ratio %.2f (target <= %g)\n",
                        m.name, sizes[i], t[i].tool, t[i].floor, t[i].tool / t[i].floor, m.target);
        }
        std::printf("%s: time(%d)/time(%d) = %.2f (n log n: <= %.2f)\n", m.name, large, small,
                    t[1].tool / t[0].tool, growthLimit);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
