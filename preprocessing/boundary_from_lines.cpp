#include "preprocessing/boundary_from_lines.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

#include "framework/error_report.h"
#include "framework/geometry/curve.h"
#include "framework/geometry/topology.h"
#include "framework/map_helpers.h"
#include "framework/shared_state.h"
#include "framework/ui.h"
#include "framework/vector_helpers.h"

namespace ondu {

namespace {

/// The centerline layer read once: every segment by object id, and the search by measure.
struct Segments {
    std::unordered_map<long long, FeaturePtr> byId;
    vectorUtil::MeasureWindowIndex window;
};

class BoundaryRun {
public:
    BoundaryRun(const BoundaryFromLinesOptions& options, IDocument& map)
        : centerline_(maputil::RequireLayer(&map, options.centerline, "centerline")),
          boundary_(maputil::RequireLayer(&map, options.boundary, "boundary")),
          cls_(maputil::featureClassOf(centerline_)) {
        maputil::RefuseSameLayer(boundary_, "boundary", centerline_, "centerline");
        count_ = maputil::RequireFeaturesToProcess(centerline_);
        width_ = maputil::RequireField(cls_, options.widthField);
        measure_ = maputil::RequireField(cls_, options.measureField);
    }

    long count() const { return count_; }

    /// The processing set's measures, ascending.
    std::vector<double> sortedMeasures() {
        std::vector<double> measures;
        auto cursor = maputil::GetFeatureCursor(centerline_);
        while (auto segment = cursor->nextFeature()) {
            where_ = segment->OID();
            measures.push_back(maputil::RequireNumber(*segment, measure_, cls_));
        }
        vectorUtil::ShellSortDouble(measures);
        return measures;
    }

    Segments readWholeLayer() {
        std::unordered_map<long long, FeaturePtr> byId;
        std::vector<std::pair<double, long long>> measureIds;
        auto cursor = cls_.search(nullptr);
        while (auto segment = cursor->nextFeature()) {
            // A segment without a measure is never found by a search on it.
            if (auto m = toDouble(segment->value(measure_)))
                measureIds.emplace_back(*m, segment->OID());
            byId.emplace(segment->OID(), std::move(segment));
        }
        return {std::move(byId), vectorUtil::MeasureWindowIndex(std::move(measureIds))};
    }

    /// The vertices of the offset of the segment found for measure `m`, by half its width to
    /// the side `side` (+1 right, -1 left).
    Path bank(const Segments& segments, double m, double side) {
        auto oid = segments.window.firstBetween(m - 0.5, m + 0.5);
        if (!oid) throw maputil::objectNotSet();
        where_ = *oid;
        const IFeature& segment = *segments.byId.at(*oid);
        const double w = maputil::RequireNumber(segment, width_, cls_);
        const Polyline line = maputil::CheckedPolyline(segment, centerline_->name());
        auto offset = vectorUtil::ConstructOffset(line, side * w / 2);
        if (!offset) throw maputil::objectNotSet();
        if (side < 0) *offset = reverseOrientation(*offset);
        return allVertices(*offset);
    }

    void store(const Polygon& polygon) {
        FeaturePtr feature = maputil::featureClassOf(boundary_).createFeature();
        feature->setShape(polygon);
        feature->store();
    }

    /// The segment being read, for the message of a failure.
    long long where() const { return where_; }

private:
    IFeatureLayer* centerline_;
    IFeatureLayer* boundary_;
    IFeatureClass& cls_;
    long count_ = 0;
    int width_ = -1, measure_ = -1;
    long long where_ = -1;
};

/// How many of the last segments of the ring and the first of the next bank piece are searched
/// for a crossing: the overlap of neighbouring offsets reaches no further than the bend's
/// corner.
constexpr std::size_t kJoinReach = 8;

/// Where segment ab crosses segment cd inside both (neither at an end nor along a shared
/// stretch): the fraction of ab there.
std::optional<double> properCrossing(const Point& a, const Point& b, const Point& c,
                                     const Point& d) {
    const double rx = b.x - a.x, ry = b.y - a.y, sx = d.x - c.x, sy = d.y - c.y;
    const double across = rx * sy - ry * sx;
    if (across == 0) return std::nullopt;  // parallel or overlapping
    const double t = ((c.x - a.x) * sy - (c.y - a.y) * sx) / across;
    const double u = ((c.x - a.x) * ry - (c.y - a.y) * rx) / across;
    if (!(t > 0 && t < 1 && u > 0 && u < 1)) return std::nullopt;
    return t;
}

/// Appends the next bank piece to the ring. On the inner side of a bend the offsets of two
/// neighbouring segments overlap: the piece's start crosses back over the ring's last stretch.
/// Both are then cut at the crossing nearest the ring's end, which takes Z and M from the ring,
/// so that the bank runs on without a loop; pieces that only touch or run along each other are
/// appended whole.
void appendJoined(Path& ring, const Path& piece) {
    const std::size_t tail = std::min(ring.size(), kJoinReach + 1);
    const std::size_t head = std::min(piece.size(), kJoinReach + 1);
    for (std::size_t back = 1; back < tail; ++back)
        for (std::size_t j = 0; j + 1 < head; ++j) {
            const std::size_t k = ring.size() - back;  // the ring's segment k-1 to k
            const Point &a = ring[k - 1], &b = ring[k];
            const auto t = properCrossing(a, b, piece[j], piece[j + 1]);
            if (!t) continue;
            const Point crossing = queryPoint(Polyline(Path{a, b}, a.zAware, a.mAware), *t, true);
            ring.resize(k);
            ring.push_back(crossing);
            ring.insert(ring.end(), piece.begin() + static_cast<std::ptrdiff_t>(j + 1),
                        piece.end());
            return;
        }
    ring.insert(ring.end(), piece.begin(), piece.end());
}

}  // namespace

BoundaryResult run(const BoundaryFromLinesOptions& options, IDocument& map,
                   IProgressBar& progress) {
    BoundaryRun boundary(options, map);
    try {
        progress.show("Processing...", 0, 2 * boundary.count(), 1);
        const std::vector<double> measures = boundary.sortedMeasures();
        const Segments segments = boundary.readWholeLayer();
        Path ring;
        for (double m : measures) {
            appendJoined(ring, boundary.bank(segments, m, 1));
            stepOrStop(progress);
        }
        for (auto m = measures.rbegin(); m != measures.rend(); ++m) {
            appendJoined(ring, boundary.bank(segments, *m, -1));
            stepOrStop(progress);
        }
        Polygon polygon;
        polygon.rings.push_back(closedRing(ring));
        boundary.store(polygon);
        progress.hide();
        return {.valid = isValid(polygon)};
    } catch (const RunCancelled&) {
        throw;
    } catch (const std::exception& e) {
        const auto [number, description] = describe(e);
        throw HostError(description + " (segment " + std::to_string(boundary.where()) + ")",
                        number);
    }
}

// ---- dialog ----------------------------------------------------------------------------------

const DialogDecl& frmBoundaryFromLines::declaration() {
    static const DialogDecl decl{
        "frmBoundaryFromLines",
        "Create Boundary From Centerline",
        {
            {.name = "cmbLayer",
             .kind = ControlKind::List,
             .label = "Centerline Layer",
             .frame = "Inputs",
             .defaultValue = "CenterlineSegments",
             .help = "line layer of centerline segments (the selected ones, else all)",
             .source = layersFor(channel::kCenterlineSegments),
             .required = {"No layer selected for input lines"}},
            {.name = "cmbField",
             .kind = ControlKind::List,
             .label = "Width Field",
             .frame = "Inputs",
             .defaultValue = "Width",
             .help = "channel width of each segment (each bank is offset by half)",
             .source = fieldsOf("cmbLayer")},
            {.name = "cmbMeasure",
             .kind = ControlKind::List,
             .label = "Measure Field",
             .frame = "Inputs",
             .defaultValue = "Measure",
             .help = "orders the segments along the channel",
             .source = fieldsOf("cmbLayer")},
            {.name = "cmbBoundary",
             .kind = ControlKind::List,
             .label = "Boundary Layer",
             .frame = "Outputs",
             .defaultValue = "ChannelBoundary",
             .help = "polygon layer receiving the boundary",
             .source = layersFor(channel::kChannelBoundary),
             .required = {"No layer selected for storing boudary"}},
            okButton("create the boundary"),
            cancelButton("close without creating"),
        }};
    return decl;
}

BoundaryFromLinesOptions frmBoundaryFromLines::options() const {
    return {.centerline = text("cmbLayer"),
            .widthField = text("cmbField"),
            .measureField = text("cmbMeasure"),
            .boundary = text("cmbBoundary")};
}

void frmBoundaryFromLines::onOk() {
    BoundaryResult result;
    const bool done = trapped(ErrorStyle::Routine, "boundary from lines (Main)", [&] {
        result = run(options(), currentDocument(), userInterface().statusProgress());
    });
    if (!done) return;
    MsgBox(result.valid ? "Boundary created successfully!"
                        : "Boundary created, but it is not a valid polygon: its outline crosses "
                          "itself where the offsets of neighbouring segments overlap inside a "
                          "bend or a bank folds over on a tight bend.",
           MsgButtons::OK, "Boundary from centerline");
    unload();
}

}  // namespace ondu
