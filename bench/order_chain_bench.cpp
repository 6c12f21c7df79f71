// Measures chain ordering as the measure tool runs it (OrderFromTo, then MergeLinesInOrder, in
// one edit transaction) on GeoPackages holding one chain of line segments in shuffled storage
// order, against a floor that does exactly the work the tool must do: read the segments once
// through OGR, and write the same FromLine and ToLine values on the same features once, as
// attribute-only updates (one UPDATE per feature bound on the SQLite connection that OGR opened),
// in one committed transaction. The floor knows the links from the way the chain was generated;
// every run of the tool is checked to have written the same ones. For context the same updates
// are also timed as one OGR SQL statement each, which parses every statement anew and costs
// more than the whole floor.
// Targets: at most 3x the floor, and at most 12x the time for ten times the segments.
//
// A breakdown follows: reading every feature through the host's cursor against one sequential
// OGR read, and the two routines on their own (the second finds every link in place and writes
// nothing, so it shows the cost of reading and ordering alone).
//
// Usage: order_chain_bench [segments ...]   (default: 10000 100000)

#include <fmt/format.h>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
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
constexpr GIntBig kNoLink = -9999;

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

/// The links every line of a chain must end up with, by feature identifier.
struct ChainLinks {
    std::vector<GIntBig> fromLine;  ///< indexed by identifier
    std::vector<GIntBig> toLine;
};

/// One chain of `segments` three-vertex lines, stored in shuffled order, with empty FromLine and
/// ToLine fields; answers the links the ordering must write.
ChainLinks writeChain(const fs::path& path, long segments) {
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
    std::vector<GIntBig> idOfSegment(order.size());
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
        idOfSegment[static_cast<std::size_t>(i)] = feature.GetFID();
    }
    check(dataset->CommitTransaction(), "commit");
    ChainLinks links{std::vector<GIntBig>(order.size() + 1),
                     std::vector<GIntBig>(order.size() + 1)};
    for (std::size_t i = 0; i < idOfSegment.size(); ++i) {
        const auto id = static_cast<std::size_t>(idOfSegment[i]);
        links.fromLine[id] = i == 0 ? kNoLink : idOfSegment[i - 1];
        links.toLine[id] = i + 1 == idOfSegment.size() ? kNoLink : idOfSegment[i + 1];
    }
    return links;
}

/// One sequential read of every feature with its shape; the features are kept.
std::vector<std::unique_ptr<OGRFeature>> readAll(OGRLayer& layer) {
    std::vector<std::unique_ptr<OGRFeature>> features;
    layer.ResetReading();
    while (OGRFeature* feature = layer.GetNextFeature()) features.emplace_back(feature);
    return features;
}

/// How a floor writes the two link fields of one feature, attribute columns only.
enum class LinkWrites {
    /// One UPDATE bound and run per feature on the SQLite connection that OGR opened: what the
    /// tool's own attribute writes do, and the least any way of storing the links costs.
    PreparedStatement,
    /// One UPDATE per feature through OGR's SQL (OGR 3.6 has no attribute-only feature update;
    /// SetFeature would rewrite every shape and its spatial index entry too).
    OgrSql,
};

class LinkWriter {
public:
    LinkWriter(GDALDataset& dataset, OGRLayer& layer, LinkWrites how)
        : dataset_(dataset), how_(how) {
        sql_ = fmt::format("UPDATE \"{}\" SET \"FromLine\" = ?, \"ToLine\" = ? WHERE \"{}\" = ?",
                           kLayer, layer.GetFIDColumn());
        if (how_ == LinkWrites::PreparedStatement) {
            auto* db = static_cast<sqlite3*>(dataset.GetInternalHandle("SQLITE_HANDLE"));
            if (!db || sqlite3_prepare_v2(db, sql_.c_str(), -1, &statement_, nullptr) != SQLITE_OK)
                throw std::runtime_error("cannot prepare " + sql_);
        }
    }
    ~LinkWriter() { sqlite3_finalize(statement_); }

    void write(GIntBig id, GIntBig fromLine, GIntBig toLine) {
        if (how_ == LinkWrites::OgrSql) {
            const std::string update =
                fmt::format("UPDATE \"{}\" SET \"FromLine\" = {}, \"ToLine\" = {} WHERE fid = {}",
                            kLayer, fromLine, toLine, id);
            CPLErrorReset();
            dataset_.ExecuteSQL(update.c_str(), nullptr, nullptr);
            if (CPLGetLastErrorType() == CE_Failure) check(OGRERR_FAILURE, "store");
            return;
        }
        sqlite3_bind_int64(statement_, 1, fromLine);
        sqlite3_bind_int64(statement_, 2, toLine);
        sqlite3_bind_int64(statement_, 3, id);
        const int result = sqlite3_step(statement_);
        sqlite3_reset(statement_);
        if (result != SQLITE_DONE) throw std::runtime_error("cannot store feature");
    }

private:
    GDALDataset& dataset_;
    LinkWrites how_;
    std::string sql_;
    sqlite3_stmt* statement_ = nullptr;
};

/// A floor: read every feature once through OGR, then write the links the ordering writes,
/// once per feature, in one committed transaction.
double floorTime(const fs::path& path, const ChainLinks& links, LinkWrites how) {
    DatasetPtr dataset(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
    OGRLayer* layer = dataset->GetLayerByName(kLayer);
    return seconds([&] {
        check(dataset->StartTransaction(), "transaction");
        LinkWriter writer(*dataset, *layer, how);
        for (const auto& feature : readAll(*layer)) {
            const auto id = static_cast<std::size_t>(feature->GetFID());
            writer.write(feature->GetFID(), links.fromLine[id], links.toLine[id]);
        }
        check(dataset->CommitTransaction(), "commit");
    });
}

/// Whether the stored links are the ones the floor writes.
bool holdsLinks(const fs::path& path, const ChainLinks& links) {
    DatasetPtr dataset(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
    for (const auto& feature : readAll(*dataset->GetLayerByName(kLayer))) {
        const auto id = static_cast<std::size_t>(feature->GetFID());
        if (feature->GetFieldAsInteger64("FromLine") != links.fromLine[id] ||
            feature->GetFieldAsInteger64("ToLine") != links.toLine[id])
            return false;
    }
    return true;
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
    double processor = 0;  ///< processor time of the three, which a busy machine disturbs less
    std::size_t vertices = 0;
    double total() const { return order + merge + commit; }
};

double processorSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

Run orderAndMerge(const fs::path& path) {
    ondu::HostApplication app(ondu::MapDocument::open(path.string()));
    ondu::IFeatureLayer* layer = app.map().layer(0).asFeatureLayer();
    app.editor().startEditing();
    Run run;
    std::vector<ondu::FeaturePtr> features;
    const double processorStart = processorSeconds();
    run.order = seconds([&] { ondu::vectorUtil::OrderFromTo(layer, features); });
    ondu::Polyline merged;
    run.merge = seconds([&] { merged = ondu::vectorUtil::MergeLinesInOrder(layer); });
    run.commit = seconds([&] { app.editor().stopEditing(true); });
    run.processor = processorSeconds() - processorStart;
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

    std::vector<double> totals, processorTotals, floors;
    for (long n : sizes) {
        const fs::path original = folder / ("chain_" + std::to_string(n) + ".gpkg");
        const ChainLinks links = writeChain(original, n);
        const auto copyOf = [&](const char* what) {
            const fs::path copy = folder / (std::string(what) + ".gpkg");
            fs::copy_file(original, copy, fs::copy_options::overwrite_existing);
            return copy;
        };
        // Best of three fresh copies each: a single run of the small chain takes a tenth of a
        // second and varies by half with whatever else the machine does.
        double floor = 0, ogrSqlFloor = 0, processor = 0;
        Run run;
        bool sameLinks = true;
        for (int round = 0; round < kRounds; ++round) {
            const double f = floorTime(copyOf("floor"), links, LinkWrites::PreparedStatement);
            const double g = floorTime(copyOf("floor"), links, LinkWrites::OgrSql);
            const fs::path ordered = copyOf("order");
            const Run r = orderAndMerge(ordered);
            sameLinks = sameLinks && holdsLinks(ordered, links);
            if (round == 0 || f < floor) floor = f;
            if (round == 0 || g < ogrSqlFloor) ogrSqlFloor = g;
            if (round == 0 || r.total() < run.total()) run = r;
            if (round == 0 || r.processor < processor) processor = r.processor;
        }
        const double sequential = sequentialReadTime(copyOf("read"));
        const double cursor = hostCursorReadTime(copyOf("read"));
        totals.push_back(run.total());
        processorTotals.push_back(processor);
        floors.push_back(floor);
        const bool whole = run.vertices == static_cast<std::size_t>(3 * n);
        fmt::print("{} segments{}{}\n", n, whole ? "" : "  (CHAIN NOT WALKED TO ITS END)",
                   sameLinks ? "" : "  (LINKS DIFFER FROM THE FLOOR'S)");
        fmt::print("  floor (read once, write the links once, attributes only)  {}\n",
                   secondsText(floor));
        fmt::print("    the same writes as one OGR SQL statement each           {}\n",
                   secondsText(ogrSqlFloor));
        fmt::print("  OrderFromTo + MergeLinesInOrder       {}  = {}x floor (target <= 3)\n",
                   secondsText(run.total()), ondu::fixed(run.total() / floor, 2));
        fmt::print("    OrderFromTo {}, MergeLinesInOrder {}, commit {}; processor {}\n",
                   secondsText(run.order), secondsText(run.merge), secondsText(run.commit),
                   secondsText(processor));
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
        fmt::print("  in processor time (best of {}): {}\n", kRounds,
                   ondu::fixed(processorTotals[i] / processorTotals[i - 1], 2));
    }
    fs::remove_all(folder);
    return 0;
}
