#include "morphology/sn_coordinates.h"

#include <cmath>
#include <vector>

#include "framework/channel_model.h"
#include "framework/error_report.h"
#include "framework/geometry/curve.h"
#include "framework/geometry/line_index.h"
#include "framework/map_helpers.h"
#include "framework/ui.h"
#include "framework/vector_helpers.h"

namespace ondu {

namespace {

constexpr const char* kTitle = "Assign (s,n) coordinates";
/// The validation title keeps the dialog's own spelling.
constexpr const char* kMisspeltTitle = "Assign (s,n) cooridnates";

/// The index of a field that can take a coordinate: present, numeric, not the identifier.
int coordinateField(const IFeatureClass& cls, const std::string& name) {
    const int index = cls.findField(name);
    if (index < 0)
        throw HostError(
            "Item not found in this collection (field " + name + " of " + cls.name() + ")",
            error_number::kItemNotFound);
    const FieldType type = cls.field(index).type;
    if (type != FieldType::Double && type != FieldType::Single && type != FieldType::Integer &&
        type != FieldType::SmallInteger)
        throw HostError("Field " + name + " of " + cls.name() + " cannot hold a coordinate",
                        error_number::kTypeMismatch);
    return index;
}

/// The centerline feature: the selected one when exactly one is selected, else the first.
FeaturePtr centerlineFeature(IFeatureLayer* layer, IFeatureClass& cls) {
    const ISelectionSet& selection = layer->selectionSet();
    if (selection.count() == 1)
        if (auto feature = cls.getFeature(selection.ids().front())) return feature;
    return cls.search(nullptr)->nextFeature();
}

bool hasValidMeasures(const Polyline& line) {
    if (!line.mAware) return false;
    for (const Path& path : line.paths)
        for (const Point& v : path)
            if (!std::isfinite(v.m)) return false;
    return true;
}

}  // namespace

std::optional<long> run(const SnCoordinatesOptions& options, IDocument& map,
                        IProgressBar& progress) {
    IFeatureLayer* points = maputil::RequireLayer(&map, options.points, "point");
    IFeatureLayer* centerline = maputil::RequireLayer(&map, options.centerline, "centerline");
    IFeatureClass& pointClass = maputil::featureClassOf(points);
    IFeatureClass& lineClass = maputil::featureClassOf(centerline);
    const int sField = coordinateField(pointClass, options.sField);
    const int nField = coordinateField(pointClass, options.nField);
    const long count = pointClass.featureCount(nullptr);
    if (count == 0) throw RunRefused("No features to process in " + points->name());

    const long lines = lineClass.featureCount(nullptr);
    if (lines == 0) throw RunRefused("No features in the centerline layer", kTitle);
    if (lines > 1)
        MsgBox(
            "Centerline has more than one feature. The program will work only with the first "
            "feature or the selected feature");
    Polyline line =
        maputil::CheckedPolyline(*centerlineFeature(centerline, lineClass), centerline->name());
    if (!hasValidMeasures(line)) {
        const MsgAnswer answer = MsgBox(
            "The input centerline does not have valid measures assignet to it. Click YES to "
            "assign measures and proceed. Click NO to exit.",
            MsgButtons::YesNo, kTitle, MsgIcon::Question);
        if (answer != MsgAnswer::Yes) return std::nullopt;
        maputil::SetLineMs(line, 0, length(line));
    }
    std::vector<Polyline> one;
    one.push_back(std::move(line));
    const LineIndex index(std::move(one));

    progress.show("Processing...", 0, count, 1);
    long processed = 0;
    auto cursor = pointClass.search(nullptr);
    while (auto feature = cursor->nextFeature()) {
        const Point point = maputil::CheckedPoint(*feature, points->name());
        const CurveLocation at = index.nearest(point)->location;
        feature->setValue(nField, at.rightSide ? at.distanceFrom : at.distanceFrom * -1.0);
        feature->setValue(sField, index.firstMeasureAt(0, at.distanceAlong));
        feature->store();
        ++processed;
        stepOrStop(progress);
    }
    progress.hide();
    return processed;
}

// ---- dialog ----------------------------------------------------------------------------------

const DialogDecl& frmSN::declaration() {
    static const DialogDecl decl{
        "frmSN",
        "Assign (s,n) coordinates",
        {
            {.name = "cmbInput",
             .kind = ControlKind::List,
             .label = "Input Point Layer",
             .frame = "Select Layers",
             .help = "point layer whose points get (s,n) coordinates",
             .source = layersFor(channel::kInputPoints),
             .required = {"Please select the point layer", kMisspeltTitle}},
            {.name = "cmbCenterline",
             .kind = ControlKind::List,
             .label = "Centerline Layer",
             .frame = "Select Layers",
             .defaultValue = "Centerline",
             .help = "line layer of the measured centerline",
             .source = layersFor(channel::kCenterline),
             .required = {"Please select the centerline layer", kMisspeltTitle}},
            {.name = "cmbSCoordinate",
             .kind = ControlKind::List,
             .label = "s-Coordinate Field",
             .frame = "Specify (s,n) fields",
             .help = "numeric field that receives s",
             .source = fieldsOf("cmbInput", FieldFilter::Numeric)},
            {.name = "cmbNCoordinate",
             .kind = ControlKind::List,
             .label = "n-Coordinate Field",
             .frame = "Specify (s,n) fields",
             .help = "numeric field that receives n",
             .source = fieldsOf("cmbInput", FieldFilter::Numeric)},
            okButton("assign the coordinates"),
            cancelButton("close without assigning"),
        }};
    return decl;
}

SnCoordinatesOptions frmSN::options() const {
    return {.points = text("cmbInput"),
            .centerline = text("cmbCenterline"),
            .sField = text("cmbSCoordinate"),
            .nField = text("cmbNCoordinate")};
}

void frmSN::onLoad() {
    if (control("cmbCenterline").items.empty())
        MsgBox("No PolylineM/PolylineZM layer in the map for the centerline.", MsgButtons::OK,
               "Add Centerline Layer");
}

void frmSN::onOk() {
    if (text("cmbSCoordinate") == text("cmbNCoordinate")) {
        MsgBox("Please select different fields for s-Coordinate and n-Coordinate", MsgButtons::OK,
               kTitle);
        return;
    }
    std::optional<long> processed;
    if (!trapped(ErrorStyle::Routine, kTitle, [&] {
            processed = run(options(), currentDocument(), userInterface().statusProgress());
        }))
        return;
    if (!processed) return;
    MsgBox(std::to_string(*processed) + " number of features were processed!", MsgButtons::OK,
           kTitle);
    unload();
}

}  // namespace ondu
