#pragma once
// What every benchmark does around its runs: clock them, keep scratch data in the work folder,
// and take the best of three runs on fresh copies of one generated dataset (single runs of a
// second or two vary by a third on a shared machine).

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "framework/file_helpers.h"
#include "framework/host/host_application.h"

namespace ondu::bench {

inline double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

/// A folder for the benchmark's data: `name` in $ONDU_WORK_DIR, else in the system's temporary
/// folder.
inline std::filesystem::path workFolder(const std::string& name) {
    return std::filesystem::path(ondu::workFolder()) / name;
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

/// The least time `run` takes on a fresh copy of `dataset`, over three rounds.
template <class Run>
double bestOnFreshCopies(const std::filesystem::path& dataset, Run run) {
    constexpr int kRounds = 3;
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

}  // namespace ondu::bench
