#include "framework/vector_helpers.h"

#include <algorithm>
#include <boost/geometry.hpp>
#include <boost/geometry/index/rtree.hpp>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <unordered_map>
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
// n searches of the layer. Here each line is read once, its links computed in memory (hash maps:
// linear time), stored once, and the walk follows an in-memory map, with the same outcome:
//
// - A line's FromLine is written by the iterations of the lines that end at its start, each
//   writing its own identifier; it is set to -9999 (in its own iteration) exactly when no line
//   ends there. So its final value is the identifier of the LAST line in reading order ending at
//   its start, or -9999. ToLine likewise with the lines starting at its end. One hash map per
//   side from link key to the last line seen gives both.
// - The walk's searches run over the same features, in the same order, as the reading: the
//   selection in selection order, or the whole class in identifier order. So "the first line
//   whose FromLine is x" is the first in reading order, kept in one map built once.

/// A link key as two whole numbers of thousandths read from its three-decimal texts: equal
/// exactly when the texts are, and hashed and compared without touching the heap.
struct PackedKey {
    long long x;
    long long y;
    bool operator==(const PackedKey&) const = default;
};

struct PackedKeyHash {
    std::size_t operator()(const PackedKey& key) const {
        return std::hash<long long>()(key.x) * 1000003u ^ std::hash<long long>()(key.y);
    }
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

/// One line of the processing set, in reading order.
struct ChainLine {
    FeaturePtr feature;
    PackedKey start;
    PackedKey end;
    Polyline line;  ///< the shape as read, so that merging need not convert it again
};

/// The links a line ends up with.
struct Links {
    long long fromLine = channel::kNoLink;
    long long toLine = channel::kNoLink;
};

/// No line continues the chain: the walk stops there.
struct ChainBroken {};

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

std::vector<ChainLine> readChainLines(IFeatureLayer* layer) {
    std::vector<ChainLine> lines;
    auto cursor = maputil::GetFeatureCursor(layer);
    while (auto feature = cursor->nextFeature()) {
        const Geometry shape = feature->shape();
        Polyline line = lineOf(shape, *feature);
        const PackedKey start = packedLinkKey(fromPoint(line));
        const PackedKey end = packedLinkKey(toPoint(line));
        lines.push_back({std::move(feature), start, end, std::move(line)});
    }
    return lines;
}

/// The links the pairwise loop would leave on every line (see the comment above).
std::vector<Links> finalLinks(const std::vector<ChainLine>& lines) {
    std::unordered_map<PackedKey, long long, PackedKeyHash> lastEndingAt;
    std::unordered_map<PackedKey, long long, PackedKeyHash> lastStartingAt;
    lastEndingAt.reserve(lines.size());
    lastStartingAt.reserve(lines.size());
    for (const ChainLine& line : lines) {
        lastEndingAt.insert_or_assign(line.end, line.feature->OID());
        lastStartingAt.insert_or_assign(line.start, line.feature->OID());
    }
    std::vector<Links> links(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (auto from = lastEndingAt.find(lines[i].start); from != lastEndingAt.end())
            links[i].fromLine = from->second;
        if (auto to = lastStartingAt.find(lines[i].end); to != lastStartingAt.end())
            links[i].toLine = to->second;
    }
    return links;
}

bool holdsLink(const FieldValue& value, long long link) {
    const auto number = toDouble(value);
    return number && *number == static_cast<double>(link);
}

/// Writes the links into the lines whose stored links differ, each line stored at most once.
void storeLinks(std::vector<ChainLine>& lines, const std::vector<Links>& links) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        IFeature& feature = *lines[i].feature;
        const int fromField = feature.findField(std::string(channel::kFromLine.name));
        const int toField = feature.findField(std::string(channel::kToLine.name));
        bool changed = false;
        for (auto [field, link] :
             {std::pair{fromField, links[i].fromLine}, std::pair{toField, links[i].toLine}}) {
            if (holdsLink(feature.value(field), link)) continue;
            feature.setValue(field, link);
            changed = true;
        }
        if (changed) feature.store();
    }
}

/// Fills `features` along the chain. A line is reached only from the line its FromLine names,
/// so none is reached twice (short of an identifier equal to -9999, which ends the walk).
void walkChain(std::vector<ChainLine>& lines, const std::vector<Links>& links,
               std::vector<ChainLine>& ordered) {
    // (FromLine, position) sorted: the first entry of a FromLine value is the first line in
    // reading order that carries it. A sorted array keeps the lookups within a few cache lines.
    std::vector<std::pair<long long, std::size_t>> byFromLine(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) byFromLine[i] = {links[i].fromLine, i};
    std::sort(byFromLine.begin(), byFromLine.end());
    ordered.resize(lines.size());
    long long previous = channel::kNoLink;
    for (ChainLine& entry : ordered) {
        auto next = std::lower_bound(byFromLine.begin(), byFromLine.end(),
                                     std::pair{previous, std::size_t{0}});
        if (next == byFromLine.end() || next->first != previous || !lines[next->second].feature)
            throw ChainBroken{};
        entry = std::move(lines[next->second]);
        previous = entry.feature->OID();
    }
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

/// OrderFromTo's work and reports; the entries keep the shapes as read. On failure the entries
/// reached so far are filled and the rest hold no feature.
std::vector<ChainLine> orderChain(IFeatureLayer* layer) {
    std::vector<ChainLine> ordered;
    try {
        addLinkFieldsWhenMissing(layer);
        std::vector<ChainLine> lines = readChainLines(layer);
        const std::vector<Links> links = finalLinks(lines);
        storeLinks(lines, links);
        walkChain(lines, links, ordered);
    } catch (const ChainBroken&) {
        reportDuplicateChainEnds(layer);
    } catch (const std::exception& e) {
        if (!reportDuplicateChainEnds(layer)) reportError("OrderFromTo", e);
    }
    return ordered;
}

}  // namespace

void OrderFromTo(IFeatureLayer* layer, std::vector<FeaturePtr>& features) {
    features.clear();
    for (ChainLine& entry : orderChain(layer)) features.push_back(std::move(entry.feature));
}

Polyline MergeLinesInOrder(IFeatureLayer* layer) {
    const std::vector<ChainLine> ordered = orderChain(layer);
    Polyline merged;
    if (ordered.empty()) return merged;
    merged.zAware = merged.mAware = true;
    Path path;
    for (const ChainLine& entry : ordered) {
        if (!entry.feature) throw maputil::objectNotSet();
        merged.zAware = merged.zAware && entry.line.zAware;
        merged.mAware = merged.mAware && entry.line.mAware;
        for (const Path& part : entry.line.paths) path.insert(path.end(), part.begin(), part.end());
    }
    if (!path.empty()) merged.paths.push_back(std::move(path));
    return merged;
}

double GetMAtPoint(const Point& point, const Polyline& line) {
    constexpr double kUnassigned = 9999;
    if (!line.mAware) return 0;
    std::optional<double> measure;
    try {
        const std::vector<double> measures =
            measuresAtDistance(line, nearestLocation(line, point).distanceAlong);
        if (measures.empty()) return 0;
        measure = parseNumber(fixed(measures.front(), 4));
    } catch (const std::exception&) {
        // A line without vertices has no measure to give either.
    }
    if (measure) return *measure;
    MsgBox("No MS assigned", MsgButtons::OK, "Error");
    return kUnassigned;
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

namespace {

namespace bg = boost::geometry;
namespace bgi = boost::geometry::index;
using BoxPoint = bg::model::point<double, 2, bg::cs::cartesian>;
using Box = bg::model::box<BoxPoint>;

Box boxOf(const Point& a, const Point& b) {
    return {{std::min(a.x, b.x), std::min(a.y, b.y)}, {std::max(a.x, b.x), std::max(a.y, b.y)}};
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
        found.push_back({line, meeting.points.front(), std::move(piece)});
    }
    return found;
}

}  // namespace ondu::vectorUtil
