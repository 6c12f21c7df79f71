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

// The host's numbers for the failures a run meets most.
constexpr long kObjectNotSet = 91;
constexpr long kInvalidUseOfNull = 94;
constexpr long kItemNotFound = 3265;

int fieldIndex(const IFeatureClass& cls, const std::string& name) {
    int index = cls.findField(name);
    if (index < 0)
        throw HostError("Item not found in this collection (field " + name + ")", kItemNotFound);
    return index;
}

double numberOf(const IFeature& feature, int index, const IFeatureClass& cls) {
    auto value = toDouble(feature.value(index));
    if (!value)
        throw HostError("Invalid use of Null (" + cls.field(index).name + ")", kInvalidUseOfNull);
    return *value;
}

Polyline polylineOf(const IFeature& feature) {
    Geometry shape = feature.shape();
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

/// The first segment (smallest object id) whose measure lies strictly inside a window, found
/// in logarithmic time: the measures sorted, and a sparse table of the smallest id over every
/// power-of-two run of them.
class MeasureWindowIndex {
public:
    explicit MeasureWindowIndex(std::vector<std::pair<double, long long>> measureIds)
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

    /// The smallest id among measures m with lower < m < upper, or nothing.
    std::optional<long long> firstBetween(double lower, double upper) const {
        auto byMeasure = [](const auto& e, double v) { return e.first < v; };
        auto first = std::upper_bound(entries_.begin(), entries_.end(), lower,
                                      [](double v, const auto& e) { return v < e.first; });
        auto last = std::lower_bound(entries_.begin(), entries_.end(), upper, byMeasure);
        if (first >= last) return std::nullopt;
        const std::size_t from = static_cast<std::size_t>(first - entries_.begin());
        const std::size_t count = static_cast<std::size_t>(last - first);
        std::size_t level = 0;
        while ((std::size_t{2} << level) <= count) ++level;
        return std::min(minIds_[level][from],
                        minIds_[level][from + count - (std::size_t{1} << level)]);
    }

private:
    std::vector<std::pair<double, long long>> entries_;
    std::vector<std::vector<long long>> minIds_;
};

/// One run of the tool over the chosen layers.
class ThalwegRun {
public:
    /// `boundary` only with the width option; `currentOid` follows the segment being processed.
    ThalwegRun(IFeatureLayer* centerline, std::optional<IFeatureLayer*> boundary,
               IFeatureLayer* thalweg, const std::string& measureField,
               const std::string& bankElevField, const std::string& depthField,
               long long& currentOid)
        : centerline_(centerline),
          thalweg_(thalweg),
          cls_(maputil::featureClassOf(centerline)),
          boundary_(boundary.value_or(nullptr)),
          currentOid_(currentOid) {
        if (boundary) maputil::featureClassOf(*boundary);
        addMissingFields();
        measure_ = fieldIndex(cls_, measureField);
        bankElev_ = fieldIndex(cls_, bankElevField);
        depth_ = fieldIndex(cls_, depthField);
        for (const auto& f : kSegmentFields)
            index_[std::string(f.name)] = fieldIndex(cls_, std::string(f.name));
    }

    long segmentCount() {
        long selected = maputil::GetSelectionCount(centerline_);
        return selected > 0 ? selected : cls_.featureCount(nullptr);
    }

    template <class Progress>
    void pass1(Progress progress) {
        std::optional<Polyline> outline;
        if (boundary_) outline = boundaryOutline();
        auto cursor = maputil::GetFeatureCursor(centerline_);
        long count = 0;
        while (auto segment = cursor->nextFeature()) {
            currentOid_ = segment->OID();
            if (!curvatureOf(*segment, outline)) continue;
            progress(++count);
        }
    }

    template <class Progress>
    void pass2(Progress progress) {
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
            const Polyline c = polylineOf(segment);
            u = i == 0 ? t : neighbourMean(segment, "FromLine", t, layer.locations, u);
            d = i == n - 1 ? t : neighbourMean(segment, "ToLine", t, layer.locations, d);
            segment.setValue(index_.at("Upstream"), u);
            segment.setValue(index_.at("Downstream"), d);
            segment.store();
            if (i == 0) points.push_back(thalwegPoint(c, 0, side * w * t, z, m));
            points.push_back(thalwegPoint(c, 0.5, side * w * t, z, m));
            points.push_back(thalwegPoint(c, 1, side * w * d, z, m));
            progress(static_cast<long>(i));
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
        auto outline = vectorUtil::fnConvertPolytonToPolyline(first->shape());
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
        const Polyline c = polylineOf(segment);
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
        const double t = offsetFraction(GetThalFromCur(r, centreOnRight));
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
        std::vector<long long> scanOrder;  ///< identifiers in the order the layer was read
        MeasureWindowIndex window;         ///< searches by measure ignore the selection
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
        return {std::move(features), std::move(scanOrder), MeasureWindowIndex(std::move(measures)),
                std::move(locations)};
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
    IFeatureLayer* boundary_;
    int measure_ = -1, bankElev_ = -1, depth_ = -1;
    std::unordered_map<std::string, int> index_;
    long long& currentOid_;
};

}  // namespace

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
    static const DialogDecl decl{
        "frmNewThaCur",
        "Create Thalweg using centerline",
        {
            {"cmbCenterline", ControlKind::List, "Centerline Layer", "Input", "CenterlineSegments",
             "line layer of centerline segments"},
            {"cmbBoundary", ControlKind::List, "Boundary Layer", "Input", "ChannelBoundary",
             "polygon layer of the channel boundary"},
            {"cmbMeasure", ControlKind::List, "Measure", "Input Fields", "Measure",
             "measure field of the segments"},
            {"cmbBankElev", ControlKind::List, "Bank Elevation", "Input Fields", "BankElev",
             "bank elevation field of the segments"},
            {"cmbDepth", ControlKind::List, "Channel Depth", "Input Fields", "Depth",
             "channel depth field"},
            {"chkBoundary", ControlKind::CheckBox, "Get channel width from boundary layer", "", "0",
             "measure each segment's width across the boundary"},
            {"cmbThalweg", ControlKind::List, "Thalweg Layer", "Output", "Thalweg",
             "3D line layer for the thalweg"},
            {"lblProcess", ControlKind::Label, "", "", ""},
            {"ProgressBar1", ControlKind::ProgressBar, "", "", ""},
            {"cmdOK", ControlKind::Button, "OK", "", "", "create the thalweg", ButtonRole::Ok},
            {"cmdCancel", ControlKind::Button, "Cancel", "", "", "close without creating",
             ButtonRole::Cancel},
        }};
    return decl;
}

void frmNewThaCur::onLoad() {
    try {
        loadMapDocument();
        const int layerCount = g_pMxDoc->focusMap().layerCount();
        const auto& segments = channel::kCenterlineSegments;
        maputil::FillComboBox(g_pMxDoc, layerCount, control("cmbCenterline"), segments.shape,
                              segments.needZ, segments.needM, std::string(segments.defaultName));
        const auto& boundary = channel::kChannelBoundary;
        maputil::FillComboBox(g_pMxDoc, layerCount, control("cmbBoundary"), boundary.shape,
                              boundary.needZ, boundary.needM, std::string(boundary.defaultName));
        const auto& thalweg = channel::kThalweg;
        maputil::FillComboBox(g_pMxDoc, layerCount, control("cmbThalweg"), thalweg.shape,
                              thalweg.needZ, thalweg.needM, std::string(thalweg.defaultName));
        fillFieldLists();
    } catch (const std::exception& e) {
        reportError("loading the form", e);
    }
}

void frmNewThaCur::fillFieldLists() {
    IFeatureLayer* layer = maputil::SelectLayer(g_pMxDoc, text("cmbCenterline"));
    if (!layer) return;
    maputil::FillFieldComboBox(layer, control("cmbMeasure"), std::string(channel::kMeasure.name));
    maputil::FillFieldComboBox(layer, control("cmbBankElev"), std::string(channel::kBankElev.name));
    maputil::FillFieldComboBox(layer, control("cmbDepth"), std::string(channel::kDepth.name));
}

void frmNewThaCur::onClick(Control& control) {
    if (control.name() == "cmbCenterline") return fillFieldLists();
    if (control.name() == "cmdOK") return cmdOK_Click();
    if (control.name() == "cmdCancel") return unload();
}

void frmNewThaCur::setStatus(const std::string& status) { control("lblProcess").text = status; }

void frmNewThaCur::setProgress(long value, std::optional<long> maximum) {
    Control& bar = control("ProgressBar1");
    if (maximum) bar.maximum = *maximum;
    bar.value = value;
}

void frmNewThaCur::cmdOK_Click() {
    long long oid = 0;
    try {
        setStatus("Pre-processing......");
        IFeatureLayer* centerline = maputil::SelectLayer(g_pMxDoc, text("cmbCenterline"));
        std::optional<IFeatureLayer*> boundary;
        if (checked("chkBoundary")) boundary = maputil::SelectLayer(g_pMxDoc, text("cmbBoundary"));
        IFeatureLayer* thalweg = maputil::SelectLayer(g_pMxDoc, text("cmbThalweg"));
        ThalwegRun run(centerline, boundary, thalweg, text("cmbMeasure"), text("cmbBankElev"),
                       text("cmbDepth"), oid);
        const long total = run.segmentCount();
        setProgress(0, total);
        auto step = [this](long value) { setProgress(value); };
        run.pass1(step);
        setStatus("Creating Thalweg");
        setProgress(0, total);
        run.pass2(step);
        setStatus("");
        setProgress(0);
        MsgBox("The thalweg was created successfully", MsgButtons::OK, "Thalweg using curvature");
        g_pMxDoc = nullptr;
        unload();
    } catch (const std::exception& e) {
        auto [number, description] = describe(e);
        MsgBox(std::to_string(number) + ": " + description, MsgButtons::OK, std::to_string(oid));
        g_pMxDoc = nullptr;
    }
}

}  // namespace ondu
