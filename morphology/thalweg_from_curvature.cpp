#include "morphology/thalweg_from_curvature.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "framework/channel_model.h"
#include "framework/error_report.h"
#include "framework/geometry/circle.h"
#include "framework/geometry/curve.h"
#include "framework/geometry/smoothing.h"
#include "framework/map_helpers.h"
#include "framework/number_text.h"
#include "framework/shared_state.h"
#include "framework/ui.h"
#include "framework/vector_helpers.h"

namespace ondu {

namespace {

/// Radius given to a straight segment: above the upper bound of every sinuosity class.
constexpr double kStraightRadius = 50000;

// The fields the tool keeps on every centerline segment, with the types they are created with.
const channel::SharedField kIsRight{"IsRight", FieldType::SmallInteger};
const channel::SharedField kRCurvature{"rCurvature", FieldType::Double};
const channel::SharedField kThaLocation{"ThaLocation", FieldType::Double};
const channel::SharedField kUpstream{"Upstream", FieldType::Double};
const channel::SharedField kDownstream{"Downstream", FieldType::Double};
const channel::SharedField kSegmentFields[] = {
    channel::kWidth,    kIsRight,         kRCurvature, kThaLocation,
    channel::kFromLine, channel::kToLine, kUpstream,   kDownstream};

using error_number::kObjectNotSet;

int fieldIndex(const IFeatureClass& cls, const std::string& name) {
    return maputil::RequireField(cls, name);
}

double numberOf(const IFeature& feature, int index, const IFeatureClass& cls) {
    return maputil::RequireNumber(feature, index, cls);
}

Polyline polylineOf(const IFeature& feature, const IFeatureClass& cls) {
    Geometry shape = maputil::CheckedShape(feature, cls.name());
    if (auto* line = std::get_if<Polyline>(&shape)) return *line;
    throw HostError("Object variable or With block variable not set", kObjectNotSet);
}

/// The fraction of the width by which the thalweg leaves the centerline, from the location
/// value measured across the channel (0.5 the middle); 0, the straight case, stays 0.
double offsetFraction(double t) {
    if (t > 0 && t < 0.5) t = 0.5 - t;
    if (t > 0.5) t = t - 0.5;
    return t;
}

/// One run of the tool over the chosen layers.
class ThalwegRun {
public:
    /// Looks the layers up and checks them before anything is written; `currentOid` follows the
    /// segment being processed.
    ThalwegRun(const ThalwegFromCurvatureOptions& options, IDocument& map, long long& currentOid)
        : centerline_(maputil::RequireLayer(&map, options.centerline, "centerline")),
          thalweg_(maputil::RequireLayer(&map, options.thalweg, "thalweg")),
          cls_(maputil::featureClassOf(centerline_)),
          relation_(options.relation),
          currentOid_(currentOid) {
        if (options.widthFromBoundary)
            boundary_ = maputil::RequireLayer(&map, options.boundary, "boundary");
        maputil::RefuseSameLayer(thalweg_, "thalweg", centerline_, "centerline");
        segmentCount_ = maputil::RequireFeaturesToProcess(centerline_);
        addMissingFields();
        measure_ = fieldIndex(cls_, options.measureField);
        bankElev_ = fieldIndex(cls_, options.bankElevField);
        depth_ = fieldIndex(cls_, options.depthField);
        for (const auto& f : kSegmentFields)
            index_[std::string(f.name)] = fieldIndex(cls_, std::string(f.name));
    }

    long segmentCount() const { return segmentCount_; }

    void pass1(IProgressBar& progress) {
        std::optional<Polyline> outline;
        if (boundary_) outline = boundaryOutline();
        auto cursor = maputil::GetFeatureCursor(centerline_);
        while (auto segment = cursor->nextFeature()) {
            currentOid_ = segment->OID();
            if (curvatureOf(*segment, outline)) stepOrStop(progress);
        }
    }

    void pass2(IProgressBar& progress) {
        const WholeLayer layer = readWholeLayer();
        std::vector<double> measures = processedMeasures(layer);
        Path points;
        double u = 0, d = 0;
        const std::size_t n = measures.size();
        for (std::size_t i = 0; i < n; ++i) {
            const double m = measures[i];
            auto oid = layer.window.firstBetween(m - 0.5, m + 0.5);
            if (!oid) continue;
            currentOid_ = *oid;
            IFeature& segment = *layer.features.at(*oid);
            const double t = numberOf(segment, index_.at("ThaLocation"), cls_);
            const double w = numberOf(segment, index_.at("Width"), cls_);
            const double z = numberOf(segment, bankElev_, cls_) - numberOf(segment, depth_, cls_);
            const double side = numberOf(segment, index_.at("IsRight"), cls_) != 0 ? -1 : 1;
            const Polyline c = polylineOf(segment, cls_);
            u = i == 0 ? t : neighbourMean(segment, "FromLine", t, layer.locations, u);
            d = i == n - 1 ? t : neighbourMean(segment, "ToLine", t, layer.locations, d);
            segment.setValue(index_.at("Upstream"), u);
            segment.setValue(index_.at("Downstream"), d);
            segment.store();
            if (i == 0) points.push_back(thalwegPoint(c, 0, side * w * t, z, m));
            points.push_back(thalwegPoint(c, 0.5, side * w * t, z, m));
            points.push_back(thalwegPoint(c, 1, side * w * d, z, m));
            stepOrStop(progress);
        }
        storeThalweg(std::move(points));
    }

private:
    void addMissingFields() {
        for (const auto& f : kSegmentFields)
            if (cls_.findField(std::string(f.name)) == -1)
                maputil::AddField(centerline_, std::string(f.name), f.type);
    }

    Polyline boundaryOutline() {
        auto cursor = maputil::GetFeatureCursor(boundary_);
        auto first = cursor->nextFeature();
        if (!first)
            throw HostError("Object variable or With block variable not set", kObjectNotSet);
        auto outline = vectorUtil::fnConvertPolytonToPolyline(
            maputil::CheckedShape(*first, boundary_->name()));
        if (!outline)
            throw HostError("Object variable or With block variable not set", kObjectNotSet);
        return *outline;
    }

    /// The width across the boundary at the segment's middle, or nothing when a normal misses
    /// the boundary (the intersection routine has said so).
    std::optional<double> widthAcross(const Polyline& c, double w0, const Polyline& outline) {
        auto toOneSide =
            vectorUtil::GetIntersectPoint(queryNormal(c, 0.5, true, -1.5 * w0), outline);
        auto toOtherSide =
            vectorUtil::GetIntersectPoint(queryNormal(c, 0.5, true, 1.5 * w0), outline);
        if (!toOneSide || !toOtherSide) return std::nullopt;
        const double w = std::hypot(toOneSide->x - toOtherSide->x, toOneSide->y - toOtherSide->y);
        if (w == 0) MsgBox("check intersection");
        return w;
    }

    /// Pass 1 for one segment; false when it is skipped.
    bool curvatureOf(IFeature& segment, const std::optional<Polyline>& outline) {
        const Polyline c = polylineOf(segment, cls_);
        if (outline) {
            const int width = index_.at("Width");
            auto w = widthAcross(c, numberOf(segment, width, cls_), *outline);
            if (!w) return false;
            segment.setValue(width, *w);
            segment.store();
        }
        const Point p0 = fromPoint(c), p1 = queryPoint(c, 0.5, true), p2 = toPoint(c);
        double r = kStraightRadius;
        bool centreOnRight = true;
        if (auto circle = circleThroughPoints(p0, p1, p2)) {
            r = circle->radius;
            centreOnRight = nearestLocation(c, circle->centre).rightSide;
        }
        const double t = offsetFraction(GetThalFromCur(r, centreOnRight, relation_));
        segment.setValue(index_.at("ThaLocation"), t);
        segment.setValue(index_.at("rCurvature"), r);
        segment.setValue(index_.at("IsRight"), centreOnRight ? -1LL : 0LL);
        segment.store();
        return true;
    }

    /// The whole layer as pass 2 reads it, in one scan: pass 2 writes only fields it never reads,
    /// so the features and their values stay as good as fetched afresh for every segment.
    struct WholeLayer {
        std::unordered_map<long long, FeaturePtr> features;
        std::vector<long long> scanOrder;       ///< identifiers in the order the layer was read
        vectorUtil::MeasureWindowIndex window;  ///< searches by measure ignore the selection
        std::unordered_map<long long, double> locations;
    };

    WholeLayer readWholeLayer() {
        std::unordered_map<long long, FeaturePtr> features;
        std::vector<long long> scanOrder;
        std::vector<std::pair<double, long long>> measures;
        std::unordered_map<long long, double> locations;
        const int location = index_.at("ThaLocation");
        auto cursor = cls_.search(nullptr);
        while (auto segment = cursor->nextFeature()) {
            const long long oid = segment->OID();
            // A segment without a measure can never be found by a search on it.
            if (auto m = toDouble(segment->value(measure_))) measures.emplace_back(*m, oid);
            if (auto t = toDouble(segment->value(location))) locations.emplace(oid, *t);
            features.emplace(oid, std::move(segment));
            scanOrder.push_back(oid);
        }
        return {std::move(features), std::move(scanOrder),
                vectorUtil::MeasureWindowIndex(std::move(measures)), std::move(locations)};
    }

    /// The measures of the processing set, sorted. Without a selection that set is the whole
    /// layer, already read in the same order a search would give.
    std::vector<double> processedMeasures(const WholeLayer& layer) {
        std::vector<double> measures;
        const auto add = [&](const IFeature& segment) {
            currentOid_ = segment.OID();
            measures.push_back(numberOf(segment, measure_, cls_));
        };
        if (maputil::GetSelectionCount(centerline_) > 0) {
            auto cursor = maputil::GetFeatureCursor(centerline_);
            while (auto segment = cursor->nextFeature()) add(*segment);
        } else {
            for (long long oid : layer.scanOrder) add(*layer.features.at(oid));
        }
        vectorUtil::ShellSortDouble(measures);
        return measures;
    }

    /// The mean of this segment's location and its linked neighbour's; `previous` when the
    /// link is 0. A link to no segment (-9999 in mid-chain) stops the run.
    double neighbourMean(const IFeature& segment, const std::string& link, double t,
                         const std::unordered_map<long long, double>& locations, double previous) {
        const long long neighbour =
            static_cast<long long>(numberOf(segment, index_.at(link), cls_));
        if (neighbour == 0) return previous;
        auto it = locations.find(neighbour);
        if (it == locations.end())
            throw HostError("No feature with object id " + std::to_string(neighbour) + " (" + link +
                                ") in " + cls_.name(),
                            kObjectNotSet);
        return (it->second + t) / 2;
    }

    Point thalwegPoint(const Polyline& c, double fraction, double offset, double z, double m) {
        auto p = CreateThalwegPoint(c, fraction, offset);
        if (!p) throw HostError("Object variable or With block variable not set", kObjectNotSet);
        p->z = z;
        p->m = m;
        p->mAware = true;
        return *p;
    }

    void storeThalweg(Path points) {
        Polyline line(std::move(points), true, true);
        IFeatureClass& target = maputil::featureClassOf(thalweg_);
        FeaturePtr feature = target.createFeature();
        feature->setShape(smooth(line, 0));
        feature->store();
    }

    IFeatureLayer* centerline_;
    IFeatureLayer* thalweg_;
    IFeatureClass& cls_;
    IFeatureLayer* boundary_ = nullptr;
    const LogRelSettings& relation_;
    long segmentCount_ = 0;
    int measure_ = -1, bankElev_ = -1, depth_ = -1;
    std::unordered_map<std::string, int> index_;
    long long& currentOid_;
};

}  // namespace

void run(const ThalwegFromCurvatureOptions& options, IDocument& map, IProgressBar& progress) {
    long long oid = 0;
    try {
        ThalwegRun thalweg(options, map, oid);
        progress.show("Pre-processing......", 0, thalweg.segmentCount(), 1);
        thalweg.pass1(progress);
        progress.show("Creating Thalweg", 0, thalweg.segmentCount(), 1);
        thalweg.pass2(progress);
        progress.hide();
    } catch (const RunRefused&) {
        throw;
    } catch (const std::exception& e) {
        const auto [number, description] = describe(e);
        throw HostError(description, number, "", std::to_string(oid));
    }
}

std::optional<Point> CreateThalwegPoint(const Polyline& curve, double fraction, double offset) {
    try {
        Point p = queryPoint(curve, fraction, true, offset);
        p.zAware = true;
        return p;
    } catch (const std::exception& e) {
        reportError("fnCreateThalwegPoint", e);
        return std::nullopt;
    }
}

// ---- dialog ----------------------------------------------------------------------------------

const DialogDecl& frmNewThaCur::declaration() {
    static const DialogDecl decl{"frmNewThaCur",
                                 "Create Thalweg using centerline",
                                 {
                                     {.name = "cmbCenterline",
                                      .kind = ControlKind::List,
                                      .label = "Centerline Layer",
                                      .frame = "Input",
                                      .defaultValue = "CenterlineSegments",
                                      .help = "line layer of centerline segments",
                                      .source = layersFor(channel::kCenterlineSegments)},
                                     {.name = "cmbBoundary",
                                      .kind = ControlKind::List,
                                      .label = "Boundary Layer",
                                      .frame = "Input",
                                      .defaultValue = "ChannelBoundary",
                                      .help = "polygon layer of the channel boundary",
                                      .source = layersFor(channel::kChannelBoundary)},
                                     {.name = "cmbMeasure",
                                      .kind = ControlKind::List,
                                      .label = "Measure",
                                      .frame = "Input Fields",
                                      .defaultValue = "Measure",
                                      .help = "measure field of the segments",
                                      .source = fieldsOf("cmbCenterline")},
                                     {.name = "cmbBankElev",
                                      .kind = ControlKind::List,
                                      .label = "Bank Elevation",
                                      .frame = "Input Fields",
                                      .defaultValue = "BankElev",
                                      .help = "bank elevation field of the segments",
                                      .source = fieldsOf("cmbCenterline")},
                                     {.name = "cmbDepth",
                                      .kind = ControlKind::List,
                                      .label = "Channel Depth",
                                      .frame = "Input Fields",
                                      .defaultValue = "Depth",
                                      .help = "channel depth field",
                                      .source = fieldsOf("cmbCenterline")},
                                     {.name = "chkBoundary",
                                      .kind = ControlKind::CheckBox,
                                      .label = "Get channel width from boundary layer",
                                      .defaultValue = "0",
                                      .help = "measure each segment's width across the boundary"},
                                     {.name = "cmbThalweg",
                                      .kind = ControlKind::List,
                                      .label = "Thalweg Layer",
                                      .frame = "Output",
                                      .defaultValue = "Thalweg",
                                      .help = "3D line layer for the thalweg",
                                      .source = layersFor(channel::kThalweg)},
                                     {.name = "lblProcess", .kind = ControlKind::Label},
                                     {.name = "ProgressBar1", .kind = ControlKind::ProgressBar},
                                     okButton("create the thalweg"),
                                     cancelButton("close without creating"),
                                 }};
    return decl;
}

ThalwegFromCurvatureOptions frmNewThaCur::options() const {
    return {.centerline = text("cmbCenterline"),
            .boundary = text("cmbBoundary"),
            .widthFromBoundary = checked("chkBoundary"),
            .measureField = text("cmbMeasure"),
            .bankElevField = text("cmbBankElev"),
            .depthField = text("cmbDepth"),
            .thalweg = text("cmbThalweg"),
            .relation = logRelSettings()};
}

void frmNewThaCur::onOk() {
    DialogProgressBar progress(*this, "lblProcess", "ProgressBar1");
    const bool done = trapped(ErrorStyle::Feature, "", [&] {
        run(options(), currentDocument(), progress);
        MsgBox("The thalweg was created successfully", MsgButtons::OK, "Thalweg using curvature");
    });
    g_pMxDoc = nullptr;
    if (done) unload();
}

void showDialogAfterSettings() { Forms::get<frmNewThaCur>().show(true); }

}  // namespace ondu
