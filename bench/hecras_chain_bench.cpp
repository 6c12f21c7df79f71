// The HEC-RAS preparation tools on generated networks, each against its floor: GDAL reading the
// tool's inputs and writing its outputs once (same features, same GeoPackage, one transaction);
// for the XML export, reading the layers and writing as many bytes.
//
//   hecras_chain_bench [--xml-only] [REACHES [SECTIONS_PER_REACH [POINTS_PER_SECTION]]]
//                                                                          (1000, 100, 50)
//
// Reaches lie side by side 100 units apart, each 10,000 long with a vertex every 100 and measures
// growing upstream; every reach is crossed by SECTIONS_PER_REACH cross-sections of
// POINTS_PER_SECTION 3D points. The reach tool joins 100 segments per (river, reach) pair (its
// floor includes the FromLine/ToLine links the joining writes on every segment). The XML
// export also runs on a tenth of the reaches, for the growth ratio. Best of three runs, each on a
// fresh copy. Targets: every ratio to its floor at most 3; XML time(all)/time(tenth) at most 12.

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_ui.h"
#include "exchange/channel_geometry_xml.h"
#include "framework/host/host_application.h"
#include "framework/map_helpers.h"
#include "preprocessing/downstream_distances.h"
#include "preprocessing/hecras_reach.h"
#include "preprocessing/station_numbers.h"

using namespace ondu;
namespace fs = std::filesystem;

namespace {

constexpr double kReachLength = 10000, kVertexSpacing = 100, kReachGap = 100;

double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

void check(OGRErr err, const char* what) {
    if (err != OGRERR_NONE) throw std::runtime_error(what);
}

OGRLayer* createLayer(GDALDataset& store, const char* name, OGRwkbGeometryType type,
                      std::initializer_list<std::pair<const char*, OGRFieldType>> fields) {
    OGRLayer* layer = store.CreateLayer(name, nullptr, type, nullptr);
    for (const auto& [field, fieldType] : fields) {
        OGRFieldDefn defn(field, fieldType);
        check(layer->CreateField(&defn), "field");
    }
    return layer;
}

void addLine(OGRLayer* layer, const OGRLineString& line,
             std::initializer_list<std::pair<const char*, std::string>> values) {
    OGRFeature feature(layer->GetLayerDefn());
    for (const auto& [field, value] : values) feature.SetField(field, value.c_str());
    feature.SetGeometry(&line);
    check(layer->CreateFeature(&feature), "feature");
}

/// Reaches with measures and the cross-sections crossing them; for the reach tool, the reaches
/// again as chained segments of (river, reach) pairs.
std::string writeNetwork(const fs::path& folder, int reaches, int sectionsPerReach, int points) {
    const std::string path = (folder / ("net" + std::to_string(reaches) + ".gpkg")).string();
    GDALAllRegister();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
    std::unique_ptr<GDALDataset> store(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    check(store->StartTransaction(), "transaction");
    OGRLayer* reach = createLayer(*store, "Reach", wkbLineStringM,
                                  {{"ReachName", OFTString}, {"RiverName", OFTString}});
    OGRLayer* sections = createLayer(*store, "CrossSections", wkbLineString25D, {});
    OGRLayer* segments = createLayer(*store, "Segments", wkbLineString,
                                     {{"RiverName", OFTString}, {"ReachName", OFTString}});
    createLayer(*store, "Joined", wkbLineStringM, {});
    const int vertices = static_cast<int>(kReachLength / kVertexSpacing) + 1;
    for (int r = 0; r < reaches; ++r) {
        const double y = r * kReachGap;
        const std::string name = "R" + std::to_string(r);
        OGRLineString line;
        for (int v = 0; v < vertices; ++v)
            line.addPointM(v * kVertexSpacing, y, kReachLength - v * kVertexSpacing);
        addLine(reach, line, {{"ReachName", name}, {"RiverName", "River"}});
        for (int v = 0; v + 1 < vertices; ++v) {
            OGRLineString piece;
            piece.addPoint(v * kVertexSpacing, y);
            piece.addPoint((v + 1) * kVertexSpacing, y);
            addLine(segments, piece, {{"RiverName", "River"}, {"ReachName", name}});
        }
        for (int s = 0; s < sectionsPerReach; ++s) {
            const double x = (s + 0.5) * kReachLength / sectionsPerReach;
            OGRLineString section;
            for (int p = 0; p < points; ++p) {
                const double t = static_cast<double>(p) / (points - 1);
                section.addPoint(x, y + 20 - 40 * t, 5 + 10 * (t - 0.5) * (t - 0.5));
            }
            addLine(sections, section, {});
        }
    }
    check(store->CommitTransaction(), "commit");
    return path;
}

/// The least time `run` takes on a fresh copy of `store`, over three rounds.
double bestOnFreshCopies(const std::string& store,
                         const std::function<double(const std::string&)>& run) {
    const fs::path copy = fs::path(store).parent_path() / "copy.gpkg";
    double best = 1e300;
    for (int round = 0; round < 3; ++round) {
        fs::copy_file(store, copy, fs::copy_options::overwrite_existing);
        best = std::min(best, run(copy.string()));
    }
    fs::remove(copy);
    return best;
}

/// Times `body` inside one edit session on the map, saved at the end.
double timedSession(const std::string& path, const std::function<void(HostApplication&)>& body) {
    HostApplication app(MapDocument::open(path));
    const auto start = std::chrono::steady_clock::now();
    app.editor().startEditing();
    body(app);
    app.editor().stopEditing(true);
    return seconds(std::chrono::steady_clock::now() - start);
}

IFeatureClass& classOf(HostApplication& app, const char* layer) {
    return *app.map().findLayer(layer)->asFeatureLayer()->featureClass();
}

/// Reads every feature of the layers (shape and values).
void readAll(HostApplication& app, const std::vector<const char*>& layers) {
    for (const char* layer : layers) {
        auto cursor = classOf(app, layer).search(nullptr);
        while (auto f = cursor->nextFeature()) {
            volatile bool empty = isEmpty(f->shape());
            (void)empty;
            for (int i = 0; i < f->fieldCount(); ++i) (void)f->value(i);
        }
    }
}

/// Reads the layers and writes `fields` (adding them) on every feature of the first.
void readAndWrite(HostApplication& app, const std::vector<const char*>& layers,
                  std::initializer_list<std::pair<const char*, FieldType>> fields) {
    IFeatureClass& target = classOf(app, layers.front());
    for (const auto& [name, type] : fields)
        if (target.findField(name) < 0) target.addField({name, type});
    readAll(app, std::vector<const char*>(layers.begin() + 1, layers.end()));
    auto cursor = target.search(nullptr);
    while (auto f = cursor->nextFeature()) {
        (void)f->shape();
        for (const auto& [name, type] : fields)
            f->setValue(f->findField(name), type == FieldType::String ? FieldValue("R1") : 1.0);
        f->store();
    }
}

/// One line of results; `target` is false for the export on a tenth of the reaches, which is
/// run for the growth ratio only.
void report(const char* what, double tool, double floor, bool target = true) {
    std::printf("%-34s tool %7.3f s, floor %7.3f s, ratio %.2f %s\n", what, tool, floor,
                tool / floor, target ? "(target <= 3)" : "(for the growth)");
}

double xmlSeconds(const std::string& path, const std::string& output) {
    return timedSession(path, [&](HostApplication& app) {
        SilentProgress progress;
        run(ChannelGeometryXmlOptions{.output = output}, app.map(), progress);
    });
}

double xmlFloorSeconds(const std::string& path, std::uintmax_t bytes, const std::string& output) {
    return timedSession(path, [&](HostApplication& app) {
        readAll(app, {"Reach", "CrossSections"});
        std::ofstream out(output, std::ios::binary);
        const std::string block(1 << 20, 'x');
        for (std::uintmax_t left = bytes; left > 0;
             left -= std::min<std::uintmax_t>(left, block.size()))
            out.write(block.data(),
                      static_cast<std::streamsize>(std::min<std::uintmax_t>(left, block.size())));
    });
}

/// The stationed network (the station and distance tools run once), for the XML export.
void prepareForExport(const std::string& path) {
    timedSession(path, [](HostApplication& app) {
        SilentProgress progress;
        run(StationNumbersOptions{}, app.map(), progress);
        run(DownstreamDistancesOptions{}, app.map(), progress);
    });
}

/// The reach, station and distance tools, each against its floor.
void runPreparationTools(const std::string& network, const fs::path& folder,
                         IProgressBar& progress) {
    const double reachTool = bestOnFreshCopies(network, [&](const std::string& p) {
        return timedSession(p, [&](HostApplication& app) {
            run(HecReachOptions{.centerline = "Segments", .reach = "Joined"}, app.map(), progress);
        });
    });
    const double reachFloor = bestOnFreshCopies(network, [&](const std::string& p) {
        return timedSession(p, [&](HostApplication& app) {
            // The links the ordering writes on every segment are outputs of the tool too.
            readAndWrite(app, {"Segments"},
                         {{"FromLine", FieldType::Integer}, {"ToLine", FieldType::Integer}});
            IFeatureClass& joined = classOf(app, "Joined");
            for (const char* name : {"RiverName", "ReachName"})
                joined.addField({name, FieldType::String});
            auto cursor = classOf(app, "Reach").search(nullptr);
            while (auto f = cursor->nextFeature()) {
                auto out = joined.createFeature();
                out->setShape(f->shape());
                out->store();
            }
        });
    });
    report("HEC-RAS reach", reachTool, reachFloor);

    const double stationTool = bestOnFreshCopies(network, [&](const std::string& p) {
        return timedSession(
            p, [&](HostApplication& app) { run(StationNumbersOptions{}, app.map(), progress); });
    });
    const double stationFloor = bestOnFreshCopies(network, [&](const std::string& p) {
        return timedSession(p, [&](HostApplication& app) {
            readAndWrite(app, {"CrossSections", "Reach"},
                         {{"ReachName", FieldType::String}, {"StationNo", FieldType::Double}});
        });
    });
    report("Station numbers", stationTool, stationFloor);

    const std::string stationed = (folder / "stationed.gpkg").string();
    fs::copy_file(network, stationed, fs::copy_options::overwrite_existing);
    timedSession(stationed,
                 [&](HostApplication& app) { run(StationNumbersOptions{}, app.map(), progress); });
    const double distanceTool = bestOnFreshCopies(stationed, [&](const std::string& p) {
        return timedSession(p, [&](HostApplication& app) {
            run(DownstreamDistancesOptions{}, app.map(), progress);
        });
    });
    const double distanceFloor = bestOnFreshCopies(stationed, [&](const std::string& p) {
        return timedSession(p, [&](HostApplication& app) {
            readAndWrite(app, {"CrossSections"}, {{"DistanceDS", FieldType::Double}});
        });
    });
    report("Downstream distances", distanceTool, distanceFloor);
}

/// The XML export on a tenth of the reaches and on all of them, against its floor, and the growth.
void exportXml(const std::string& network, int reaches, int perReach, int points,
               const fs::path& folder) {
    double xmlTimes[2] = {0, 0}, floors[2] = {0, 0};
    const int sizes[2] = {std::max(1, reaches / 10), reaches};
    for (int i = 0; i < 2; ++i) {
        const std::string source =
            i == 1 ? network : writeNetwork(folder, sizes[i], perReach, points);
        prepareForExport(source);
        const std::string output = (folder / "channel.xml").string();
        xmlTimes[i] =
            bestOnFreshCopies(source, [&](const std::string& p) { return xmlSeconds(p, output); });
        const auto bytes = fs::file_size(output);
        const double floor = floors[i] = bestOnFreshCopies(
            source, [&](const std::string& p) { return xmlFloorSeconds(p, bytes, output); });
        const std::string what = "XML export, " + std::to_string(sizes[i] * perReach) + " sections";
        report(what.c_str(), xmlTimes[i], floor, i == 1);
    }
    // The floor's own growth beside it: writing ten times the bytes may cost more than ten
    // times as long once the system starts flushing them to disk.
    std::printf("XML time(%d)/time(%d) sections = %.2f (target <= 12; the floor grew %.2f)\n",
                sizes[1] * perReach, sizes[0] * perReach, xmlTimes[1] / xmlTimes[0],
                floors[1] / floors[0]);
}

}  // namespace

int main(int argc, char** argv) {
    // --xml-only skips the other tools, for profiling the export on its own.
    const bool xmlOnly = argc > 1 && std::string_view(argv[1]) == "--xml-only";
    if (xmlOnly) --argc, ++argv;
    const int reaches = argc > 1 ? std::stoi(argv[1]) : 1000;
    const int perReach = argc > 2 ? std::stoi(argv[2]) : 100;
    const int points = argc > 3 ? std::stoi(argv[3]) : 50;
    bench::ConsoleUI ui;
    const fs::path folder = fs::temp_directory_path() / "ondu-hecras-chain-bench";
    fs::create_directories(folder);
    const std::string network = writeNetwork(folder, reaches, perReach, points);
    std::printf("%d reaches, %d cross-sections of %d points, %d segments\n", reaches,
                reaches * perReach, points,
                reaches * static_cast<int>(kReachLength / kVertexSpacing));

    SilentProgress progress;
    if (!xmlOnly) runPreparationTools(network, folder, progress);
    exportXml(network, reaches, perReach, points, folder);
    fs::remove_all(folder);
    return 0;
}
