#pragma once
// What every benchmark does around its runs: clock them, keep scratch data in the work folder,
// and take the best of three runs on fresh copies of one generated dataset (single runs of a
// second or two vary by a third on a shared machine).

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include "framework/file_helpers.h"
#include "framework/host/host_application.h"
#include "framework/host/sample_river.h"

namespace ondu::bench {

inline double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

/// A folder for the benchmark's data: `name` in $ONDU_WORK_DIR, else in the system's temporary
/// folder.
inline std::filesystem::path workFolder(const std::string& name) {
    return std::filesystem::path(ondu::workFolder()) / name;
}

/// The class of the map's feature layer of that name.
inline IFeatureClass& classOf(HostApplication& app, const char* name) {
    return *app.map().findLayer(name)->asFeatureLayer()->featureClass();
}

/// A sample river without reference points, gauging stations, survey points or cross-sections:
/// each benchmark adds what it measures.
inline SampleRiverOptions bareRiver() {
    SampleRiverOptions options;
    options.referencePointCount = 0;
    options.gaugingStationCount = 0;
    options.surveyPointCount = 0;
    options.crossSectionSpacing = 0;
    return options;
}

/// The time of one edit session on the map at `path`: started, `work(app)` run, saved.
template <class Work>
double timedEdit(const std::string& path, Work work) {
    HostApplication app(MapDocument::open(path));
    const auto start = std::chrono::steady_clock::now();
    app.editor().startEditing();
    work(app);
    app.editor().stopEditing(true);
    return seconds(std::chrono::steady_clock::now() - start);
}

/// The least time `run` takes on a fresh copy of `dataset`, over `kRounds` rounds.
template <class Run, int kRounds = 3>
double bestOnFreshCopies(const std::filesystem::path& dataset, Run run) {
    const std::filesystem::path copy =
        dataset.parent_path() / ("copy-" + dataset.filename().string());
    double best = 1e300;
    for (int round = 0; round < kRounds; ++round) {
        std::filesystem::copy_file(dataset, copy,
                                   std::filesystem::copy_options::overwrite_existing);
        best = std::min(best, run(copy.string()));
    }
    std::filesystem::remove(copy);
    return best;
}

/// The least times of `first` and `second` on fresh copies of `dataset` over three rounds, the
/// two taking turns within each round, so that both meet the same load on a shared machine and
/// their ratio stays honest.
template <class First, class Second>
std::pair<double, double> bestTakingTurns(const std::filesystem::path& dataset, First first,
                                          Second second) {
    double bestFirst = 1e300, bestSecond = 1e300;
    for (int round = 0; round < 3; ++round) {
        bestFirst = std::min(bestFirst, bestOnFreshCopies<First, 1>(dataset, first));
        bestSecond = std::min(bestSecond, bestOnFreshCopies<Second, 1>(dataset, second));
    }
    return {bestFirst, bestSecond};
}

}  // namespace ondu::bench
