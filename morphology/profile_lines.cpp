#include "morphology/profile_lines.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <span>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "framework/channel_model.h"
#include "framework/error_report.h"
#include "framework/geometry/curve.h"
#include "framework/geometry/smoothing.h"
#include "framework/map_helpers.h"
#include "framework/shared_state.h"
#include "framework/ui.h"
#include "framework/vector_helpers.h"

namespace ondu {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
/// Depths are drawn ten times their size in the section polygon.
constexpr double kExaggeration = 10;
/// The level search starts this far (exaggerated) above the lowest point and rises by a step.
constexpr double kFirstLevel = 2;
constexpr double kLevelStep = 0.05;
/// Hundreds of times the rounding an area sum over a ring can gather, per vertex squared and
/// relative to its largest term (AreaBelowLevel::tolerance).
constexpr double kRoundingAllowance = 1e-12;
/// The steps of one section's search kept room for up front; deeper sections grow them.
constexpr double kStepsKept = 1 << 14;
/// The first stride of the level search: boundaries lie tens of steps apart in most sections.
constexpr std::size_t kFirstGallop = 16;
constexpr long kOutOfMemory = 7;
constexpr long kSubscriptOutOfRange = 9;

const channel::SharedField kProfileID{"ProfileID", FieldType::Integer};
const char* const kDepthRoutine = "dubCreateProfilesByDepth";
const char* const kFlowRoutine = "subCreateProfilesByFlow";
const char* const kInvalidNumber = "Please enter a valid number for number of flow regions";
const char* const kTitle = "Profile lines";

using error_number::kObjectNotSet;

Point zAware(Point p) {
    p.zAware = true;
    return p;
}

/// More points per section than any channel needs, and more than memory holds for long reaches.
constexpr long long kMostSlots = 1000000;

/// The number of steps or regions sizes the arrays of levels and points.
void requireAtLeastOne(long long number) {
    if (number < 1) throw HostError("Subscript out of range", kSubscriptOutOfRange);
    if (number > kMostSlots) throw HostError("Out of memory", kOutOfMemory);
}

/// Points along a line moved sideways, as queryPoint places them (a distance at a vertex belongs
/// to the segment beginning there, segments of no length are passed over, distances beyond the
/// ends are clamped), for many distances: the segments are measured once rather than for every
/// point, which turns a section polygon's cost from quadratic to n log n in its vertices.
class LineWalker {
public:
    explicit LineWalker(const Polyline& line) {
        segments_.reserve(line.vertexCount());
        double along = 0;
        for (const Path& path : line.paths)
            for (std::size_t i = 0; i + 1 < path.size(); ++i) {
                const double len = vectorUtil::GetPointDistance(path[i], path[i + 1]);
                if (len > 0) segments_.push_back({&path[i], &path[i + 1], along, len});
                along += len;
            }
        if (segments_.empty())
            throw HostError("Invalid procedure call or argument: the section has no length",
                            error_number::kInvalidArgument);
    }

    /// The point at `distance` along the line, `offset` to its right (X and Y only).
    Point at(double distance, double offset) const {
        auto it = std::upper_bound(segments_.begin(), segments_.end(), distance,
                                   [](double d, const Segment& s) { return d < s.start; });
        const Segment& s = it == segments_.begin() ? segments_.front() : *std::prev(it);
        const double t = std::clamp((distance - s.start) / s.length, 0.0, 1.0);
        const double ux = (s.b->x - s.a->x) / s.length, uy = (s.b->y - s.a->y) / s.length;
        return Point(std::lerp(s.a->x, s.b->x, t) + offset * uy,
                     std::lerp(s.a->y, s.b->y, t) - offset * ux);
    }

private:
    struct Segment {
        const Point* a;
        const Point* b;
        double start, length;
    };
    std::vector<Segment> segments_;
};

/// The pieces of a line that may hold the location nearest a point, for nearestLocationAmong:
/// every piece whose box lies no farther than the nearest piece end. The true nearest distance is
/// at most that, so every piece at least as near as the nearest one is among them.
class NearPieces {
public:
    explicit NearPieces(const Polyline& line) : pieces_(piecesOf(line)) {
        boxes_.reserve(pieces_.size());
        blocks_.reserve(pieces_.size() / kBlock + 1);
        blockDistances_.reserve(blocks_.capacity());
        for (const CurvePiece& piece : pieces_) {
            const Path& path = line.paths[piece.part];
            const Point& a = path[piece.vertex];
            const Point& b = path.size() > piece.vertex + 1 ? path[piece.vertex + 1] : a;
            boxes_.push_back({std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x),
                              std::max(a.y, b.y), &a, &b});
        }
        for (std::size_t first = 0; first < boxes_.size(); first += kBlock) {
            Box block = boxes_[first];
            for (std::size_t i = first + 1; i < blockEnd(first); ++i) {
                block.xMin = std::min(block.xMin, boxes_[i].xMin);
                block.yMin = std::min(block.yMin, boxes_[i].yMin);
                block.xMax = std::max(block.xMax, boxes_[i].xMax);
                block.yMax = std::max(block.yMax, boxes_[i].yMax);
            }
            blocks_.push_back(block);
        }
    }

    std::span<const CurvePiece> candidates(const Point& p) const {
        // A block of pieces whose box lies farther than the nearest end found so far holds
        // neither a nearer end nor a candidate; starting at the nearest block prunes the most.
        blockDistances_.clear();
        std::size_t nearest = 0;
        for (const Box& block : blocks_) {
            blockDistances_.push_back(squaredDistance(block, p));
            if (blockDistances_.back() < blockDistances_[nearest])
                nearest = blockDistances_.size() - 1;
        }
        double reach = kInfinity;
        const auto nearerEnds = [&](std::size_t block) {
            for (std::size_t i = block * kBlock; i < blockEnd(block * kBlock); ++i) {
                const Box& box = boxes_[i];
                reach = std::min(reach, std::min(squared(p.x - box.a->x, p.y - box.a->y),
                                                 squared(p.x - box.b->x, p.y - box.b->y)));
            }
        };
        nearerEnds(nearest);
        for (std::size_t k = 0; k < blocks_.size(); ++k)
            if (k != nearest && blockDistances_[k] <= reach) nearerEnds(k);
        chosen_.clear();
        for (std::size_t k = 0; k < blocks_.size(); ++k) {
            if (blockDistances_[k] > reach) continue;
            for (std::size_t i = k * kBlock; i < blockEnd(k * kBlock); ++i)
                if (squaredDistance(boxes_[i], p) <= reach) chosen_.push_back(pieces_[i]);
        }
        return chosen_;
    }

private:
    struct Box {
        double xMin, yMin, xMax, yMax;
        const Point* a;
        const Point* b;
    };
    /// Pieces per block: a few blocks for a section of a hundred vertices.
    static constexpr std::size_t kBlock = 8;

    static double squared(double dx, double dy) { return dx * dx + dy * dy; }
    static double squaredDistance(const Box& box, const Point& p) {
        return squared(std::max(std::max(box.xMin - p.x, 0.0), p.x - box.xMax),
                       std::max(std::max(box.yMin - p.y, 0.0), p.y - box.yMax));
    }
    std::size_t blockEnd(std::size_t first) const {
        return std::min(first + kBlock, boxes_.size());
    }

    std::vector<CurvePiece> pieces_;
    std::vector<Box> boxes_;
    std::vector<Box> blocks_;  ///< the boxes of kBlock consecutive pieces each
    mutable std::vector<double> blockDistances_;
    mutable std::vector<CurvePiece> chosen_;
};

// ---- the flow-based level search -------------------------------------------------------------

/// Where the edge from a to b (at different Y) crosses the line Y = level: its X there.
double acrossAt(const Point& a, const Point& b, double level) {
    const double r = (level - a.y) / (b.y - a.y);
    return a.x + r * (b.x - a.x);
}

/// The section polygon seen from its chord, where every level line is a line Y = constant: X
/// runs along the chord from its start, Y across it (positive to the right, where higher ground
/// lies).
class ChordFrame {
public:
    ChordFrame(const Point& start, const Point& end, const Path& ring)
        : origin_(start), unit_(unitChord(start, end)), areas_(toFrame(ring)) {}

    const AreaBelowLevel& areas() const { return areas_; }

    /// Where the line Y = level meets the ring's outline, in order along the line (crossings and
    /// vertices lying on it, each once), in map coordinates; `found` is filled afresh.
    void meetings(double level, std::vector<Point>& found) const {
        const Path& ring = areas_.ring();
        found.clear();
        for (std::size_t i = 0; i + 1 < ring.size(); ++i) {
            const Point &a = ring[i], &b = ring[i + 1];
            if (a.y == level)
                found.push_back(a);
            else if ((a.y < level) != (b.y < level) && b.y != level)
                found.push_back(Point(acrossAt(a, b, level), level));
        }
        std::sort(found.begin(), found.end(),
                  [](const Point& a, const Point& b) { return a.x < b.x; });
        for (Point& p : found) p = toMap(p);
    }

private:
    static Point unitChord(const Point& start, const Point& end) {
        const double dx = end.x - start.x, dy = end.y - start.y, l = std::hypot(dx, dy);
        if (!(l > 0))
            throw HostError(
                "Object variable or With block variable not set: the section's ends "
                "coincide",
                kObjectNotSet);
        return Point(dx / l, dy / l);
    }
    Path toFrame(const Path& ring) const {
        Path frame;
        frame.reserve(ring.size());
        for (const Point& p : ring) {
            const double dx = p.x - origin_.x, dy = p.y - origin_.y;
            frame.push_back(Point(dx * unit_.x + dy * unit_.y, dx * unit_.y - dy * unit_.x));
        }
        return frame;
    }
    Point toMap(const Point& f) const {
        return Point(origin_.x + f.x * unit_.x + f.y * unit_.y,
                     origin_.y + f.x * unit_.y - f.y * unit_.x);
    }

    Point origin_;
    Point unit_;  ///< along the chord
    AreaBelowLevel areas_;
};

/// The levels of one section's search, as the search steps through them: d runs down from
/// 10 x (start elevation - lowest elevation) by 0.05 while it is positive, and the level line
/// lies at 2 - d. Each boundary goes on from where the previous one stopped, and the first step
/// at which the part below exceeds the fraction is found by galloping and bisection: the area
/// below a level never shrinks as it rises, so the answer is the step that stepping stops at.
class LevelSearch {
public:
    LevelSearch(const AreaBelowLevel& areas, double d0) : areas_(areas), next_(d0) {
        // Room for every step of an ordinary section, so that stepping never moves the steps.
        if (d0 > 0) d_.reserve(static_cast<std::size_t>(std::min(d0 / kLevelStep, kStepsKept)) + 2);
    }

    /// The level line (its offset across the chord) for the next boundary; nothing when the
    /// search has no level at all.
    std::optional<double> levelFor(double fraction) {
        if (!has(current_)) return std::nullopt;
        if (!exhausted_) current_ = firstAbove(fraction);
        return kFirstLevel - d_[current_];
    }

private:
    /// Whether step k exists (d still positive there), extending the steps as far as needed.
    bool has(std::size_t k) {
        double d = next_;  // kept in a register: each step waits for the subtraction before it
        while (d_.size() <= k && d > 0) {
            d_.push_back(d);
            d -= kLevelStep;
        }
        next_ = d;
        return k < d_.size();
    }
    bool exceeds(std::size_t k, double fraction) const {
        return areas_.holdsMoreThan(kFirstLevel - d_[k], fraction);
    }
    std::size_t firstAbove(double fraction) {
        std::size_t low = current_;
        if (exceeds(low, fraction)) return low;
        std::size_t width = kFirstGallop;
        for (;;) {  // gallop until a step exceeds the fraction or the steps run out
            std::size_t high = low + width;
            if (!has(high)) {
                high = d_.size() - 1;
                if (high == low || !exceeds(high, fraction)) {
                    exhausted_ = true;
                    return high;
                }
            } else if (!exceeds(high, fraction)) {
                low = high;
                width *= 2;
                continue;
            }
            while (high - low > 1) {  // low fails, high exceeds
                const std::size_t mid = low + (high - low) / 2;
                (exceeds(mid, fraction) ? high : low) = mid;
            }
            return high;
        }
    }

    const AreaBelowLevel& areas_;
    double next_;
    std::vector<double> d_;
    std::size_t current_ = 0;
    bool exhausted_ = false;
};

// ---- the run ---------------------------------------------------------------------------------

/// A cross-section chosen by a measure: the first feature of the layer holding that measure.
struct Section {
    long long oid = 0;
    Polyline shape;
};

/// The cross-sections as the run visits them, in measure order (repeats included).
struct OrderedSections {
    std::vector<const Section*> order;
    std::unordered_map<double, Section> byMeasure;
};

class ProfileRun {
public:
    ProfileRun(const ProfileLinesOptions& options, IDocument& map)
        : options_(options),
          sections_(maputil::RequireLayer(&map, options.crossSections, "cross-section")),
          profiles_(maputil::RequireLayer(&map, options.profileLines, "profile-line")),
          cls_(maputil::featureClassOf(sections_)) {
        if (!maputil::HasZValues(sections_))
            throw RunRefused("The cross-section layer '" + options.crossSections +
                             "' carries no Z values");
        measure_ = maputil::RequireField(cls_, options.measureField);
        maputil::RequireFeaturesToProcess(sections_);
        IFeatureClass& target = maputil::featureClassOf(profiles_);
        if (target.findField(std::string(kProfileID.name)) == -1)
            maputil::AddField(profiles_, std::string(kProfileID.name), kProfileID.type);
        profileId_ = target.findField(std::string(kProfileID.name));
    }

    void run(IProgressBar& progress) {
        const bool byDepth = options_.method == ProfileLinesOptions::Method::Depth;
        try {
            std::vector<double> fractions;
            if (byDepth)
                requireAtLeastOne(options_.number);
            else
                fractions = flowFractions(options_.number);
            const OrderedSections sections = readSections();
            if (!byDepth)
                MsgBox(std::to_string(sections.order.size()), MsgButtons::OK,
                       "Number of cross-sections", MsgIcon::Information);
            progress.show("Processing...", 0, cls_.featureCount(nullptr), 1);
            std::vector<Path> slots;
            std::unordered_map<const Section*, std::size_t> done;
            for (const Section* section : sections.order) {
                currentOid_ = section->oid;
                auto [it, fresh] = done.emplace(section, slots.size());
                if (fresh)
                    slots.push_back(byDepth ? depthSlots(section->shape, options_.number)
                                            : flowSlots(section->shape, fractions));
                order_.push_back(it->second);
                stepOrStop(progress);
            }
            storeProfiles(slots, byDepth);
            progress.hide();
        } catch (const RunRefused&) {
            throw;
        } catch (const RunCancelled&) {
            throw;
        } catch (const std::exception& e) {
            const auto [number, description] = describe(e);
            const std::string where = currentOid_ ? std::to_string(*currentOid_) : "";
            throw HostError(description + (where.empty() ? "" : " (cross-section " + where + ")"),
                            number, byDepth ? kDepthRoutine : kFlowRoutine, where);
        }
    }

private:
    /// The measures of the processing set in cursor order, sorted, each standing for the first
    /// feature of the whole layer that holds it; the layer is read once (twice with a selection).
    OrderedSections readSections() {
        std::vector<double> measures;
        const bool selected = maputil::GetSelectionCount(sections_) > 0;
        if (selected) {
            auto cursor = maputil::GetFeatureCursor(sections_);
            while (auto f = cursor->nextFeature()) {
                currentOid_ = f->OID();
                measures.push_back(maputil::RequireNumber(*f, measure_, cls_));
            }
        }
        const std::unordered_set<double> wanted(measures.begin(), measures.end());
        OrderedSections result;
        auto cursor = cls_.search(nullptr);
        while (auto f = cursor->nextFeature()) {
            currentOid_ = f->OID();
            std::optional<double> m;
            if (selected) {
                m = toDouble(f->value(measure_));
            } else {
                m = maputil::RequireNumber(*f, measure_, cls_);
                measures.push_back(*m);
            }
            if (!m || (selected && !wanted.count(*m)) || result.byMeasure.count(*m)) continue;
            result.byMeasure.emplace(*m, Section{f->OID(), sectionShape(*f)});
        }
        currentOid_.reset();
        vectorUtil::ShellSortDouble(measures);
        for (double m : measures) {
            auto found = result.byMeasure.find(m);
            if (found == result.byMeasure.end()) throw maputil::objectNotSet();
            result.order.push_back(&found->second);
        }
        return result;
    }

    Polyline sectionShape(const IFeature& feature) const {
        Polyline line = maputil::CheckedPolyline(feature, cls_.name());
        for (const Path& path : line.paths)
            for (const Point& p : path)
                if (std::isnan(p.z))
                    throw HostError("Cross-section " + std::to_string(feature.OID()) + " of " +
                                        cls_.name() + " has a vertex without elevation",
                                    error_number::kInvalidUseOfNull);
        return line;
    }

    void storeProfiles(const std::vector<Path>& slots, bool byDepth) {
        currentOid_.reset();
        IFeatureClass& target = maputil::featureClassOf(profiles_);
        const std::size_t slotCount = slots.empty() ? 0 : slots.front().size();
        for (std::size_t k = 0; k < slotCount; ++k) {
            Path path;
            path.reserve(order_.size());
            for (std::size_t i : order_) {
                const Point& p = slots[i][k];
                path.push_back(Point(p.x, p.y, p.z));
            }
            FeaturePtr feature = target.createFeature();
            feature->setShape(smooth(Polyline(std::move(path), true), 0));
            if (byDepth) feature->setValue(profileId_, static_cast<long long>(k));
            feature->store();
        }
    }

    const ProfileLinesOptions& options_;
    IFeatureLayer* sections_;
    IFeatureLayer* profiles_;
    IFeatureClass& cls_;
    int measure_ = -1;
    int profileId_ = -1;
    std::vector<std::size_t> order_;  ///< per visited section, its slots
    std::optional<long long> currentOid_;
};

}  // namespace

Point QueryPt(const Polyline& line, double z, bool up) {
    if (auto met = meetLevel(line, z, up)) return *met;
    return zAware(up ? toPoint(line) : fromPoint(line));
}

double GetHighestPt(const Polyline& line) { return std::min(fromPoint(line).z, toPoint(line).z); }

Polygon BuildSectionPolygon(const Polyline& section) {
    const Point start = fromPoint(section);
    const LineWalker walker(section);
    Path ring;
    ring.reserve(section.vertexCount() + 1);  // and the closing vertex
    for (const Path& path : section.paths)
        for (const Point& v : path)  // at the fraction (distance from the start) / length
            ring.push_back(
                walker.at(vectorUtil::GetPointDistance(start, v), kExaggeration * (v.z - start.z)));
    Polygon polygon;
    polygon.rings.push_back(closedRing(std::move(ring)));
    return polygon;
}

AreaBelowLevel::AreaBelowLevel(Path ring) : ring_(std::move(ring)) {
    // Vertex v of the ring lies between edge v - 1 and edge v (edge i runs from ring_[i] to
    // ring_[i + 1], the last one back to the first vertex).
    const std::size_t vertices = ring_.empty() ? 0 : ring_.size() - 1;
    std::vector<std::pair<double, std::size_t>> byLevel;
    byLevel.reserve(vertices);
    for (std::size_t v = 0; v < vertices; ++v) {
        byLevel.push_back({ring_[v].y, v});
        xMax_ = std::max(xMax_, std::abs(ring_[v].x));
        yMax_ = std::max(yMax_, std::abs(ring_[v].y));
    }
    std::sort(byLevel.begin(), byLevel.end(),
              [](const auto& p, const auto& q) { return p.first < q.first; });
    // Sweep upwards; between two vertex levels the same edges cross every level line, those
    // running up adding their X to the signed width, those running down taking it off.
    struct Crossing {
        double xLow, low, high, slope, side;  ///< slope: X per unit of Y
        double across(double level) const { return side * (xLow + (level - low) * slope); }
    };
    std::vector<Crossing> crossing;
    pieces_.reserve(byLevel.size());
    double area = 0;
    for (std::size_t j = 0; j < byLevel.size();) {
        const double from = byLevel[j].first;
        std::erase_if(crossing, [&](const Crossing& c) { return c.high <= from; });
        for (; j < byLevel.size() && byLevel[j].first == from; ++j) {
            const std::size_t v = byLevel[j].second;
            for (const std::size_t edge : {v == 0 ? vertices - 1 : v - 1, v}) {
                const Point &a = ring_[edge], &b = ring_[edge + 1];
                const Point& other = edge == v ? b : a;
                if (!(other.y > from)) continue;  // flat, or it joined at its lower end
                const Point& lower = edge == v ? a : b;
                crossing.push_back(
                    {lower.x, from, other.y, (b.x - a.x) / (b.y - a.y), b.y > a.y ? 1.0 : -1.0});
            }
        }
        if (j == byLevel.size()) {  // all of the ring lies at or below its top level
            pieces_.push_back({from, area, 0, 0});
            break;
        }
        double width = 0, slope = 0;
        for (const Crossing& c : crossing) {
            width += c.across(from);
            slope += c.side * c.slope;
        }
        pieces_.push_back({from, area, width, slope});
        const double rise = byLevel[j].first - from;
        area += rise * (2 * width + slope * rise);
    }
}

double AreaBelowLevel::operator()(double level) const {
    if (pieces_.empty() || !(level > pieces_.front().level)) return 0;
    if (level >= pieces_.back().level) return pieces_.back().area;
    const auto above = std::upper_bound(pieces_.begin(), pieces_.end(), level,
                                        [](double l, const Piece& p) { return l < p.level; });
    const Piece& piece = *std::prev(above);
    const double t = level - piece.level;
    return piece.area + t * (2 * piece.width + piece.slope * t);
}

double AreaBelowLevel::clipped(double level) const {
    // The clipped ring's shoelace sum, built edge by edge without storing the clipped ring.
    struct Corner {
        double x, y;
    };
    double sum = 0;
    bool started = false;
    Corner first{}, previous{};
    const auto add = [&](Corner q) {
        if (started)
            sum += previous.x * q.y - q.x * previous.y;
        else
            first = q;
        started = true;
        previous = q;
    };
    for (std::size_t i = 0; i + 1 < ring_.size(); ++i) {
        const Point &a = ring_[i], &b = ring_[i + 1];
        if (a.y <= level) add({a.x, a.y});
        if ((a.y < level) != (b.y < level) && a.y != b.y) add({acrossAt(a, b, level), level});
    }
    if (started) sum += previous.x * first.y - first.x * previous.y;
    return sum;
}

double AreaBelowLevel::tolerance(double level) const {
    // Both sums add up to a few terms per vertex, each at most xMax (yMax + |level|) and each
    // rounded; the worst case grows with the square of the vertex count, and this bound keeps a
    // wide margin over it.
    const double n = static_cast<double>(ring_.size());
    return kRoundingAllowance * n * n * xMax_ * (yMax_ + std::abs(level));
}

bool AreaBelowLevel::holdsMoreThan(double level, double fraction) const {
    const double area = (*this)(level), total = pieces_.empty() ? 0 : pieces_.back().area;
    const double totalDoubt = 2 * tolerance(yMax_);
    const double doubt = 2 * tolerance(level) + std::abs(fraction) * totalDoubt;
    if (std::abs(total) > totalDoubt && std::abs(area - fraction * total) > doubt)
        return area / total > fraction;
    return clipped(level) / clipped(kInfinity) > fraction;
}

double GetMsAtPoint(const Polyline& line, const Point& point) {
    if (!line.mAware) throw HostError("Not M Aware", kNotMAware, "GetMsAtPoint");
    const std::vector<double> measures =
        measuresAtDistance(line, nearestLocation(line, point).distanceAlong);
    if (measures.empty()) throw HostError("Not M Aware", kNotMAware, "GetMsAtPoint");
    return measures.front();
}

void SortPointCollection(Path& points) { vectorUtil::SortVerticesByM(points); }

Path depthSlots(const Polyline& section, long long n) {
    requireAtLeastOne(n);
    const double hi = GetHighestPt(section), lo = GetLowestPt(section);
    const double step = (hi - lo) / static_cast<double>(n);
    Path slots(static_cast<std::size_t>(2 * n + 1));
    slots[0] = zAware(fromPoint(section));
    for (long long j = 1; j < n; ++j) {
        const double level = hi - static_cast<double>(j) * step;
        slots[j] = QueryPt(section, level, false);
        slots[2 * n - j] = QueryPt(section, level, true);
    }
    slots[n] = QueryPt(section, lo, false);
    slots[2 * n] = zAware(toPoint(section));
    return slots;
}

std::vector<double> flowFractions(long long n) {
    requireAtLeastOne(n);
    std::vector<double> fractions;
    double f = 0;
    for (long long i = 1; i < n; ++i) fractions.push_back(f += 1.0 / static_cast<double>(n));
    return fractions;
}

Path flowSlots(const Polyline& section, const std::vector<double>& fractions) {
    const Point start = fromPoint(section), end = toPoint(section);
    const double low = GetLowestPt(section);
    const ChordFrame frame(start, end, BuildSectionPolygon(section).rings.front());
    LevelSearch search(frame.areas(), kExaggeration * (start.z - low));
    const NearPieces near(section);
    Path points, meetings;
    points.reserve(2 * fractions.size() + 3);  // two per fraction, the ends and the lowest point
    for (double fraction : fractions) {
        const auto level = search.levelFor(fraction);
        if (!level)
            throw HostError(
                "Object variable or With block variable not set: no level line, the "
                "start point is the lowest point",
                kObjectNotSet);
        frame.meetings(*level, meetings);
        if (meetings.size() < 2)
            throw HostError(
                "Object variable or With block variable not set: the level line "
                "does not cross the section twice",
                kObjectNotSet);
        // Measures run from 0 at the start to the length at the end, by distance along: a point
        // moved onto the section has its distance along as its measure.
        for (std::size_t i = 0; i < 2; ++i) {
            const CurveLocation onSection =
                nearestLocationAmong(section, meetings[i], near.candidates(meetings[i]));
            Point p = zAware(onSection.onCurve);
            p.m = onSection.distanceAlong;
            points.push_back(p);
        }
    }
    Polyline measured = section;
    maputil::SetLineMs(measured, 0, length(section));
    Point first = zAware(start), last = zAware(end);
    first.m = 0;  // the measures set at the ends
    last.m = toPoint(measured).m;
    // GetMsAtPoint on the measured copy, its nearest location found among the near pieces.
    Point lowest = QueryPt(section, low, false);
    const CurveLocation atLowest = nearestLocationAmong(section, lowest, near.candidates(lowest));
    lowest.m = measuresAtDistance(measured, atLowest.distanceAlong).front();
    points.insert(points.end(), {first, last, lowest});
    SortPointCollection(points);
    return points;
}

void run(const ProfileLinesOptions& options, IDocument& map, IProgressBar& progress) {
    ProfileRun(options, map).run(progress);
}

// ---- dialog ----------------------------------------------------------------------------------

const DialogDecl& frmProfileLines::declaration() {
    static const DialogDecl decl{
        "frmProfileLines",
        "Create Profile-lines",
        {
            {.name = "cmbCrossSection",
             .kind = ControlKind::List,
             .label = "Cross-sections",
             .frame = "Input Layers",
             .defaultValue = "CrossSections",
             .help = "3D line layer of cross-sections",
             .source = layersFor(channel::kCrossSections),
             .required = {"No layer selected for cross-sections"}},
            {.name = "cmbMeasure",
             .kind = ControlKind::List,
             .label = "Measure Field",
             .frame = "Input Layers",
             .defaultValue = "Measure",
             .help = "field ordering the cross-sections along the reach",
             .source = fieldsOf("cmbCrossSection")},
            {.name = "cmbProfileLines",
             .kind = ControlKind::List,
             .label = "Profile-lines",
             .frame = "Input Layers",
             .defaultValue = "ProfileLines",
             .help = "3D line layer receiving the profile lines",
             .source = layersFor(channel::kProfileLines),
             .required = {"No layer selected for profile-lines"}},
            {.name = "optDepth",
             .kind = ControlKind::OptionButton,
             .label = "Depth based",
             .frame = "Profile line options",
             .defaultValue = "1",
             .help = "levels at equal depth steps"},
            {.name = "optFlow",
             .kind = ControlKind::OptionButton,
             .label = "Flow based",
             .frame = "Profile line options",
             .defaultValue = "0",
             .help = "levels dividing the section's area equally"},
            {.name = "txtNumber",
             .kind = ControlKind::TextBox,
             .label = "Number of flow regions",
             .frame = "Profile line options",
             .defaultValue = "10",
             .help =
                 "number of depth steps or flow regions: a positive whole number (fractions are "
                 "rounded as typed, halves to even)",
             .type = ValueType::Number,
             .invalid = {kInvalidNumber, kTitle},
             .roundsAsTyped = true},
            okButton("create the profile lines"),
            cancelButton("close without creating"),
        }};
    return decl;
}

ProfileLinesOptions frmProfileLines::options() const {
    return {.crossSections = text("cmbCrossSection"),
            .measureField = text("cmbMeasure"),
            .profileLines = text("cmbProfileLines"),
            .method = checked("optFlow") ? ProfileLinesOptions::Method::Flow
                                         : ProfileLinesOptions::Method::Depth,
            .number = parseWholeNumber(text("txtNumber")).value_or(0)};
}

void frmProfileLines::onOk() {
    if (options().number == 0) {
        MsgBox(kInvalidNumber, MsgButtons::OK, kTitle);
        return;
    }
    if (text("cmbCrossSection") == text("cmbProfileLines") &&
        MsgBox("Profile lines will be saved in the the same feature class as cross-sections. "
               "Please select OK to proceed or CANCEL to go back and change the featurelayer.",
               MsgButtons::OKCancel, kTitle, MsgIcon::Question) == MsgAnswer::Cancel)
        return;
    runThenUnload(ErrorStyle::Routine, "creating profile-lines (Main)", [&] {
        run(options(), currentDocument(), userInterface().statusProgress());
        MsgBox("Profile lines created successfully!", MsgButtons::OK,
               "Profile lines from cross-sections", MsgIcon::Information);
        currentDocument().focusMap().refresh();
    });
}

}  // namespace ondu
