#include "preprocessing/polygon_to_polyline.h"

#include "framework/error_report.h"
#include "framework/map_helpers.h"
#include "framework/shared_state.h"
#include "framework/ui.h"
#include "framework/vector_helpers.h"

namespace ondu {

void run(const PolygonToPolylineOptions& options, IDocument& map, IProgressBar& progress) {
    IFeatureLayer* polygons = maputil::RequireLayer(&map, options.polygons, "polygon");
    IFeatureLayer* lines = maputil::RequireLayer(&map, options.lines, "line");
    if (maputil::HasZValues(lines))
        throw RunRefused("Please select a non PolylineZ/PolylineZM layer for lines");
    maputil::RefuseSameLayer(lines, "line", polygons, "polygon");
    const long count = maputil::RequireFeaturesToProcess(polygons);
    IFeatureClass& target = maputil::featureClassOf(lines);
    progress.show("Processing...", 0, count, 1);
    auto cursor = maputil::GetFeatureCursor(polygons);
    while (auto polygon = cursor->nextFeature()) {
        auto outline = vectorUtil::fnConvertPolytonToPolyline(
            maputil::CheckedShape(*polygon, polygons->name()));
        // The conversion has shown why it failed.
        if (!outline)
            throw HostError("Object variable or With block variable not set",
                            error_number::kObjectNotSet, "", std::to_string(polygon->OID()));
        FeaturePtr line = target.createFeature();
        line->setShape(*outline);
        line->store();
        stepOrStop(progress);
    }
    progress.hide();
}

const DialogDecl& frmPolyToLine::declaration() {
    static const DialogDecl decl{
        "frmPolyToLine",
        "Polygon to polyline",
        {
            {.name = "cmbPoly",
             .kind = ControlKind::List,
             .label = "Polygon Layer",
             .frame = "Inputs",
             .defaultValue = "ChannelBoundary",
             .help = "polygon layer whose outlines are copied (its selected polygons, else all)",
             .source = layersFor(channel::kChannelBoundary),
             .required = {"No layer selected for polygon"}},
            {.name = "cmbLine",
             .kind = ControlKind::List,
             .label = "Line Layer",
             .frame = "Inputs",
             .defaultValue = "BoundarySegments",
             .help = "line layer without Z receiving one line per polygon",
             .source = layersFor(channel::kBoundarySegments),
             .required = {"No layer selected for line"}},
            okButton("convert the polygons"),
            cancelButton("close without converting"),
        }};
    return decl;
}

PolygonToPolylineOptions frmPolyToLine::options() const {
    return {.polygons = text("cmbPoly"), .lines = text("cmbLine")};
}

void frmPolyToLine::onOk() {
    const bool done = trapped(ErrorStyle::Routine, "polygon to polyline (Main)", [this] {
        run(options(), currentDocument(), userInterface().statusProgress());
    });
    if (!done) return;
    MsgBox("Polygon feature(s) converted to polyline(s) successfully!", MsgButtons::OK,
           "Polygon to polyline");
    unload();
}

}  // namespace ondu
