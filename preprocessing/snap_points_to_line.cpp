#include "preprocessing/snap_points_to_line.h"

#include <vector>

#include "framework/channel_model.h"
#include "framework/error_report.h"
#include "framework/geometry/line_index.h"
#include "framework/map_helpers.h"
#include "framework/shared_state.h"
#include "framework/ui.h"
#include "framework/vector_helpers.h"

namespace ondu {

namespace {

constexpr const char* kPointTitle = "Snap points to line";
constexpr const char* kFinalTitle = "Snap Points to Line";

/// Every line of the layer (a selection plays no part), by object id.
std::vector<Polyline> allLines(IFeatureLayer* layer) {
    std::vector<Polyline> lines;
    auto cursor = maputil::featureClassOf(layer).search(nullptr);
    while (auto feature = cursor->nextFeature()) {
        lines.push_back(maputil::CheckedPolyline(*feature, layer->name()));
    }
    return lines;
}

std::string countOf(long n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

SnapResult run(const SnapPointsToLineOptions& options, IDocument& map, IProgressBar& progress) {
    IFeatureLayer* points = maputil::RequireLayer(&map, options.points, "points");
    IFeatureLayer* lines = maputil::RequireLayer(&map, options.lines, "centerline");
    const long count = maputil::RequireFeaturesToProcess(points);
    const LineIndex index(allLines(lines));

    SnapResult result;
    progress.show("Processing...", 0, count, 1);
    auto cursor = maputil::GetFeatureCursor(points);
    while (auto feature = cursor->nextFeature()) {
        const auto nearest =
            index.nearest(maputil::CheckedPoint(*feature, points->name()), options.distance);
        if (!nearest) {
            MsgBox("Point with OID = " + std::to_string(feature->OID()) + " cannot be snapped.",
                   MsgButtons::OK, kPointTitle);
            ++result.notSnapped;
        } else {
            Point snapped = nearest->location.onCurve;
            snapped.zAware = false;
            snapped.z = kNaN;
            feature->setShape(snapped);
            feature->store();
            ++result.snapped;
        }
        stepOrStop(progress);
    }
    progress.hide();
    return result;
}

// ---- dialog ----------------------------------------------------------------------------------

const DialogDecl& frmSnapPtsToLine::declaration() {
    static const DialogDecl decl{
        "frmSnapPtsToLine",
        "Snap Gaging Stations to Centerline",
        {
            {.name = "cmbPoints",
             .kind = ControlKind::List,
             .label = "Point Layer",
             .frame = "Inputs",
             .help = "point layer whose points are moved",
             .source = layersFor(channel::kInputPoints),
             .required = {"No layer selected for points"}},
            {.name = "cmbLine",
             .kind = ControlKind::List,
             .label = "Line Layer",
             .frame = "Inputs",
             .help = "line layer to snap to",
             .source = {.kind = ListSource::Kind::Layers, .shape = channel::ShapeKind::Polyline},
             .required = {"No layer selected for centerline"}},
            {.name = "txtBuffer",
             .kind = ControlKind::TextBox,
             .label = "Snapping Distance",
             .frame = "Inputs",
             .defaultValue = "100",
             .help = "largest distance a point is moved, in map units",
             .type = ValueType::Number,
             .invalid = {"Enter a valid number for buffer distance"}},
            okButton("snap the points"),
            cancelButton("close without snapping"),
        }};
    return decl;
}

SnapPointsToLineOptions frmSnapPtsToLine::options() const {
    return {.points = text("cmbPoints"),
            .lines = text("cmbLine"),
            .distance = number("txtBuffer").value_or(0)};
}

void frmSnapPtsToLine::onOk() {
    SnapResult result;
    const bool done = trapped(ErrorStyle::Routine, kPointTitle, [&] {
        result = run(options(), currentDocument(), userInterface().statusProgress());
    });
    if (!done) return;
    currentDocument().focusMap().refresh();
    // A run that left points behind says so, rather than claiming every point was snapped.
    g_itemsLeftUndone = result.notSnapped > 0;
    if (result.notSnapped == 0)
        MsgBox("All the points were snapped successfully!", MsgButtons::OK, kFinalTitle);
    else
        MsgBox(countOf(result.snapped, "point was", "points were") + " snapped; " +
                   countOf(result.notSnapped, "point", "points") + " could not be snapped.",
               MsgButtons::OK, kFinalTitle);
    unload();
}

}  // namespace ondu
