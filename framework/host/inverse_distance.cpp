// Inverse distance weighting over the nearest samples, found with a k-d tree (nanoflann): the
// cost per cell grows with the log of the sample count, never with the samples in a radius.

#include <algorithm>
#include <cmath>
#include <nanoflann.hpp>
#include <thread>

#include "framework/host_operations.h"

namespace ondu {

namespace {

/// The samples' X and Y as nanoflann reads them.
struct SampleCloud {
    const std::vector<Point>& samples;
    std::size_t kdtree_get_point_count() const { return samples.size(); }
    double kdtree_get_pt(std::size_t i, std::size_t dim) const {
        return dim == 0 ? samples[i].x : samples[i].y;
    }
    template <class Box>
    bool kdtree_get_bbox(Box&) const {
        return false;
    }
};

using SampleTree =
    nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<double, SampleCloud>,
                                        SampleCloud, 2, std::uint32_t>;

/// For each row of the grid, the spans of columns whose centres lie inside the mask (even-odd
/// over every ring of every polygon).
class MaskSpans {
public:
    MaskSpans(const std::vector<Polygon>& mask, const CellGrid& grid) : grid_(grid) {
        for (const Polygon& polygon : mask)
            for (const Path& ring : polygon.rings) {
                const Path closed = closedRing(ring);
                for (std::size_t i = 1; i < closed.size(); ++i)
                    edges_.push_back({closed[i - 1], closed[i]});
            }
    }

    /// Whether each column of the row has its centre inside the mask.
    void insideFlags(int row, std::vector<char>& flags) const {
        std::fill(flags.begin(), flags.end(), 0);
        const double y = grid_.centreY(row);
        std::vector<double> crossings;
        for (const auto& [a, b] : edges_)
            if ((a.y > y) != (b.y > y))
                crossings.push_back(a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y));
        std::sort(crossings.begin(), crossings.end());
        for (std::size_t i = 0; i + 1 < crossings.size(); i += 2) {
            // Columns whose centres lie between two crossings.
            const double first = std::ceil((crossings[i] - grid_.xMin) / grid_.cellSize - 0.5);
            const double last = std::floor((crossings[i + 1] - grid_.xMin) / grid_.cellSize - 0.5);
            for (int c = std::max(0, static_cast<int>(first));
                 c <= std::min(grid_.columns - 1, static_cast<int>(last)); ++c)
                flags[static_cast<std::size_t>(c)] = 1;
        }
    }

private:
    CellGrid grid_;
    std::vector<std::pair<Point, Point>> edges_;
};

double weightedValue(const std::vector<Point>& samples, const std::uint32_t* nearest,
                     const double* squaredDistances, std::size_t found, double power) {
    double weighted = 0, weights = 0;
    for (std::size_t k = 0; k < found; ++k) {
        const double d2 = squaredDistances[k];
        if (d2 == 0) return samples[nearest[k]].z;  // a sample on the centre is the value there
        const double w = power == 2 ? 1 / d2 : 1 / std::pow(d2, power / 2);
        weighted += w * samples[nearest[k]].z;
        weights += w;
    }
    return weighted / weights;
}

}  // namespace

std::vector<double> interpolateInverseDistance(const std::vector<Point>& samples,
                                               const CellGrid& grid, double power, int neighbours,
                                               const std::vector<Polygon>* mask, double noData) {
    if (samples.empty()) throw HostError("there are no points to interpolate from");
    if (neighbours < 1) throw HostError("inverse distance weighting needs a neighbour at least");
    const SampleCloud cloud{samples};
    SampleTree tree(2, cloud, nanoflann::KDTreeSingleIndexAdaptorParams(10));
    tree.buildIndex();
    const std::optional<MaskSpans> spans =
        mask ? std::optional<MaskSpans>(std::in_place, *mask, grid) : std::nullopt;
    std::vector<double> cells(grid.cellCount(), noData);
    const auto k = static_cast<std::size_t>(neighbours);

    // Rows are shared out among the threads in turn, so each gets cells from everywhere.
    const unsigned threadCount = std::max(1u, std::min(std::thread::hardware_concurrency(), 8u));
    auto interpolateRows = [&](unsigned first) {
        std::vector<std::uint32_t> nearest(k);
        std::vector<double> squaredDistances(k);
        std::vector<char> inside(static_cast<std::size_t>(grid.columns), 1);
        for (int r = static_cast<int>(first); r < grid.rows; r += static_cast<int>(threadCount)) {
            if (spans) spans->insideFlags(r, inside);
            double* row = cells.data() + static_cast<std::size_t>(r) * grid.columns;
            double query[2] = {0, grid.centreY(r)};
            for (int c = 0; c < grid.columns; ++c) {
                if (!inside[static_cast<std::size_t>(c)]) continue;
                query[0] = grid.centreX(c);
                const std::size_t found =
                    tree.knnSearch(query, k, nearest.data(), squaredDistances.data());
                row[c] =
                    weightedValue(samples, nearest.data(), squaredDistances.data(), found, power);
            }
        }
    };
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < threadCount; ++t) threads.emplace_back(interpolateRows, t);
    interpolateRows(0);
    for (auto& thread : threads) thread.join();
    return cells;
}

}  // namespace ondu
