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
double distance(XY a, XY b) { return std::hypot(b.x - a.x, b.y - a.y); }

bool sameXY(const Point& a, const Point& b) { return a.x == b.x && a.y == b.y; }

/// Distance from p to the segment a-b (to a when the segment has no length).
double distanceToSegment(XY p, XY a, XY b) {
    const XY ab = b - a;
    const double len2 = ab.x * ab.x + ab.y * ab.y;
    if (len2 == 0) return distance(p, a);
    const double t = std::clamp(((p.x - a.x) * ab.x + (p.y - a.y) * ab.y) / len2, 0.0, 1.0);
    return distance(p, a + t * ab);
}

void keepFarthest(const Path& path, std::size_t first, std::size_t last, double tolerance,
                  std::vector<bool>& keep) {
    if (last <= first + 1) return;
    double farthest = -1;
    std::size_t index = first;
    for (std::size_t i = first + 1; i < last; ++i) {
        const double d = distanceToSegment(xyOf(path[i]), xyOf(path[first]), xyOf(path[last]));
        if (d > farthest) {
            farthest = d;
            index = i;
        }
    }
    if (farthest <= tolerance) return;
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

/// One span of a centripetal Catmull-Rom spline, from p1 to p2 with neighbours p0 and p3,
/// evaluated by the Barry-Goldman pyramid over knots spaced by the square root of the chords.
class Span {
  public:
    Span(XY p0, XY p1, XY p2, XY p3) : p_{p0, p1, p2, p3} {
        t_[0] = 0;
        for (int i = 1; i < 4; ++i) t_[i] = t_[i - 1] + std::sqrt(distance(p_[i - 1], p_[i]));
    }

    /// The point a fraction u of the way through the span's parameter range.
    XY at(double u) const {
        const double t = t_[1] + u * (t_[2] - t_[1]);
        const XY a1 = mix(p_[0], p_[1], t_[0], t_[1], t);
        const XY a2 = mix(p_[1], p_[2], t_[1], t_[2], t);
        const XY a3 = mix(p_[2], p_[3], t_[2], t_[3], t);
        const XY b1 = mix(a1, a2, t_[0], t_[2], t);
        const XY b2 = mix(a2, a3, t_[1], t_[3], t);
        return mix(b1, b2, t_[1], t_[2], t);
    }

  private:
    static XY mix(XY a, XY b, double ta, double tb, double t) {
        return ((tb - t) / (tb - ta)) * a + ((t - ta) / (tb - ta)) * b;
    }

    std::array<XY, 4> p_;
    std::array<double, 4> t_{};
};

/// The inner points of the span for the fewest pieces (doubling) that follow it closely enough.
std::vector<XY> innerPoints(const Span& span, double spanLength) {
    for (int n = 1;; n *= 2) {
        std::vector<XY> points;
        double worst = 0;
        XY previous = span.at(0);
        for (int k = 1; k <= n; ++k) {
            const XY next = k == n ? span.at(1) : span.at(static_cast<double>(k) / n);
            // Three probes: an S-shaped piece crosses its chord in the middle.
            for (double probe : {0.25, 0.5, 0.75})
                worst = std::max(worst,
                                 distanceToSegment(span.at((k - 1 + probe) / n), previous, next));
            if (k < n) points.push_back(next);
            previous = next;
        }
        if (worst <= kFlatness * spanLength || n >= kMaxPiecesPerSpan) return points;
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
    const double chord = distance(xyOf(a), xyOf(b));
    const std::vector<XY> inner = innerPoints(span, chord);
    if (inner.empty()) return;
    std::vector<double> along{0};
    XY previous = xyOf(a);
    for (const XY& p : inner) {
        along.push_back(along.back() + distance(previous, p));
        previous = p;
    }
    const double total = along.back() + distance(previous, xyOf(b));
    for (std::size_t i = 0; i < inner.size(); ++i) {
        const double f = along[i + 1] / total;
        Point p = withXY(a, inner[i]);
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
    Polyline out = line;
    for (Path& path : out.paths) {
        if (maxAllowableOffset > 0) path = simplified(path, maxAllowableOffset);
        path = smoothPath(path);
    }
    return out;
}

}  // namespace ondu
