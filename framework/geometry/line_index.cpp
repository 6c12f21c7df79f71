#include "framework/geometry/line_index.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <nanoflann.hpp>
#include <stdexcept>
#include <utility>

namespace ondu {

namespace {

/// A stretch of a piece: its midpoint, and the line and piece it belongs to.
struct Stretch {
    double x = 0;
    double y = 0;
    std::uint32_t line = 0;
    std::uint32_t piece = 0;
};

/// Items with an X and a Y as nanoflann reads a point cloud.
template <class Item>
struct XyCloud {
    std::vector<Item> items;
    std::size_t kdtree_get_point_count() const { return items.size(); }
    double kdtree_get_pt(std::size_t i, std::size_t dim) const {
        return dim == 0 ? items[i].x : items[i].y;
    }
    template <class Box>
    bool kdtree_get_bbox(Box&) const {
        return false;
    }
};

template <class Item>
using XyTree =
    nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<double, XyCloud<Item>>,
                                        XyCloud<Item>, 2, std::uint32_t>;
using StretchCloud = XyCloud<Stretch>;
using KdTree = XyTree<Stretch>;

double pieceLength(const Polyline& line, const CurvePiece& piece) {
    const Path& path = line.paths[piece.part];
    if (piece.vertex + 1 >= path.size()) return 0;
    const Point& a = path[piece.vertex];
    const Point& b = path[piece.vertex + 1];
    return std::hypot(b.x - a.x, b.y - a.y);
}

/// Slack for the rounding in a midpoint and a distance, so that no candidate is lost to it.
constexpr double kSlack = 1e-9;

}  // namespace

struct LineIndex::Impl {
    std::vector<Polyline> lines;
    std::vector<std::vector<CurvePiece>> pieces;  ///< per line, in line order
    std::vector<std::vector<double>> ends;        ///< per line: where each piece ends along it
    StretchCloud cloud;
    double halfStretch = 0;
    std::unique_ptr<KdTree> tree;

    void indexPieces() {
        double total = 0;
        std::size_t counted = 0;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            pieces.push_back(piecesOf(lines[i]));
            std::vector<double>& lineEnds = ends.emplace_back();
            for (const CurvePiece& piece : pieces.back()) {
                const double len = pieceLength(lines[i], piece);
                lineEnds.push_back(piece.start + len);
                if (len > 0) total += len, ++counted;
            }
        }
        const double stretch = counted ? total / static_cast<double>(counted) : 0;
        for (std::size_t i = 0; i < lines.size(); ++i)
            for (std::size_t k = 0; k < pieces[i].size(); ++k) addStretches(i, k, stretch);
        if (!cloud.items.empty())
            tree =
                std::make_unique<KdTree>(2, cloud, nanoflann::KDTreeSingleIndexAdaptorParams(16));
    }

    void addStretches(std::size_t line, std::size_t k, double stretch) {
        const CurvePiece& piece = pieces[line][k];
        const Path& path = lines[line].paths[piece.part];
        const Point& a = path[piece.vertex];
        const Point& b = piece.vertex + 1 < path.size() ? path[piece.vertex + 1] : a;
        const double len = pieceLength(lines[line], piece);
        const auto count =
            len > 0 ? std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil(len / stretch)))
                    : 1;
        halfStretch = std::max(halfStretch, len / static_cast<double>(count) / 2);
        for (std::size_t j = 0; j < count; ++j) {
            const double t = (static_cast<double>(j) + 0.5) / static_cast<double>(count);
            cloud.items.push_back({std::lerp(a.x, b.x, t), std::lerp(a.y, b.y, t),
                                   static_cast<std::uint32_t>(line),
                                   static_cast<std::uint32_t>(k)});
        }
    }

    double distanceTo(const Stretch& s, const Point& p) const {
        return distanceToPiece(lines[s.line], pieces[s.line][s.piece], p);
    }
};

LineIndex::LineIndex(std::vector<Polyline> lines) : impl_(std::make_unique<Impl>()) {
    if (lines.size() > std::numeric_limits<std::uint32_t>::max())
        throw std::invalid_argument("too many lines to index");
    impl_->lines = std::move(lines);
    impl_->indexPieces();
}

LineIndex::~LineIndex() = default;

std::size_t LineIndex::size() const { return impl_->lines.size(); }

const Polyline& LineIndex::line(std::size_t index) const { return impl_->lines.at(index); }

std::optional<LineIndex::Nearest> LineIndex::nearest(const Point& point, double reach) const {
    if (point.isEmpty()) throw std::invalid_argument("the point is empty");
    if (!impl_->tree) return std::nullopt;
    const auto& stretches = impl_->cloud.items;
    const double query[2] = {point.x, point.y};
    std::uint32_t first = 0;
    double firstSquared = 0;
    impl_->tree->knnSearch(query, 1, &first, &firstSquared);
    const double bound = impl_->distanceTo(stretches[first], point);
    const double radius = (bound + impl_->halfStretch) * (1 + kSlack) + kSlack;
    std::vector<std::pair<std::uint32_t, double>> found;
    impl_->tree->radiusSearch(query, radius * radius, found, nanoflann::SearchParams(32, 0, false));

    // The nearest distance, and the first line reaching it.
    double best = bound;
    std::uint32_t bestLine = stretches[first].line;
    for (const auto& [index, squared] : found) {
        const Stretch& s = stretches[index];
        const double d = impl_->distanceTo(s, point);
        if (d < best || (d == best && s.line < bestLine)) best = d, bestLine = s.line;
    }
    if (best > reach) return std::nullopt;
    std::vector<CurvePiece> candidates;
    std::vector<std::uint32_t> seen;
    for (const auto& [index, squared] : found)
        if (stretches[index].line == bestLine) seen.push_back(stretches[index].piece);
    if (stretches[first].line == bestLine) seen.push_back(stretches[first].piece);
    std::sort(seen.begin(), seen.end());
    seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
    for (std::uint32_t k : seen) candidates.push_back(impl_->pieces[bestLine][k]);
    return Nearest{bestLine, nearestLocationAmong(impl_->lines[bestLine], point, candidates)};
}

double LineIndex::firstMeasureAt(std::size_t index, double distance) const {
    const Polyline& line = impl_->lines.at(index);
    const auto& pieces = impl_->pieces[index];
    const auto& ends = impl_->ends[index];
    if (!line.mAware || pieces.empty()) return kNaN;
    const double d = std::clamp(distance, 0.0, ends.back());
    const auto at = std::lower_bound(ends.begin(), ends.end(), d);
    const std::size_t k =
        at == ends.end() ? ends.size() - 1 : static_cast<std::size_t>(at - ends.begin());
    const CurvePiece& piece = pieces[k];
    const Path& path = line.paths[piece.part];
    const double len = pieceLength(line, piece);
    if (len <= 0) return path[piece.vertex].m;
    return std::lerp(path[piece.vertex].m, path[piece.vertex + 1].m, (d - piece.start) / len);
}

// ---- points --------------------------------------------------------------------------------

struct PointIndex::Impl {
    XyCloud<Point> cloud;                ///< the points that are not empty
    std::vector<std::size_t> positions;  ///< their positions in the caller's list
    std::unique_ptr<XyTree<Point>> tree;
};

PointIndex::PointIndex(const std::vector<Point>& points) : impl_(std::make_unique<Impl>()) {
    if (points.size() > std::numeric_limits<std::uint32_t>::max())
        throw std::invalid_argument("too many points to index");
    for (std::size_t i = 0; i < points.size(); ++i)
        if (!points[i].isEmpty()) {
            impl_->cloud.items.push_back(points[i]);
            impl_->positions.push_back(i);
        }
    if (!impl_->cloud.items.empty())
        impl_->tree = std::make_unique<XyTree<Point>>(
            2, impl_->cloud, nanoflann::KDTreeSingleIndexAdaptorParams(16));
}

PointIndex::~PointIndex() = default;

std::optional<std::size_t> PointIndex::nearest(const Point& point, double reach) const {
    if (point.isEmpty()) throw std::invalid_argument("the point is empty");
    if (!impl_->tree) return std::nullopt;
    const auto& points = impl_->cloud.items;
    const auto& positions = impl_->positions;
    const double query[2] = {point.x, point.y};
    std::uint32_t first = 0;
    double firstSquared = 0;
    impl_->tree->knnSearch(query, 1, &first, &firstSquared);
    // The tree's squared distances round differently from hypot: every point the tree puts
    // about as near is measured again, and the first listed of the nearest wins.
    const double radius = std::sqrt(firstSquared) * (1 + kSlack) + kSlack;
    std::vector<std::pair<std::uint32_t, double>> found;
    impl_->tree->radiusSearch(query, radius * radius, found, nanoflann::SearchParams(32, 0, false));
    auto distance = [&](std::uint32_t i) {
        return std::hypot(points[i].x - point.x, points[i].y - point.y);
    };
    std::uint32_t best = first;
    double bestDistance = distance(first);
    for (const auto& [i, squared] : found) {
        const double d = distance(i);
        if (d < bestDistance || (d == bestDistance && positions[i] < positions[best]))
            best = i, bestDistance = d;
    }
    if (!(bestDistance <= reach)) return std::nullopt;
    return positions[best];
}

}  // namespace ondu
