#pragma once
// Timing shared by the benchmarks: elapsed seconds, and the best of three runs on fresh copies
// of one generated dataset (single runs of a second or two vary by a third on a shared machine).

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>

namespace ondu::bench {

inline double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

/// The least time `run` (path of the copy → seconds) takes on a fresh copy of `dataset`, over
/// three rounds; the copy is removed afterwards.
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
