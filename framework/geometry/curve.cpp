#include "framework/geometry/curve.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

namespace ondu {

namespace {

constexpr std::size_t kMaxDensifiedVertices = 10'000'000;
constexpr double kMitreLimit = 10.0;

struct Vec {
    double x = 0;
    double y = 0;
};

Vec between(const Point& a, const Point& b) { return {b.x - a.x, b.y - a.y}; }
double cross(Vec a, Vec b) { return a.x * b.y - a.y * b.x; }
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y; }
double norm(Vec v) { return std::hypot(v.x, v.y); }
Vec unit(Vec v) {
    const double n = norm(v);
    return {v.x / n, v.y / n};
}
/// The right-hand perpendicular of a direction: east turns to south.
Vec rightOf(Vec d) { return {d.y, -d.x}; }

/// One segment of the line: vertex `vertex` to `vertex + 1` of path `part`, starting at distance
/// `start` along the whole line.
struct Segment {
    std::size_t part = 0;
    std::size_t vertex = 0;
    double start = 0;
    double length = 0;
    double end() const { return start + length; }
};

/// Every segment of the line in order, zero-length ones included.
std::vector<Segment> segmentsOf(const Polyline& line) {
    std::vector<Segment> segments;
    double along = 0;
    for (std::size_t p = 0; p < line.paths.size(); ++p) {
        const Path& path = line.paths[p];
        for (std::size_t v = 0; v + 1 < path.size(); ++v) {
            const double len = norm(between(path[v], path[v + 1]));
            segments.push_back({p, v, along, len});
            along += len;
        }
    }
    return segments;
}

const Point& startOf(const Polyline& line, const Segment& s) {
    return line.paths[s.part][s.vertex];
}
const Point& endOf(const Polyline& line, const Segment& s) {
    return line.paths[s.part][s.vertex + 1];
}
Vec directionOf(const Polyline& line, const Segment& s) {
    return unit(between(startOf(line, s), endOf(line, s)));
}

/// The point a fraction t of the way from a to b, carrying Z and M as the line does. std::lerp
/// gives b itself at t = 1, so a point at a vertex equals that vertex.
Point interpolate(const Point& a, const Point& b, double t, bool zAware, bool mAware) {
    Point p(std::lerp(a.x, b.x, t), std::lerp(a.y, b.y, t));
    p.zAware = zAware;
    p.mAware = mAware;
    if (zAware) p.z = std::lerp(a.z, b.z, t);
    if (mAware) p.m = std::lerp(a.m, b.m, t);
    return p;
}

/// A vertex of the line as the line hands it out: with Z and M exactly when the line has them.
Point vertexAsOwned(const Point& v, bool zAware, bool mAware) {
    return interpolate(v, v, 0.0, zAware, mAware);
}

const Point* firstVertex(const Polyline& line) {
    for (const Path& p : line.paths)
        if (!p.empty()) return &p.front();
    return nullptr;
}

void requireFinite(double value, const char* what) {
    if (!std::isfinite(value))
        throw std::invalid_argument(std::string(what) + " is not a finite number");
}

const Point& requireVertex(const Polyline& line) {
    const Point* first = firstVertex(line);
    if (!first) throw std::invalid_argument("the line has no vertex");
    return *first;
}

[[noreturn]] void noDirection() {
    throw std::invalid_argument("a line of zero length has no direction");
}

/// A place on the line: a segment that has a length and the fraction t along it. No segment
/// means a line of zero length, whose only place is its first vertex.
struct Place {
    std::optional<Segment> segment;
    double t = 0;
    double excess = 0;  ///< distance beyond the end it was clamped to (negative before the start)
};

/// Where `distance` along the line falls, by the rule that a vertex belongs to the segment that
/// begins there. Distances beyond the ends are clamped; the clamped amount is kept in `excess`.
Place locate(const std::vector<Segment>& segments, double distance) {
    const Segment* first = nullptr;
    const Segment* last = nullptr;
    for (const Segment& s : segments) {
        if (s.length <= 0) continue;
        if (!first) first = &s;
        last = &s;
        if (distance >= s.start && distance < s.end()) return {s, (distance - s.start) / s.length};
    }
    if (!first) return {};
    if (distance < first->start) return {*first, 0.0, distance - first->start};
    return {*last, 1.0, distance - last->end()};
}

double distanceAlongOf(const Polyline& line, double distance, bool asRatio) {
    requireFinite(distance, "the distance");
    return asRatio ? distance * length(line) : distance;
}

Point pointAt(const Polyline& line, const Place& place) {
    if (!place.segment) return vertexAsOwned(requireVertex(line), line.zAware, line.mAware);
    return interpolate(startOf(line, *place.segment), endOf(line, *place.segment), place.t,
                       line.zAware, line.mAware);
}

Vec directionAt(const Polyline& line, const Place& place) {
    if (!place.segment) noDirection();
    return directionOf(line, *place.segment);
}

Point moved(Point p, Vec direction, double distance) {
    p.x += direction.x * distance;
    p.y += direction.y * distance;
    return p;
}

Polyline twoPointLine(const Polyline& line, const Point& from, const Point& to) {
    return Polyline(Path{from, to}, line.zAware, line.mAware);
}

/// Direction of the nearest segment with a length that ends at (`forward` false) or starts at
/// (`forward` true) vertex v of the path; nothing when the path has none on that side.
std::optional<Vec> directionNextTo(const Path& path, std::size_t v, bool forward) {
    if (forward) {
        for (std::size_t i = v; i + 1 < path.size(); ++i)
            if (norm(between(path[i], path[i + 1])) > 0) return unit(between(path[i], path[i + 1]));
    } else {
        for (std::size_t i = v; i > 0; --i)
            if (norm(between(path[i - 1], path[i])) > 0) return unit(between(path[i - 1], path[i]));
    }
    return std::nullopt;
}

bool strictlyRight(Vec direction, Vec toPoint) { return cross(direction, toPoint) < 0; }

/// Side of a point whose nearest place on the path is vertex v. Around a left bend the right
/// side is the outer region, the union of the two segments' right half-planes; around a right
/// bend it is the inner region, their intersection.
bool rightOfVertex(const Path& path, std::size_t v, const Point& point) {
    const Vec toPoint = between(path[v], point);
    const auto in = directionNextTo(path, v, false);
    const auto out = directionNextTo(path, v, true);
    if (!in && !out) return false;
    if (!in || !out) return strictlyRight(in ? *in : *out, toPoint);
    const bool rightOfIn = strictlyRight(*in, toPoint);
    const bool rightOfOut = strictlyRight(*out, toPoint);
    return cross(*in, *out) > 0 ? (rightOfIn || rightOfOut) : (rightOfIn && rightOfOut);
}

/// A candidate nearest place: vertex `vertex` of path `part` moved a fraction t towards the next.
struct Foot {
    std::size_t part = 0;
    std::size_t vertex = 0;
    double t = 0;
    double along = 0;
    double distance = 0;
};

Foot footOnSegment(const Polyline& line, const Segment& s, const Point& point) {
    const Point& a = startOf(line, s);
    const Vec ab = between(a, endOf(line, s));
    const double len2 = dot(ab, ab);
    double t = len2 > 0 ? std::clamp(dot(between(a, point), ab) / len2, 0.0, 1.0) : 0.0;
    const Point foot = interpolate(a, endOf(line, s), t, false, false);
    return {s.part, s.vertex, t, s.start + t * s.length, norm(between(foot, point))};
}

/// The foot on a piece: its segment's, or the lone vertex of a one-vertex path.
Foot footOnPiece(const Polyline& line, const CurvePiece& piece, const Point& point) {
    const Path& path = line.paths[piece.part];
    if (piece.vertex + 1 >= path.size())
        return {piece.part, piece.vertex, 0, piece.start, norm(between(path[piece.vertex], point))};
    const double len = norm(between(path[piece.vertex], path[piece.vertex + 1]));
    return footOnSegment(line, {piece.part, piece.vertex, piece.start, len}, point);
}

/// The nearest foot among the pieces; equally near feet go to the one first along the line.
Foot nearestFoot(const Polyline& line, const Point& point, std::span<const CurvePiece> pieces) {
    std::optional<Foot> best;
    for (const CurvePiece& piece : pieces) {
        const Foot f = footOnPiece(line, piece, point);
        if (!best || f.distance < best->distance ||
            (f.distance == best->distance && f.along < best->along))
            best = f;
    }
    return *best;
}

bool rightOfFoot(const Polyline& line, const Foot& foot, const Point& point) {
    const Path& path = line.paths[foot.part];
    if (foot.t > 0 && foot.t < 1)
        return strictlyRight(between(path[foot.vertex], path[foot.vertex + 1]),
                             between(path[foot.vertex], point));
    return rightOfVertex(path, foot.t == 0 ? foot.vertex : foot.vertex + 1, point);
}

bool sameMeasure(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

void appendMeasure(std::vector<double>& values, double m) {
    if (values.empty() || !sameMeasure(values.back(), m)) values.push_back(m);
}

Polyline emptyLike(const Polyline& line) {
    Polyline out;
    out.zAware = line.zAware;
    out.mAware = line.mAware;
    return out;
}

/// Equal pieces no longer than the maximum; a segment that is an exact multiple of it (give or
/// take rounding in the division) gets exactly that many.
std::size_t piecesFor(double segmentLength, double maxSegmentLength) {
    const double q = segmentLength / maxSegmentLength;
    return std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil(q - q * 1e-12)));
}

/// The vertex with the X and Y of `place` (and its own Z and M).
Point withXYOf(Point v, const Point& place) {
    v.x = place.x;
    v.y = place.y;
    return v;
}

/// Indices of the path's vertices without those repeating the previous one's X and Y.
std::vector<std::size_t> distinctVertices(const Path& path) {
    std::vector<std::size_t> kept;
    for (std::size_t i = 0; i < path.size(); ++i)
        if (kept.empty() || norm(between(path[kept.back()], path[i])) > 0) kept.push_back(i);
    return kept;
}

/// The offset place(s) for a vertex between segments of directions `in` and `onward`: the mitre
/// point where both offset segments meet, or both their ends where the mitre would reach too far.
void appendCorner(Path& out, const Point& v, Vec in, Vec onward, double distance) {
    const Vec n1 = rightOf(in);
    const Vec n2 = rightOf(onward);
    const double c = dot(n1, n2);
    if (1 + c > 2 / (kMitreLimit * kMitreLimit)) {
        const double k = distance / (1 + c);
        out.push_back(moved(v, {n1.x + n2.x, n1.y + n2.y}, k));
    } else {
        out.push_back(moved(v, n1, distance));
        out.push_back(moved(v, n2, distance));
    }
}

Path offsetPath(const Path& path, double distance) {
    const std::vector<std::size_t> at = distinctVertices(path);
    const std::size_t n = at.size();
    Path out;
    if (n < 2) return out;
    auto dir = [&](std::size_t from, std::size_t to) {
        return unit(between(path[at[from]], path[at[to]]));
    };
    // A closed path's first and last vertex are one corner, between its last and first segment.
    const bool closed = n > 3 && norm(between(path[at[0]], path[at[n - 1]])) == 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Point& v = path[at[i]];
        if (closed && i == 0)
            appendCorner(out, v, dir(n - 2, n - 1), dir(0, 1), distance);
        else if (closed && i + 1 == n)
            out.push_back(withXYOf(v, out.front()));
        else if (i == 0)
            out.push_back(moved(v, rightOf(dir(0, 1)), distance));
        else if (i + 1 == n)
            out.push_back(moved(v, rightOf(dir(n - 2, n - 1)), distance));
        else
            appendCorner(out, v, dir(i - 1, i), dir(i, i + 1), distance);
    }
    return out;
}

}  // namespace

double length(const Polyline& line) {
    double total = 0;
    for (const Path& path : line.paths)
        for (std::size_t v = 0; v + 1 < path.size(); ++v)
            total += norm(between(path[v], path[v + 1]));
    return total;
}

Point fromPoint(const Polyline& line) {
    const Point* first = firstVertex(line);
    return first ? *first : Point{};
}

Point toPoint(const Polyline& line) {
    for (auto p = line.paths.rbegin(); p != line.paths.rend(); ++p)
        if (!p->empty()) return p->back();
    return Point{};
}

Point queryPoint(const Polyline& line, double distance, bool asRatio, double offset,
                 CurveExtension extension) {
    requireVertex(line);
    requireFinite(offset, "the offset");
    const Place place = locate(segmentsOf(line), distanceAlongOf(line, distance, asRatio));
    Point p = pointAt(line, place);
    if (extension == CurveExtension::Tangent && place.excess != 0)
        p = moved(p, directionAt(line, place), place.excess);
    if (offset != 0) p = moved(p, rightOf(directionAt(line, place)), offset);
    return p;
}

CurveWalker::CurveWalker(Polyline line) : line_(std::move(line)) {
    for (const Segment& s : segmentsOf(line_))
        if (s.length > 0) spans_.push_back({s.part, s.vertex, s.start, s.length});
    length_ = ondu::length(line_);
}

Point CurveWalker::pointAt(double distance, double offset) const {
    requireVertex(line_);
    requireFinite(distance, "the distance");
    requireFinite(offset, "the offset");
    Place place;
    if (!spans_.empty()) {
        // The segments with a length follow each other without gaps, so the one holding the
        // distance is the first that ends beyond it.
        auto it = std::upper_bound(spans_.begin(), spans_.end(), distance,
                                   [](double d, const Span& s) { return d < s.start + s.length; });
        if (it == spans_.end()) --it;
        const Segment s{it->part, it->vertex, it->start, it->length};
        const double t = std::clamp((distance - s.start) / s.length, 0.0, 1.0);
        place = {s, t, distance - std::clamp(distance, s.start, s.end())};
    }
    Point p = ondu::pointAt(line_, place);
    if (offset != 0) p = moved(p, rightOf(directionAt(line_, place)), offset);
    return p;
}

Polyline queryNormal(const Polyline& line, double distance, bool asRatio, double normalLength) {
    requireVertex(line);
    requireFinite(normalLength, "the length of the normal");
    const Place place = locate(segmentsOf(line), distanceAlongOf(line, distance, asRatio));
    const Point from = pointAt(line, place);
    return twoPointLine(line, from, moved(from, rightOf(directionAt(line, place)), normalLength));
}

Polyline queryTangent(const Polyline& line, double distance, bool asRatio, double tangentLength) {
    requireVertex(line);
    requireFinite(tangentLength, "the length of the tangent");
    const Place place = locate(segmentsOf(line), distanceAlongOf(line, distance, asRatio));
    const Point from = pointAt(line, place);
    return twoPointLine(line, from, moved(from, directionAt(line, place), tangentLength));
}

CurveLocation nearestLocation(const Polyline& line, const Point& point) {
    requireVertex(line);
    return nearestLocationAmong(line, point, piecesOf(line));
}

std::vector<CurvePiece> piecesOf(const Polyline& line) {
    std::vector<CurvePiece> pieces;
    double along = 0;
    for (std::size_t p = 0; p < line.paths.size(); ++p) {
        const Path& path = line.paths[p];
        if (path.size() == 1) pieces.push_back({p, 0, along});
        for (std::size_t v = 0; v + 1 < path.size(); ++v) {
            pieces.push_back({p, v, along});
            along += norm(between(path[v], path[v + 1]));
        }
    }
    return pieces;
}

double distanceToPiece(const Polyline& line, const CurvePiece& piece, const Point& point) {
    return footOnPiece(line, piece, point).distance;
}

CurveLocation nearestLocationAmong(const Polyline& line, const Point& point,
                                   std::span<const CurvePiece> candidates) {
    if (candidates.empty()) throw std::invalid_argument("no piece of the line to search");
    if (point.isEmpty()) throw std::invalid_argument("the point is empty");
    const Foot foot = nearestFoot(line, point, candidates);
    const Path& path = line.paths[foot.part];
    const Point& a = path[foot.vertex];
    const Point& b = foot.vertex + 1 < path.size() ? path[foot.vertex + 1] : a;
    CurveLocation location;
    location.onCurve = interpolate(a, b, foot.t, line.zAware, line.mAware);
    location.distanceAlong = foot.along;
    location.distanceFrom = foot.distance;
    location.rightSide = foot.distance > 0 && rightOfFoot(line, foot, point);
    return location;
}

std::vector<double> measuresAtDistance(const Polyline& line, double distance, bool asRatio) {
    std::vector<double> values;
    if (!line.mAware || !firstVertex(line)) return values;
    const double d = std::clamp(distanceAlongOf(line, distance, asRatio), 0.0, length(line));
    double along = 0;
    for (const Path& path : line.paths) {
        if (path.size() == 1 && along == d) appendMeasure(values, path[0].m);
        for (std::size_t v = 0; v + 1 < path.size(); ++v) {
            const double len = norm(between(path[v], path[v + 1]));
            if (d >= along && d <= along + len) {
                if (len == 0) {
                    appendMeasure(values, path[v].m);
                    appendMeasure(values, path[v + 1].m);
                } else {
                    appendMeasure(values, std::lerp(path[v].m, path[v + 1].m, (d - along) / len));
                }
            }
            along += len;
        }
    }
    return values;
}

Polyline setMeasuresByDistance(const Polyline& line, double startM, double endM) {
    Polyline out = line;
    out.mAware = true;
    const double total = length(line);
    double along = 0;
    for (Path& path : out.paths) {
        for (std::size_t v = 0; v < path.size(); ++v) {
            if (v > 0) along += norm(between(path[v - 1], path[v]));
            path[v].m = total > 0 ? std::lerp(startM, endM, along / total) : startM;
            path[v].mAware = true;
        }
    }
    // The last vertex gets endM exactly, whatever rounding the running sum collected.
    for (auto p = out.paths.rbegin(); p != out.paths.rend(); ++p)
        if (!p->empty()) {
            p->back().m = endM;
            break;
        }
    return out;
}

Polyline densify(const Polyline& line, double maxSegmentLength) {
    if (!std::isfinite(maxSegmentLength) || maxSegmentLength <= 0)
        throw std::invalid_argument("the maximum segment length must be a positive number");
    std::size_t total = 0;
    for (const Path& path : line.paths) {
        total += path.size();
        for (std::size_t v = 0; v + 1 < path.size(); ++v) {
            total += piecesFor(norm(between(path[v], path[v + 1])), maxSegmentLength) - 1;
            if (total > kMaxDensifiedVertices)
                throw std::invalid_argument("densifying would create more than " +
                                            std::to_string(kMaxDensifiedVertices) + " vertices");
        }
    }
    Polyline out = emptyLike(line);
    for (const Path& path : line.paths) {
        Path dense;
        dense.reserve(path.size());
        for (std::size_t v = 0; v < path.size(); ++v) {
            dense.push_back(path[v]);
            if (v + 1 == path.size()) break;
            const std::size_t n = piecesFor(norm(between(path[v], path[v + 1])), maxSegmentLength);
            for (std::size_t k = 1; k < n; ++k)
                dense.push_back(interpolate(path[v], path[v + 1], static_cast<double>(k) / n,
                                            line.zAware, line.mAware));
        }
        out.paths.push_back(std::move(dense));
    }
    return out;
}

std::pair<Polyline, Polyline> splitAtDistance(const Polyline& line, double distance, bool asRatio) {
    requireVertex(line);
    const Place place = locate(segmentsOf(line), distanceAlongOf(line, distance, asRatio));
    Polyline before = emptyLike(line);
    Polyline after = emptyLike(line);
    if (!place.segment) return {before, line};
    const Segment& s = *place.segment;
    const double along = s.start + place.t * s.length;
    if (along <= 0) return {before, line};
    if (along >= length(line)) return {line, after};
    const Path& path = line.paths[s.part];
    before.paths.assign(line.paths.begin(), line.paths.begin() + s.part);
    after.paths.assign(line.paths.begin() + s.part + 1, line.paths.end());
    Path head(path.begin(), path.begin() + s.vertex + 1);
    Path tail(path.begin() + s.vertex + 1, path.end());
    if (place.t > 0) {
        const Point cut = pointAt(line, place);
        head.push_back(cut);
        tail.insert(tail.begin(), cut);
    } else {
        tail.insert(tail.begin(), head.back());
    }
    // A cut at the first vertex of a path leaves nothing of that path before it.
    if (head.size() > 1) before.paths.push_back(std::move(head));
    after.paths.insert(after.paths.begin(), std::move(tail));
    return {before, after};
}

Polyline insertVertexAtDistance(const Polyline& line, double distance, bool asRatio) {
    requireVertex(line);
    const Place place = locate(segmentsOf(line), distanceAlongOf(line, distance, asRatio));
    if (!place.segment || place.t == 0 || place.t == 1) return line;
    Polyline out = line;
    Path& path = out.paths[place.segment->part];
    path.insert(path.begin() + place.segment->vertex + 1, pointAt(line, place));
    return out;
}

Polyline offsetCurve(const Polyline& line, double distance) {
    requireFinite(distance, "the offset");
    Polyline out = emptyLike(line);
    for (const Path& path : line.paths) {
        Path offset = offsetPath(path, distance);
        if (!offset.empty()) out.paths.push_back(std::move(offset));
    }
    return out;
}

Polyline reverseOrientation(const Polyline& line) {
    Polyline out = line;
    std::reverse(out.paths.begin(), out.paths.end());
    for (Path& path : out.paths) std::reverse(path.begin(), path.end());
    return out;
}

Polyline splitAtDistances(const Polyline& line, const std::vector<double>& distances) {
    for (std::size_t i = 0; i < distances.size(); ++i) {
        requireFinite(distances[i], "a cut distance");
        if (i > 0 && distances[i] < distances[i - 1])
            throw std::invalid_argument("the cut distances are not ascending");
    }
    Polyline out = emptyLike(line);
    std::size_t next = 0;
    double along = 0;
    for (const Path& path : line.paths) {
        if (path.size() < 2) {
            out.paths.push_back(path);
            continue;
        }
        Path piece{path.front()};
        for (std::size_t v = 0; v + 1 < path.size(); ++v) {
            const Point& a = path[v];
            const Point& b = path[v + 1];
            const double len = norm(between(a, b));
            // Cuts within a rounding error of a vertex cut at the vertex, so that distances
            // summed along the line leave no slivers.
            const double tolerance = 1e-9 * len;
            for (; len > 0 && next < distances.size() && distances[next] <= along + tolerance;
                 ++next)
                if (piece.size() > 1) {
                    out.paths.push_back(std::move(piece));
                    piece = Path{a};
                }
            for (; len > 0 && next < distances.size() && distances[next] < along + len - tolerance;
                 ++next) {
                if (next > 0 && distances[next] == distances[next - 1]) continue;
                const Point cut =
                    interpolate(a, b, (distances[next] - along) / len, line.zAware, line.mAware);
                piece.push_back(cut);
                out.paths.push_back(std::move(piece));
                piece = Path{cut};
            }
            piece.push_back(b);
            along += len;
        }
        out.paths.push_back(std::move(piece));
    }
    return out;
}

double GetLowestPt(const Polyline& line) {
    double lowest = std::numeric_limits<double>::infinity();
    for (const Path& path : line.paths)
        for (const Point& p : path) lowest = std::min(lowest, p.z);
    return lowest;
}

std::optional<Point> meetLevel(const Polyline& line, double z, bool climbing) {
    constexpr double kLevelTolerance = 0.001;
    const auto passes = [&](double za, double zb) {
        if (climbing) return za - kLevelTolerance < z && zb + kLevelTolerance > z;
        return za + kLevelTolerance > z && zb - kLevelTolerance < z;
    };
    const auto zAware = [](Point p) {
        p.zAware = true;
        return p;
    };
    for (const Path& path : line.paths)
        for (std::size_t i = 0; i + 1 < path.size(); ++i) {
            const Point &a = path[i], &b = path[i + 1];
            if (a.z == z) return zAware(a);
            if (b.z == z) return zAware(b);
            if (!passes(a.z, b.z)) continue;
            // Within the tolerance a segment may stop just short of z: its nearer end then.
            const double r = a.z == b.z ? 0 : std::clamp((a.z - z) / (a.z - b.z), 0.0, 1.0);
            Point p(a.x + r * (b.x - a.x), a.y + r * (b.y - a.y), a.z + r * (b.z - a.z));
            if (!std::isnan(a.m) || !std::isnan(b.m)) {
                p.m = a.m + r * (b.m - a.m);
                p.mAware = true;
            }
            return zAware(p);
        }
    return std::nullopt;
}

}  // namespace ondu
