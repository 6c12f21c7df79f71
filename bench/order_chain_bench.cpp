// Measures chain ordering as the measure tool runs it (OrderFromTo, then MergeLinesInOrder, in
// one edit transaction) on GeoPackages holding one chain of line segments in shuffled storage
// order, against the floor of reading those features once and writing their two link fields
// once through OGR. Targets: at most 3x the floor, and at most 12x the time for ten times the
// segments.
//
// A breakdown follows: reading every feature through the host's cursor against one sequential
// OGR read, and the two routines on their own (the second finds every link in place and writes
// nothing, so it shows the cost of reading and ordering alone). Writing a feature back through
// OGR (SetFeature) rewrites its geometry, which makes a GeoPackage update its spatial index for
// every feature; that dominates both the floor and the ordering and grows faster than the
// number of features, so the scaling of the floor is printed beside ours.
//
// Usage: order_chain_bench [segments ...]   (default: 10000 100000)

#include <fmt/format.h>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_ui.h"
#include "framework/host/host_application.h"
#include "framework/map_helpers.h"
#include "framework/number_text.h"
#include "framework/ui.h"
#include "framework/vector_helpers.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kLayer = "Chain";
constexpr int kRounds = 3;

struct DatasetCloser {
    void operator()(GDALDataset* dataset) const { GDALClose(dataset); }
};
using DatasetPtr = std::unique_ptr<GDALDataset, DatasetCloser>;

void check(OGRErr err, const std::string& what) {
    if (err != OGRERR_NONE) throw std::runtime_error(what + ": " + CPLGetLastErrorMsg());
}

double seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// Node i of a meandering river, to the millimetre.
OGRPoint node(long i) {
    const double x = static_cast<double>(i) * 10.0;
    return OGRPoint(x, std::round(5000.0 * std::sin(x / 300.0)) / 1000.0);
}

/// One chain of `segments` three-vertex lines, stored in shuffled order, with empty FromLine and
/// ToLine fields.
void writeChain(const fs::path& path, long segments) {
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
    DatasetPtr dataset(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!dataset) throw std::runtime_error("cannot create " + path.string());
    OGRLayer* layer = dataset->CreateLayer(kLayer, nullptr, wkbLineString, nullptr);
    for (const char* name : {"FromLine", "ToLine"}) {
        OGRFieldDefn field(name, OFTInteger);
        check(layer->CreateField(&field), "field");
    }
    std::vector<long> order(static_cast<std::size_t>(segments));
    std::iota(order.begin(), order.end(), 0L);
    std::shuffle(order.begin(), order.end(), std::mt19937(42));
    check(dataset->StartTransaction(), "transaction");
    for (long i : order) {
        OGRLineString line;
        const OGRPoint a = node(i), b = node(i + 1);
        line.addPoint(&a);
        line.addPoint((a.getX() + b.getX()) / 2, (a.getY() + b.getY()) / 2 + 0.5);
        line.addPoint(&b);
        OGRFeature feature(layer->GetLayerDefn());
        feature.SetGeometry(&line);
        check(layer->CreateFeature(&feature), "feature");
    }
    check(dataset->CommitTransaction(), "commit");
}

/// One sequential read of every feature with its shape; the features are kept.
std::vector<std::unique_ptr<OGRFeature>> readAll(OGRLayer& layer) {
    std::vector<std::unique_ptr<OGRFeature>> features;
    layer.ResetReading();
    while (OGRFeature* feature = layer.GetNextFeature()) features.emplace_back(feature);
    return features;
}

/// The floor: read every feature once, then write both link fields of each once, committed.
double floorTime(const fs::path& path) {
    DatasetPtr dataset(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
    OGRLayer* layer = dataset->GetLayerByName(kLayer);
    return seconds([&] {
        check(dataset->StartTransaction(), "transaction");
        auto features = readAll(*layer);
        for (auto& feature : features) {
            feature->SetField("FromLine", static_cast<GIntBig>(feature->GetFID() - 1));
            feature->SetField("ToLine", static_cast<GIntBig>(feature->GetFID() + 1));
            check(layer->SetFeature(feature.get()), "store");
        }
        check(dataset->CommitTransaction(), "commit");
    });
}

double sequentialReadTime(const fs::path& path) {
    DatasetPtr dataset(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
    OGRLayer* layer = dataset->GetLayerByName(kLayer);
    return seconds([&] { readAll(*layer); });
}

double hostCursorReadTime(const fs::path& path) {
    ondu::HostApplication app(ondu::MapDocument::open(path.string()));
    ondu::IFeatureLayer* layer = app.map().layer(0).asFeatureLayer();
    return seconds([&] {
        auto cursor = ondu::maputil::GetFeatureCursor(layer);
        while (auto feature = cursor->nextFeature()) (void)feature->shape();
    });
}

struct Run {
    double order = 0;
    double merge = 0;
    double commit = 0;
    std::size_t vertices = 0;
    double total() const { return order + merge + commit; }
};

Run orderAndMerge(const fs::path& path) {
    ondu::HostApplication app(ondu::MapDocument::open(path.string()));
    ondu::IFeatureLayer* layer = app.map().layer(0).asFeatureLayer();
    app.editor().startEditing();
    Run run;
    std::vector<ondu::FeaturePtr> features;
    run.order = seconds([&] { ondu::vectorUtil::OrderFromTo(layer, features); });
    ondu::Polyline merged;
    run.merge = seconds([&] { merged = ondu::vectorUtil::MergeLinesInOrder(layer); });
    run.commit = seconds([&] { app.editor().stopEditing(true); });
    run.vertices = merged.vertexCount();
    return run;
}

std::string secondsText(double s) { return ondu::fixed(s, 3) + " s"; }

}  // namespace

int main(int argc, char** argv) {
    std::vector<long> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::stol(argv[i]));
    if (sizes.empty()) sizes = {10000, 100000};
    GDALAllRegister();
    ondu::bench::ConsoleUI ui;
    const fs::path folder =
        fs::temp_directory_path() / ("ondu_order_bench_" + std::to_string(::getpid()));
    fs::create_directories(folder);

    std::vector<double> totals, floors;
    for (long n : sizes) {
        const fs::path original = folder / ("chain_" + std::to_string(n) + ".gpkg");
        writeChain(original, n);
        const auto copyOf = [&](const char* what) {
            const fs::path copy = folder / (std::string(what) + ".gpkg");
            fs::copy_file(original, copy, fs::copy_options::overwrite_existing);
            return copy;
        };
        // Best of three fresh copies each: a single run of the small chain takes a tenth of a
        // second and varies by half with whatever else the machine does.
        double floor = 0;
        Run run;
        for (int round = 0; round < kRounds; ++round) {
            const double f = floorTime(copyOf("floor"));
            const Run r = orderAndMerge(copyOf("order"));
            if (round == 0 || f < floor) floor = f;
            if (round == 0 || r.total() < run.total()) run = r;
        }
        const double sequential = sequentialReadTime(copyOf("read"));
        const double cursor = hostCursorReadTime(copyOf("read"));
        totals.push_back(run.total());
        floors.push_back(floor);
        const bool whole = run.vertices == static_cast<std::size_t>(3 * n);
        fmt::print("{} segments{}\n", n, whole ? "" : "  (CHAIN NOT WALKED TO ITS END)");
        fmt::print("  floor (read once, write links once)  {}\n", secondsText(floor));
        fmt::print("  OrderFromTo + MergeLinesInOrder       {}  = {}x floor (target <= 3)\n",
                   secondsText(run.total()), ondu::fixed(run.total() / floor, 2));
        fmt::print("    OrderFromTo {}, MergeLinesInOrder {}, commit {}\n", secondsText(run.order),
                   secondsText(run.merge), secondsText(run.commit));
        fmt::print("  read all: host cursor {}, sequential OGR {} ({}x)\n", secondsText(cursor),
                   secondsText(sequential), ondu::fixed(cursor / sequential, 1));
        fs::remove(original);
    }
    for (std::size_t i = 1; i < sizes.size(); ++i) {
        fmt::print(
            "time({}) / time({}) = {} (target <= 12 for ten times the segments); "
            "the floor alone: {}\n",
            sizes[i], sizes[i - 1], ondu::fixed(totals[i] / totals[i - 1], 2),
            ondu::fixed(floors[i] / floors[i - 1], 2));
    }
    fs::remove_all(folder);
    return 0;
}
