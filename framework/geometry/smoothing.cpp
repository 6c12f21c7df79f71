#include "framework/geometry/smoothing.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

namespace ondu {

namespace {

constexpr double kFlatness = 1e-3;  ///< allowed piece deviation, as a fraction of the span length
constexpr int kMaxPiecesPerSpan = 64;

struct XY {
    double x = 0;
    double y = 0;
};

XY xyOf(const Point& p) { return {p.x, p.y}; }
XY operator+(XY a, XY b) { return {a.x + b.x, a.y + b.y}; }
XY operator-(XY a, XY b) { return {a.x - b.x, a.y - b.y}; }
XY operator*(double k, XY a) { return {k * a.x, k * a.y}; }
double distance(XY a, XY b) {
    const XY d = b - a;
    return std::sqrt(d.x * d.x + d.y * d.y);
}

bool sameXY(const Point& a, const Point& b) { return a.x == b.x && a.y == b.y; }

/// Squared distance from p to the segment a-b (to a when the segment has no length).
double squaredDistanceToSegment(XY p, XY a, XY b) {
    const XY ab = b - a;
    const double len2 = ab.x * ab.x + ab.y * ab.y;
    const double t =
        len2 == 0 ? 0 : std::clamp(((p.x - a.x) * ab.x + (p.y - a.y) * ab.y) / len2, 0.0, 1.0);
    const XY off = p - (a + t * ab);
    return off.x * off.x + off.y * off.y;
}

void keepFarthest(const Path& path, std::size_t first, std::size_t last, double tolerance,
                  std::vector<bool>& keep) {
    if (last <= first + 1) return;
    double farthest2 = -1;
    std::size_t index = first;
    for (std::size_t i = first + 1; i < last; ++i) {
        const double d2 =
            squaredDistanceToSegment(xyOf(path[i]), xyOf(path[first]), xyOf(path[last]));
        if (d2 > farthest2) {
            farthest2 = d2;
            index = i;
        }
    }
    if (farthest2 <= tolerance * tolerance) return;
    keep[index] = true;
    keepFarthest(path, first, index, tolerance, keep);
    keepFarthest(path, index, last, tolerance, keep);
}

/// Douglas-Peucker: the vertices that keep the path within `tolerance` of the original.
Path simplified(const Path& path, double tolerance) {
    if (path.size() < 3) return path;
    std::vector<bool> keep(path.size(), false);
    keep.front() = keep.back() = true;
    keepFarthest(path, 0, path.size() - 1, tolerance, keep);
    Path out;
    for (std::size_t i = 0; i < path.size(); ++i)
        if (keep[i]) out.push_back(path[i]);
    return out;
}

/// One span of a centripetal Catmull-Rom spline, from p1 to p2 with neighbours p0 and p3, over
/// knots spaced by the square root of the chords. The span is a cubic: it is kept in Hermite
/// form (ends and the tangents the knots give them), so that a point costs a few multiplications.
class Span {
public:
    Span(XY p0, XY p1, XY p2, XY p3) : p1_(p1), p2_(p2) {
        const double t01 = std::sqrt(distance(p0, p1));
        const double t12 = std::sqrt(distance(p1, p2));
        const double t23 = std::sqrt(distance(p2, p3));
        const XY chord = (1 / t12) * (p2 - p1);
        m1_ = t12 * ((1 / t01) * (p1 - p0) - (1 / (t01 + t12)) * (p2 - p0) + chord);
        m2_ = t12 * (chord - (1 / (t12 + t23)) * (p3 - p1) + (1 / t23) * (p3 - p2));
    }

    /// The point a fraction u of the way through the span's parameter range.
    XY at(double u) const {
        const double u2 = u * u, u3 = u2 * u;
        return (2 * u3 - 3 * u2 + 1) * p1_ + (u3 - 2 * u2 + u) * m1_ + (3 * u2 - 2 * u3) * p2_ +
               (u3 - u2) * m2_;
    }

private:
    XY p1_, p2_, m1_{}, m2_{};
};

/// The inner points of a span: at most kMaxPiecesPerSpan - 1 of them.
struct InnerPoints {
    std::array<XY, kMaxPiecesPerSpan - 1> points;
    int count = 0;
};

/// The inner points of the span for the fewest pieces (doubling) that follow it closely enough.
void findInnerPoints(const Span& span, double spanLength, InnerPoints& inner) {
    const double allowed2 = (kFlatness * spanLength) * (kFlatness * spanLength);
    for (int n = 1;; n *= 2) {
        inner.count = 0;
        double worst2 = 0;
        XY previous = span.at(0);
        for (int k = 1; k <= n; ++k) {
            const XY next = k == n ? span.at(1) : span.at(static_cast<double>(k) / n);
            // Three probes: an S-shaped piece crosses its chord in the middle.
            for (double probe : {0.25, 0.5, 0.75})
                worst2 = std::max(
                    worst2, squaredDistanceToSegment(span.at((k - 1 + probe) / n), previous, next));
            if (k < n) inner.points[inner.count++] = next;
            previous = next;
        }
        if (worst2 <= allowed2 || n >= kMaxPiecesPerSpan) return;
    }
}

/// The vertices of a path with runs of repeated X and Y collapsed, as index ranges: run r covers
/// vertices runs[r] .. runs[r + 1] - 1.
std::vector<std::size_t> runStarts(const Path& path) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < path.size(); ++i)
        if (i == 0 || !sameXY(path[i - 1], path[i])) starts.push_back(i);
    return starts;
}

Point withXY(Point p, XY xy) {
    p.x = xy.x;
    p.y = xy.y;
    return p;
}

/// Appends the smoothed span from vertex a to vertex b: inner points with Z and M interpolated
/// by the distance travelled along the span.
void appendSpan(const Span& span, const Point& a, const Point& b, Path& out) {
    InnerPoints inner;
    findInnerPoints(span, distance(xyOf(a), xyOf(b)), inner);
    if (inner.count == 0) return;
    std::array<double, kMaxPiecesPerSpan> along;
    XY previous = xyOf(a);
    double travelled = 0;
    for (int i = 0; i < inner.count; ++i) {
        travelled += distance(previous, inner.points[i]);
        along[i] = travelled;
        previous = inner.points[i];
    }
    const double total = travelled + distance(previous, xyOf(b));
    for (int i = 0; i < inner.count; ++i) {
        const double f = along[i] / total;
        Point p = withXY(a, inner.points[i]);
        p.z = std::lerp(a.z, b.z, f);
        p.m = std::lerp(a.m, b.m, f);
        out.push_back(p);
    }
}

Path smoothPath(const Path& path) {
    const std::vector<std::size_t> runs = runStarts(path);
    const std::size_t n = runs.size();
    if (n < 3) return path;
    // Representative of run r; a closed path's first and last runs are the same place.
    const bool closed = sameXY(path.front(), path.back()) && n > 3;
    auto at = [&](std::size_t r) { return xyOf(path[runs[r]]); };
    auto before = [&](std::size_t r) {
        if (r > 0) return at(r - 1);
        return closed ? at(n - 2) : 2.0 * at(0) - at(1);
    };
    auto after = [&](std::size_t r) {
        if (r + 1 < n) return at(r + 1);
        return closed ? at(1) : 2.0 * at(n - 1) - at(n - 2);
    };

    Path out;
    out.reserve(path.size());  // every vertex stays; curved spans add more
    for (std::size_t r = 0; r < n; ++r) {
        const std::size_t end = r + 1 < n ? runs[r + 1] : path.size();
        out.insert(out.end(), path.begin() + runs[r], path.begin() + end);
        if (r + 1 == n) break;
        const Span span(before(r), at(r), at(r + 1), after(r + 1));
        appendSpan(span, path[end - 1], path[end], out);
    }
    return out;
}

}  // namespace

Polyline smooth(const Polyline& line, double maxAllowableOffset) {
    if (!std::isfinite(maxAllowableOffset) || maxAllowableOffset < 0)
        throw std::invalid_argument("the maximum allowable offset must not be negative");
    Polyline out;
    out.zAware = line.zAware;
    out.mAware = line.mAware;
    out.paths.reserve(line.paths.size());
    for (const Path& path : line.paths)
        out.paths.push_back(maxAllowableOffset > 0
                                ? smoothPath(simplified(path, maxAllowableOffset))
                                : smoothPath(path));
    return out;
}

}  // namespace ondu
