#include "framework/vector_helpers.h"

#include <algorithm>
#include <boost/geometry.hpp>
#include <boost/geometry/index/rtree.hpp>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <tuple>
#include <utility>

#include "framework/channel_model.h"
#include "framework/error_report.h"
#include "framework/geometry/curve.h"
#include "framework/geometry/topology.h"
#include "framework/map_helpers.h"
#include "framework/number_text.h"
#include "framework/ui.h"

namespace ondu::vectorUtil {

namespace {

constexpr long kTypeMismatchNumber = 13;
constexpr long kInvalidUseOfNullNumber = 94;

// ---- chain ordering ------------------------------------------------------------------------
//
// Ordering is defined as a loop over every pair of lines: for each line k in reading order,
// every line j whose last point meets k's first point gets ToLine = k, every line j whose first
// point meets k's last point gets FromLine = k, and k gets -9999 for a side where nothing met
// it; the chain is then walked by one FromLine search per entry. That costs n² comparisons and
// n searches of the layer. Here each line is read once, its links computed in memory (the line
// ends sorted by key and joined: n log n, and sorted arrays stay fast where a hash map of a
// hundred thousand nodes is one cache miss per lookup), stored once, and the walk follows an
// in-memory index, with the same outcome:
//
// - A line's FromLine is written by the iterations of the lines that end at its start, each
//   writing its own identifier; it is set to -9999 (in its own iteration) exactly when no line
//   ends there. So its final value is the identifier of the LAST line in reading order ending at
//   its start, or -9999. ToLine likewise with the lines starting at its end. The ends sorted by
//   key, lines of one key in reading order, give both: the last entry of a key wins.
// - The walk's searches run over the same features, in the same order, as the reading: the
//   selection in selection order, or the whole class in identifier order. So "the first line
//   whose FromLine is x" is the first in reading order, kept in one map built once.

/// A link key as two whole numbers of thousandths read from its three-decimal texts: equal
/// exactly when the texts are, and compared without touching the heap.
struct PackedKey {
    long long x;
    long long y;
    bool operator==(const PackedKey&) const = default;
};

// The host's number for a value too large for its type.
constexpr long kOverflowNumber = 6;

long long thousandths(const std::string& text) {
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') continue;  // the sign and the decimal point
        if (value > (std::numeric_limits<long long>::max() - 9) / 10)
            throw HostError("Overflow: coordinate " + text + " is too large to link",
                            kOverflowNumber);
        value = value * 10 + (c - '0');
    }
    return text.starts_with('-') ? -value : value;
}

PackedKey packedLinkKey(const Point& end) {
    const channel::LinkKey key = channel::linkKey(end);
    return {thousandths(key.x), thousandths(key.y)};
}

/// One line of the processing set, in reading order. The identifier is kept beside the
/// feature: linking and walking look it up for every line, and a chain of many lines is read
/// far apart in memory when followed through the features.
struct ChainLine {
    FeaturePtr feature;  ///< kept only for a caller that wants the features
    long long oid;
    PackedKey start;
    PackedKey end;
    std::optional<double> storedFromLine;  ///< the links as read
    std::optional<double> storedToLine;
    /// For merging only: where the line's vertices (its paths one after another) lie in the
    /// chain's vertex pool, and whether its shape carries Z and M. One pool instead of a
    /// polyline per line keeps a long chain's shapes together in memory.
    std::size_t firstVertex;
    std::size_t vertexCount;
    bool zAware;
    bool mAware;
};

/// What a caller of the ordering keeps of each line. A line's feature is let go as soon as it
/// is read when the caller wants only the shapes: a hundred thousand features held at once
/// spread the work over far more memory than the cache holds.
enum class ChainPart { Features, Shapes };

/// The class indices of the two link fields.
struct LinkFields {
    int fromLine;
    int toLine;
};

LinkFields linkFieldsOf(IFeatureLayer* layer) {
    const IFeatureClass& cls = maputil::featureClassOf(layer);
    return {cls.findField(std::string(channel::kFromLine.name)),
            cls.findField(std::string(channel::kToLine.name))};
}

/// The links a line ends up with.
struct Links {
    long long fromLine = channel::kNoLink;
    long long toLine = channel::kNoLink;
};

void addLinkFieldsWhenMissing(IFeatureLayer* layer) {
    for (const channel::SharedField& field : {channel::kFromLine, channel::kToLine}) {
        const std::string name(field.name);
        if (maputil::featureClassOf(layer).findField(name) < 0)
            maputil::AddField(layer, name, field.type);
    }
}

const Polyline& lineOf(const Geometry& shape, const IFeature& feature) {
    const auto* line = std::get_if<Polyline>(&shape);
    if (!line) {
        throw HostError(
            "Type mismatch: feature " + std::to_string(feature.OID()) + " is not a line",
            kTypeMismatchNumber);
    }
    return *line;
}

/// The lines of the processing set; with ChainPart::Shapes their vertices go to `vertices`.
std::vector<ChainLine> readChainLines(IFeatureLayer* layer, LinkFields fields, ChainPart kept,
                                      std::vector<Point>& vertices) {
    std::vector<ChainLine> lines;
    auto cursor = maputil::GetFeatureCursor(layer);
    while (auto feature = cursor->nextFeature()) {
        const Geometry shape = feature->shape();
        const Polyline& line = lineOf(shape, *feature);
        const std::size_t firstVertex = vertices.size();
        if (kept == ChainPart::Shapes)
            for (const Path& part : line.paths)
                vertices.insert(vertices.end(), part.begin(), part.end());
        ChainLine read{.feature = nullptr,
                       .oid = feature->OID(),
                       .start = packedLinkKey(fromPoint(line)),
                       .end = packedLinkKey(toPoint(line)),
                       .storedFromLine = toDouble(feature->value(fields.fromLine)),
                       .storedToLine = toDouble(feature->value(fields.toLine)),
                       .firstVertex = firstVertex,
                       .vertexCount = vertices.size() - firstVertex,
                       .zAware = line.zAware,
                       .mAware = line.mAware};
        if (kept == ChainPart::Features) read.feature = std::move(feature);
        lines.push_back(std::move(read));
    }
    return lines;
}

/// A line end and the position of its line in reading order.
struct LineEnd {
    PackedKey key;
    std::size_t position;
};

/// The lines' start (or end) points ordered by key, lines of one key in reading order.
std::vector<LineEnd> sortedEnds(const std::vector<ChainLine>& lines, PackedKey ChainLine::*end) {
    std::vector<LineEnd> ends(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) ends[i] = {lines[i].*end, i};
    std::sort(ends.begin(), ends.end(), [](const LineEnd& a, const LineEnd& b) {
        return std::tie(a.key.x, a.key.y, a.position) < std::tie(b.key.x, b.key.y, b.position);
    });
    return ends;
}

/// Gives every line of `queries` the identifier of the last line in reading order among the
/// `targets` of its key, in the `side` of its links; both lists as sortedEnds gives them.
void joinEnds(const std::vector<LineEnd>& queries, const std::vector<LineEnd>& targets,
              const std::vector<ChainLine>& lines, long long Links::*side,
              std::vector<Links>& links) {
    const auto before = [](const PackedKey& a, const PackedKey& b) {
        return std::tie(a.x, a.y) < std::tie(b.x, b.y);
    };
    std::size_t target = 0;
    for (std::size_t query = 0; query < queries.size();) {
        const PackedKey key = queries[query].key;
        while (target < targets.size() && before(targets[target].key, key)) ++target;
        std::size_t groupEnd = target;
        while (groupEnd < targets.size() && targets[groupEnd].key == key) ++groupEnd;
        for (; query < queries.size() && queries[query].key == key; ++query) {
            if (groupEnd > target)
                links[queries[query].position].*side = lines[targets[groupEnd - 1].position].oid;
        }
        target = groupEnd;
    }
}

/// The links the pairwise loop would leave on every line (see the comment above).
std::vector<Links> finalLinks(const std::vector<ChainLine>& lines) {
    const std::vector<LineEnd> starts = sortedEnds(lines, &ChainLine::start);
    const std::vector<LineEnd> ends = sortedEnds(lines, &ChainLine::end);
    std::vector<Links> links(lines.size());
    joinEnds(starts, ends, lines, &Links::fromLine, links);
    joinEnds(ends, starts, lines, &Links::toLine, links);
    return links;
}

bool holdsLink(const std::optional<double>& stored, long long link) {
    return stored && *stored == static_cast<double>(link);
}

/// Writes the links into the lines whose stored links differ, each line stored at most once;
/// a line whose feature was let go is fetched again.
void storeLinks(IFeatureLayer* layer, LinkFields fields, std::vector<ChainLine>& lines,
                const std::vector<Links>& links) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        ChainLine& line = lines[i];
        const bool fromHeld = holdsLink(line.storedFromLine, links[i].fromLine);
        const bool toHeld = holdsLink(line.storedToLine, links[i].toLine);
        if (fromHeld && toHeld) continue;
        FeaturePtr fetched;
        if (!line.feature) {
            fetched = maputil::featureClassOf(layer).getFeature(line.oid);
            if (!fetched) throw maputil::objectNotSet();
        }
        IFeature& feature = line.feature ? *line.feature : *fetched;
        if (!fromHeld) feature.setValue(fields.fromLine, links[i].fromLine);
        if (!toHeld) feature.setValue(fields.toLine, links[i].toLine);
        feature.store();
    }
}

/// A value paired with the position of its line in reading order.
struct AtLine {
    long long value;
    std::size_t position;
    auto operator<=>(const AtLine&) const = default;
};

/// The lines' FromLine values (or identifiers) ordered by value, lines of one value in reading
/// order.
std::vector<AtLine> sortedByValue(const std::vector<ChainLine>& lines,
                                  const std::function<long long(std::size_t)>& valueAt) {
    std::vector<AtLine> sorted(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) sorted[i] = {valueAt(i), i};
    if (!std::is_sorted(sorted.begin(), sorted.end())) std::sort(sorted.begin(), sorted.end());
    return sorted;
}

/// Positions of the lines in chain order, as far as the chain goes: the whole set, or fewer
/// when no line continues it. A line is reached only from the line its FromLine names, so none
/// is reached twice (short of an identifier equal to -9999, which ends the walk).
///
/// The line after line p is the first in reading order whose FromLine is p's identifier. Joining
/// the lines sorted by FromLine with the lines sorted by identifier finds every such successor
/// in one pass over two sorted arrays; the walk then follows one array index per step.
std::vector<std::size_t> walkChain(const std::vector<ChainLine>& lines,
                                   const std::vector<Links>& links) {
    constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
    const std::vector<AtLine> byFromLine =
        sortedByValue(lines, [&](std::size_t i) { return links[i].fromLine; });
    const std::vector<AtLine> byId =
        sortedByValue(lines, [&](std::size_t i) { return lines[i].oid; });
    const auto firstAt = [&](std::size_t at, long long value) {
        return at < byFromLine.size() && byFromLine[at].value == value ? byFromLine[at].position
                                                                       : kNone;
    };
    const std::size_t first =
        firstAt(static_cast<std::size_t>(std::lower_bound(byFromLine.begin(), byFromLine.end(),
                                                          AtLine{channel::kNoLink, 0}) -
                                         byFromLine.begin()),
                channel::kNoLink);
    std::vector<std::size_t> successor(lines.size(), kNone);
    std::size_t at = 0;
    for (const AtLine& line : byId) {
        while (at < byFromLine.size() && byFromLine[at].value < line.value) ++at;
        successor[line.position] = firstAt(at, line.value);
    }

    std::vector<std::size_t> order;
    order.reserve(lines.size());
    std::vector<bool> reached(lines.size());
    for (std::size_t next = first; next != kNone && !reached[next]; next = successor[next]) {
        reached[next] = true;
        order.push_back(next);
    }
    return order;
}

/// "FromLine = -9999": the condition that finds a chain end, as the user reads it too.
std::string chainEndCondition(const channel::SharedField& field) {
    return std::string(field.name) + " = " + std::to_string(channel::kNoLink);
}

/// Shows which end of the chain the layer holds more than once (first lines before last ones);
/// answers whether it did. Counting runs over the whole class, selection or not.
bool reportDuplicateChainEnds(IFeatureLayer* layer) {
    try {
        IFeatureClass& cls = maputil::featureClassOf(layer);
        for (const channel::SharedField& field : {channel::kFromLine, channel::kToLine}) {
            QueryFilter filter;
            filter.whereClause = chainEndCondition(field);
            if (cls.featureCount(&filter) <= 1) continue;
            MsgBox("Error. Check the attribute table for " + layer->name() +
                       ", and fix features with multiple '" + filter.whereClause + "' values",
                   MsgButtons::OK, "Error in sorting features");
            return true;
        }
    } catch (const std::exception&) {
        // The failure that brought us here is the one worth showing.
    }
    return false;
}

/// Numbers compare exactly when both are whole; otherwise as reals.
bool numberGreater(const FieldValue& a, const FieldValue& b) {
    const auto* wholeA = std::get_if<long long>(&a);
    const auto* wholeB = std::get_if<long long>(&b);
    if (wholeA && wholeB) return *wholeA > *wholeB;
    return *toDouble(a) > *toDouble(b);
}

/// Shell sort with the gaps 1, 4, 13, 40, ...: h climbs to the first term above the number of
/// values, and each pass first divides it by three, the last pass running with 1.
template <class T, class Greater>
void shellSort(std::vector<T>& values, Greater greater) {
    const std::size_t n = values.size();
    std::size_t h = 1;
    while (h <= n) h = 3 * h + 1;
    do {
        h /= 3;
        for (std::size_t i = h; i < n; ++i) {
            T held = std::move(values[i]);
            std::size_t j = i;
            while (greater(values[j - h], held)) {
                values[j] = std::move(values[j - h]);
                j -= h;
                if (j < h) break;
            }
            values[j] = std::move(held);
        }
    } while (h > 1);
}

/// The segments of the paths that have any, in a new polyline; nothing (with the message) when
/// no path has a segment.
std::optional<Polyline> polylineOfSegments(const std::vector<Path>& paths, bool zAware,
                                           bool mAware) {
    Polyline line;
    line.zAware = zAware;
    line.mAware = mAware;
    for (const Path& path : paths)
        if (path.size() >= 2) line.paths.push_back(path);
    if (line.paths.empty()) {
        MsgBox("Path has no segments", MsgButtons::OK, "error!");
        return std::nullopt;
    }
    return line;
}

}  // namespace

namespace {

/// The lines of a chain and the order the walk found.
struct OrderedChain {
    std::vector<ChainLine> lines;    ///< in reading order
    std::vector<Point> vertices;     ///< the lines' vertices when their shapes are kept
    std::vector<std::size_t> order;  ///< positions in `lines`, in chain order
    bool walked = false;             ///< whether the walk ran; a complete chain holds every line
    bool complete() const { return order.size() == lines.size(); }
};

/// OrderFromTo's work and reports. On failure before the walk nothing is ordered; when the walk
/// stops early, `order` holds the lines reached so far.
OrderedChain orderChain(IFeatureLayer* layer, ChainPart kept) {
    OrderedChain chain;
    try {
        addLinkFieldsWhenMissing(layer);
        const LinkFields fields = linkFieldsOf(layer);
        chain.lines = readChainLines(layer, fields, kept, chain.vertices);
        const std::vector<Links> links = finalLinks(chain.lines);
        storeLinks(layer, fields, chain.lines, links);
        chain.order = walkChain(chain.lines, links);
        chain.walked = true;
        if (!chain.complete()) reportDuplicateChainEnds(layer);
    } catch (const std::exception& e) {
        if (!reportDuplicateChainEnds(layer)) reportError("OrderFromTo", e);
    }
    return chain;
}

}  // namespace

void OrderFromTo(IFeatureLayer* layer, std::vector<FeaturePtr>& features) {
    features.clear();
    OrderedChain chain = orderChain(layer, ChainPart::Features);
    if (!chain.walked) return;
    features.resize(chain.lines.size());
    for (std::size_t k = 0; k < chain.order.size(); ++k)
        features[k] = std::move(chain.lines[chain.order[k]].feature);
}

Polyline MergeLinesInOrder(IFeatureLayer* layer) {
    const OrderedChain chain = orderChain(layer, ChainPart::Shapes);
    Polyline merged;
    if (!chain.walked || chain.lines.empty()) return merged;
    if (!chain.complete()) throw maputil::objectNotSet();
    merged.zAware = merged.mAware = true;
    for (const ChainLine& line : chain.lines) {
        merged.zAware = merged.zAware && line.zAware;
        merged.mAware = merged.mAware && line.mAware;
    }
    Path path;
    path.reserve(chain.vertices.size());
    for (std::size_t position : chain.order) {
        const auto first =
            chain.vertices.begin() + static_cast<std::ptrdiff_t>(chain.lines[position].firstVertex);
        path.insert(path.end(), first,
                    first + static_cast<std::ptrdiff_t>(chain.lines[position].vertexCount));
    }
    if (!path.empty()) merged.paths.push_back(std::move(path));
    return merged;
}

namespace {

/// The measure that `firstMeasure` finds at the nearest location (nothing when the line has
/// none there), rounded to four decimals; "No MS assigned" and 9999 when it is unset.
template <class FirstMeasure>
double roundedMeasure(FirstMeasure firstMeasure) {
    constexpr double kUnassigned = 9999;
    std::optional<double> measure;
    try {
        const std::optional<double> first = firstMeasure();
        if (!first) return 0;
        measure = parseNumber(fixed(*first, 4));
    } catch (const std::exception&) {
        // A line without vertices has no measure to give either.
    }
    if (measure) return *measure;
    MsgBox("No MS assigned", MsgButtons::OK, "Error");
    return kUnassigned;
}

}  // namespace

double GetMAtPoint(const Point& point, const Polyline& line) {
    if (!line.mAware) return 0;
    return roundedMeasure([&]() -> std::optional<double> {
        const std::vector<double> measures =
            measuresAtDistance(line, nearestLocation(line, point).distanceAlong);
        if (measures.empty()) return std::nullopt;
        return measures.front();
    });
}

double GetMAtPoint(const Point& point, const LineIndex& line) {
    if (line.size() != 1) throw std::invalid_argument("GetMAtPoint needs an index of one line");
    if (!line.line(0).mAware) return 0;
    return roundedMeasure([&]() -> std::optional<double> {
        const auto at = line.nearest(point);
        if (!at) throw std::invalid_argument("the line has no vertex");
        return line.firstMeasureAt(0, at->location.distanceAlong);
    });
}

std::optional<Point> GetIntersectPoint(const Geometry& a, const Geometry& b) {
    std::optional<Point> first;
    try {
        Multipoint meeting = intersectPoints(a, b);
        if (!meeting.points.empty()) first = meeting.points.front();
    } catch (const std::exception&) {
        // Reported below like shapes that do not meet.
    }
    if (!first) MsgBox("Error in finding intersecting point", MsgButtons::OK, "obid");
    return first;
}

std::optional<Polyline> fnConvertPolytonToPolyline(const Geometry& polygon) {
    try {
        if (std::holds_alternative<std::monostate>(polygon)) return Polyline();
        const auto* shape = std::get_if<Polygon>(&polygon);
        if (!shape) throw HostError("Type mismatch", kTypeMismatchNumber);
        Path outline;
        for (const Path& ring : shape->rings) {
            const Path closed = closedRing(ring);
            outline.insert(outline.end(), closed.begin(), closed.end());
        }
        Polyline line;
        line.zAware = shape->zAware;
        line.mAware = shape->mAware;
        if (!outline.empty()) line.paths.push_back(std::move(outline));
        return line;
    } catch (const std::exception& e) {
        const ErrorInfo error = describe(e);
        MsgBox(std::to_string(error.number) + ": " + error.description, MsgButtons::OK,
               " Error in fnConvertPolytonToPolyline");
        return std::nullopt;
    }
}

std::optional<Polyline> PathToPolyline(const Path& path) {
    const bool zAware = !path.empty() && path.front().zAware;
    const bool mAware = !path.empty() && path.front().mAware;
    return polylineOfSegments({path}, zAware, mAware);
}

std::optional<Polyline> PathToPolyline(const Polyline& line) {
    return polylineOfSegments(line.paths, line.zAware, line.mAware);
}

void SetZAware(Geometry& shape) { setZAware(shape, true); }
void SetZAware(Polyline& line) { line.zAware = true; }

Geometry& ClearZAware(Geometry& shape) {
    setZAware(shape, false);
    return shape;
}

Polyline& ClearZAware(Polyline& line) {
    line.zAware = false;
    return line;
}

Polyline MakeZAwarePolyline(const Polyline& line) {
    Polyline copy = line;
    for (Path& path : copy.paths)
        for (Point& vertex : path) vertex.zAware = true;
    copy.zAware = true;
    return copy;
}

bool GreaterThan(const FieldValue& a, const FieldValue& b) {
    if (isNull(a) || isNull(b)) return false;
    const auto* textA = std::get_if<std::string>(&a);
    const auto* textB = std::get_if<std::string>(&b);
    if (textA && textB) return *textA > *textB;
    if (textA || textB) return textA != nullptr;  // any text lies above any number
    return numberGreater(a, b);
}

void ShellSort(std::vector<FieldValue>& values) { shellSort(values, GreaterThan); }

void ShellSortDouble(std::vector<double>& values) { shellSort(values, std::greater<double>()); }

void ConvertToDoubleArray(const std::vector<FieldValue>& values, std::vector<double>& doubles) {
    doubles.resize(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (isNull(values[i])) throw HostError("Invalid use of Null", kInvalidUseOfNullNumber);
        const auto number = toDouble(values[i]);
        if (!number) throw HostError("Type mismatch", kTypeMismatchNumber);
        doubles[i] = *number;
    }
}

double GetPointDistance(const Point& a, const Point& b) { return std::hypot(b.x - a.x, b.y - a.y); }

void SortVerticesByM(Path& points) {
    // A run of equal measures comes out reversed: sorting by reading order descending among
    // equals gives the exchange sort's result without its n² comparisons.
    std::vector<std::size_t> order(points.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return points[a].m < points[b].m || (points[a].m == points[b].m && a > b);
    });
    Path sorted;
    sorted.reserve(points.size());
    for (std::size_t i : order) sorted.push_back(points[i]);
    points = std::move(sorted);
}

MeasureWindowIndex::MeasureWindowIndex(std::vector<std::pair<double, long long>> measureIds)
    : entries_(std::move(measureIds)) {
    std::sort(entries_.begin(), entries_.end());
    const std::size_t n = entries_.size();
    minIds_.emplace_back(n);
    for (std::size_t i = 0; i < n; ++i) minIds_[0][i] = entries_[i].second;
    for (std::size_t span = 2; span <= n; span *= 2) {
        const auto& half = minIds_.back();
        std::vector<long long> level(n - span + 1);
        for (std::size_t i = 0; i + span <= n; ++i)
            level[i] = std::min(half[i], half[i + span / 2]);
        minIds_.push_back(std::move(level));
    }
}

std::optional<long long> MeasureWindowIndex::firstBetween(double lower, double upper) const {
    auto byMeasure = [](const auto& e, double v) { return e.first < v; };
    auto first = std::upper_bound(entries_.begin(), entries_.end(), lower,
                                  [](double v, const auto& e) { return v < e.first; });
    auto last = std::lower_bound(entries_.begin(), entries_.end(), upper, byMeasure);
    if (first >= last) return std::nullopt;
    const std::size_t from = static_cast<std::size_t>(first - entries_.begin());
    const std::size_t count = static_cast<std::size_t>(last - first);
    std::size_t level = 0;
    while ((std::size_t{2} << level) <= count) ++level;
    return std::min(minIds_[level][from], minIds_[level][from + count - (std::size_t{1} << level)]);
}

std::optional<Polyline> ConstructOffset(const Polyline& line, double distance) {
    if (line.isEmpty()) return std::nullopt;
    try {
        return offsetCurve(line, distance);
    } catch (const std::exception& e) {
        const ErrorInfo error = describe(e);
        MsgBox(std::to_string(error.number) + ": " + error.description, MsgButtons::OK,
               "ConstructOffset");
        return std::nullopt;
    }
}

namespace {

namespace bg = boost::geometry;
namespace bgi = boost::geometry::index;
using BoxPoint = bg::model::point<double, 2, bg::cs::cartesian>;
using Box = bg::model::box<BoxPoint>;

Box boxOf(const Point& a, const Point& b) {
    return {{std::min(a.x, b.x), std::min(a.y, b.y)}, {std::max(a.x, b.x), std::max(a.y, b.y)}};
}

/// The box of every vertex of the line.
Box boxOf(const Polyline& line) {
    Box box = bg::make_inverse<Box>();
    for (const Path& path : line.paths)
        for (const Point& p : path) bg::expand(box, BoxPoint(p.x, p.y));
    return box;
}

/// Calls `each(path, vertex)` for every segment of the line, in order.
template <class Each>
void forEachSegment(const Polyline& line, Each each) {
    for (std::size_t p = 0; p < line.paths.size(); ++p)
        for (std::size_t v = 0; v + 1 < line.paths[p].size(); ++v) each(p, v);
}

}  // namespace

struct SegmentIndex::Tree {
    bgi::rtree<std::pair<Box, std::size_t>, bgi::rstar<16>> rtree;
};

SegmentIndex::SegmentIndex(std::vector<Polyline> lines) : lines_(std::move(lines)) {
    std::vector<std::pair<Box, std::size_t>> boxes;
    for (std::size_t l = 0; l < lines_.size(); ++l) {
        forEachSegment(lines_[l], [&](std::size_t p, std::size_t v) {
            const Path& path = lines_[l].paths[p];
            boxes.emplace_back(boxOf(path[v], path[v + 1]), segments_.size());
            segments_.push_back({l, p, v});
        });
    }
    // Packed in one go: n log n, and a better tree than one built by insertion.
    tree_ = std::make_unique<Tree>(Tree{{boxes.begin(), boxes.end()}});
}

SegmentIndex::~SegmentIndex() = default;

Polyline SegmentIndex::pieceOf(const Polyline& line, const std::vector<SegmentRef>& segments,
                               const std::vector<std::size_t>& ids) const {
    Polyline piece;
    piece.zAware = line.zAware;
    piece.mAware = line.mAware;
    for (std::size_t id : ids) {
        const Path& path = line.paths[segments[id].path];
        piece.paths.push_back({path[segments[id].vertex], path[segments[id].vertex + 1]});
    }
    return piece;
}

template <class Skip, class Met>
void SegmentIndex::forEachMeeting(const Polyline& query, Skip skip, Met met) const {
    // A cross-section's whole box holds a few indexed segments: one search, then each segment of
    // the query tested against those whose boxes overlap its own. A query whose box holds many
    // (a long diagonal line) is searched segment by segment instead.
    constexpr std::size_t kFewNear = 32;
    std::vector<std::pair<Box, std::size_t>> near, hits;
    tree_->rtree.query(bgi::intersects(boxOf(query)), std::back_inserter(near));
    const bool searchEachSegment = near.size() > kFewNear;
    forEachSegment(query, [&](std::size_t p, std::size_t v) {
        const Point& a = query.paths[p][v];
        const Point& b = query.paths[p][v + 1];
        const Box box = boxOf(a, b);
        hits.clear();
        if (searchEachSegment)
            tree_->rtree.query(bgi::intersects(box), std::back_inserter(hits));
        else
            std::copy_if(near.begin(), near.end(), std::back_inserter(hits),
                         [&](const auto& hit) { return bg::intersects(hit.first, box); });
        for (const auto& hit : hits) {
            const SegmentRef& s = segments_[hit.second];
            if (skip(s.line)) continue;
            const Path& path = lines_[s.line].paths[s.path];
            if (segmentsMeet(a, b, path[s.vertex], path[s.vertex + 1])) met(s.line);
        }
    });
}

std::optional<std::size_t> SegmentIndex::firstMet(const Polyline& query) const {
    std::optional<std::size_t> first;
    forEachMeeting(
        query, [&](std::size_t line) { return first && line >= *first; },
        [&](std::size_t line) { first = line; });
    return first;
}

std::vector<std::size_t> SegmentIndex::linesMet(const Polyline& query) const {
    // A query meets few lines: a linear look-up beats any set.
    std::vector<std::size_t> met;
    forEachMeeting(
        query,
        [&](std::size_t line) { return std::find(met.begin(), met.end(), line) != met.end(); },
        [&](std::size_t line) { met.push_back(line); });
    std::sort(met.begin(), met.end());
    return met;
}

std::vector<LineMeeting> SegmentIndex::meetings(const Polyline& query, std::size_t limit) const {
    // Per indexed line, the segments of each side whose boxes overlap; numbers grow along
    // each line, so sorted they keep its order.
    struct Near {
        std::vector<std::size_t> own, query;
    };
    std::vector<SegmentRef> querySegments;
    std::map<std::size_t, Near> near;
    std::vector<std::pair<Box, std::size_t>> hits;
    forEachSegment(query, [&](std::size_t p, std::size_t v) {
        const std::size_t q = querySegments.size();
        querySegments.push_back({0, p, v});
        hits.clear();
        tree_->rtree.query(bgi::intersects(boxOf(query.paths[p][v], query.paths[p][v + 1])),
                           std::back_inserter(hits));
        for (const auto& hit : hits) {
            Near& entry = near[segments_[hit.second].line];
            entry.own.push_back(hit.second);
            if (entry.query.empty() || entry.query.back() != q) entry.query.push_back(q);
        }
    });
    std::vector<LineMeeting> found;
    for (auto& [line, entry] : near) {
        if (found.size() >= limit) break;
        std::sort(entry.own.begin(), entry.own.end());
        entry.own.erase(std::unique(entry.own.begin(), entry.own.end()), entry.own.end());
        Polyline piece = pieceOf(lines_[line], segments_, entry.own);
        // The query's nearby segments in its own order: the meeting points come ordered along
        // the query as they would along the whole of it.
        const Multipoint meeting =
            intersectPoints(pieceOf(query, querySegments, entry.query), piece);
        if (meeting.points.empty()) continue;
        found.push_back({line, meeting.points.front(), std::move(piece), meeting.points});
    }
    return found;
}

}  // namespace ondu::vectorUtil
