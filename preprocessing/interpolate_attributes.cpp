#include "preprocessing/interpolate_attributes.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>

#include "framework/channel_model.h"
#include "framework/error_report.h"
#include "framework/geometry/curve.h"
#include "framework/geometry/line_index.h"
#include "framework/map_helpers.h"
#include "framework/shared_state.h"
#include "framework/ui.h"
#include "framework/vector_helpers.h"

namespace ondu {

namespace {

struct ReferencePoint {
    Point at;
    double value = 0;
};

class InterpolationRun {
public:
    InterpolationRun(const InterpolateAttributesOptions& options, IDocument& map)
        : lines_(maputil::RequireLayer(&map, options.lines, "lines")),
          points_(maputil::RequireLayer(&map, options.points, "points")),
          linesCls_(maputil::featureClassOf(lines_)),
          pointsCls_(maputil::featureClassOf(points_)),
          attribute_(options.attribute) {
        maputil::RefuseSameLayer(lines_, "lines", points_, "points");
        count_ = maputil::RequireFeaturesToProcess(lines_);
        pointValue_ = maputil::RequireField(pointsCls_, attribute_);
        lineValue_ = fieldAddedWhenMissing(attribute_);
    }

    long count() const { return count_; }

    /// Spreads the reference values along the chain; answers the chained line.
    Polyline interpolate(IProgressBar& progress) {
        const Polyline chain = vectorUtil::MergeLinesInOrder(lines_);
        const std::vector<ReferencePoint> cuts =
            referencePoints(maputil::GetFeatureCursor(points_));
        lookup_ = referencePoints(pointsCls_.search(nullptr));
        lookupIndex_ = std::make_unique<PointIndex>(positionsOf(lookup_));
        const LineIndex chainIndex(std::vector<Polyline>{chain});
        std::vector<double> distances;
        for (const ReferencePoint& p : cuts)
            distances.push_back(nearestOn(chainIndex, p.at).distanceAlong);
        std::sort(distances.begin(), distances.end());
        const Polyline parts = splitAtDistances(chain, distances);
        if (parts.paths.size() > cuts.size() + 1)
            MsgBox(
                "There is something wrong with the internal geometry of the segments. The "
                "interpolation will be approximate",
                MsgButtons::OK, "Warning");
        const LineIndex valued(std::vector<Polyline>{valuedParts(parts)});
        progress.show("Processing...", 0, linesCls_.featureCount(nullptr), 1);
        auto cursor = linesCls_.search(nullptr);
        while (auto line = cursor->nextFeature()) {
            line->setValue(lineValue_, valueAt(midpointOf(*line), valued));
            line->store();
            stepOrStop(progress);
        }
        return chain;
    }

    /// Writes every processed line's position along the chain as "Measure".
    void assignMeasures(Polyline chain, IProgressBar& progress) {
        const int measure = fieldAddedWhenMissing(std::string(channel::kMeasure.name));
        maputil::SetLineMs(chain, 0, length(chain));
        const LineIndex measured(std::vector<Polyline>{std::move(chain)});
        progress.show("Processing...", 0, count_, 1);
        auto cursor = maputil::GetFeatureCursor(lines_);
        while (auto line = cursor->nextFeature()) {
            line->setValue(measure, vectorUtil::GetMAtPoint(midpointOf(*line), measured));
            line->store();
            stepOrStop(progress);
        }
    }

private:
    int fieldAddedWhenMissing(const std::string& name) {
        if (linesCls_.findField(name) == -1) maputil::AddField(lines_, name, FieldType::Double);
        return maputil::RequireField(linesCls_, name);
    }

    std::vector<ReferencePoint> referencePoints(FeatureCursorPtr cursor) {
        std::vector<ReferencePoint> points;
        while (auto feature = cursor->nextFeature()) {
            Geometry shape = maputil::CheckedShape(*feature, points_->name());
            const auto* at = std::get_if<Point>(&shape);
            if (!at)
                throw HostError("Type mismatch: feature " + std::to_string(feature->OID()) +
                                    " of " + points_->name() + " is not a point",
                                error_number::kTypeMismatch);
            points.push_back({*at, maputil::RequireNumber(*feature, pointValue_, pointsCls_)});
        }
        return points;
    }

    static std::vector<Point> positionsOf(const std::vector<ReferencePoint>& points) {
        std::vector<Point> positions;
        for (const ReferencePoint& p : points) positions.push_back(p.at);
        return positions;
    }

    /// The value of the nearest reference point within reach of the place (the first read of
    /// equally near ones), or nothing.
    std::optional<double> valueNear(const Point& place) const {
        const auto nearest = lookupIndex_->nearest(place, kReferenceReach);
        if (!nearest) return std::nullopt;
        return lookup_[*nearest].value;
    }

    /// The parts joined into one line whose measures run from the value at each part's start
    /// to the value at its end; an end without a reference point takes the other end's value,
    /// and a part without any is left unmeasured (NaN).
    Polyline valuedParts(const Polyline& parts) const {
        Polyline valued;
        valued.zAware = valued.mAware = true;
        for (const Path& path : parts.paths) {
            auto part = vectorUtil::PathToPolyline(path);
            if (!part) throw maputil::objectNotSet();
            std::optional<double> a = valueNear(path.front()), b = valueNear(path.back());
            if (!a) a = b;
            if (!b) b = a;
            maputil::SetLineMs(*part, a.value_or(kNaN), b.value_or(kNaN));
            valued.paths.push_back(std::move(part->paths.front()));
        }
        return valued;
    }

    Point midpointOf(const IFeature& line) const {
        return queryPoint(maputil::CheckedPolyline(line, lines_->name()), 0.5, true);
    }

    /// Where the one line of the index passes nearest the point.
    static CurveLocation nearestOn(const LineIndex& line, const Point& point) {
        const auto at = line.nearest(point);
        if (!at) throw std::invalid_argument("the line has no vertex");
        return at->location;
    }

    /// The measure of the valued line where it passes nearest the point; null on a part without
    /// a value.
    static FieldValue valueAt(const Point& point, const LineIndex& valued) {
        if (std::isnan(valued.firstMeasureAt(0, nearestOn(valued, point).distanceAlong))) return {};
        return vectorUtil::GetMAtPoint(point, valued);
    }

    IFeatureLayer* lines_;
    IFeatureLayer* points_;
    IFeatureClass& linesCls_;
    IFeatureClass& pointsCls_;
    std::string attribute_;
    long count_ = 0;
    int pointValue_ = -1, lineValue_ = -1;
    std::vector<ReferencePoint> lookup_;
    std::unique_ptr<PointIndex> lookupIndex_;  ///< over lookup_
};

}  // namespace

void run(const InterpolateAttributesOptions& options, IDocument& map, IProgressBar& progress) {
    InterpolationRun interpolation(options, map);
    Polyline chain = interpolation.interpolate(progress);
    if (options.assignMeasures) interpolation.assignMeasures(std::move(chain), progress);
    progress.hide();
}

// ---- dialog ----------------------------------------------------------------------------------

const DialogDecl& frmIntAttribute::declaration() {
    static const DialogDecl decl{
        "frmIntAttribute",
        "Interpolate Attributes",
        {
            {.name = "cmbLines",
             .kind = ControlKind::List,
             .label = "Linear Features",
             .frame = "Inputs",
             .defaultValue = "CenterlineSegments",
             .help = "line layer whose features chain end to end; receives the attribute",
             .source = layersFor(channel::kCenterlineSegments),
             .required = {"No layer selected for lines"}},
            {.name = "cmbPoints",
             .kind = ControlKind::List,
             .label = "Reference Points",
             .frame = "Inputs",
             .defaultValue = "ReferencePoints",
             .help = "point layer carrying the known values",
             .source = layersFor(channel::kReferencePoints),
             .required = {"No layer selected for points"}},
            {.name = "cmbAttribute",
             .kind = ControlKind::List,
             .label = "Attribute ",
             .frame = "Inputs",
             .defaultValue = "Depth",
             .help = "numeric field of the reference points; the lines get a field of that name",
             .source = fieldsOf("cmbPoints")},
            {.name = "chkMeasure",
             .kind = ControlKind::CheckBox,
             .label = "Assign Measures",
             .defaultValue = "1",
             .help = "also write each line's position along the chain (\"Measure\")"},
            okButton("interpolate"),
            cancelButton("close without interpolating"),
        }};
    return decl;
}

InterpolateAttributesOptions frmIntAttribute::options() const {
    return {.lines = text("cmbLines"),
            .points = text("cmbPoints"),
            .attribute = text("cmbAttribute"),
            .assignMeasures = checked("chkMeasure")};
}

void frmIntAttribute::onOk() {
    const bool done = trapped(ErrorStyle::Routine, "interpolating attributes(Main)", [this] {
        run(options(), currentDocument(), userInterface().statusProgress());
    });
    if (!done) return;
    MsgBox("Process completed successfully!", MsgButtons::OK, "Interpolate Attributes");
    unload();
}

}  // namespace ondu
