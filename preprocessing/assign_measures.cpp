#include "preprocessing/assign_measures.h"

#include <vector>

#include "framework/channel_model.h"
#include "framework/error_report.h"
#include "framework/geometry/curve.h"
#include "framework/map_helpers.h"
#include "framework/shared_state.h"
#include "framework/ui.h"
#include "framework/vector_helpers.h"

namespace ondu {

namespace {

constexpr const char* kMultipleRoutine = "subAssignMstoMultipleFeatures";

void storeMeasured(IFeature& feature, Polyline line, double startM, double endM) {
    maputil::SetLineMs(line, startM, endM);
    feature.setShape(line);
    feature.store();
}

void assignSingle(const AssignMeasuresOptions& options, IFeatureLayer* layer,
                  IProgressBar& progress) {
    auto cursor = maputil::GetFeatureCursor(layer);
    while (auto feature = cursor->nextFeature()) {
        Polyline line = maputil::CheckedPolyline(*feature, layer->name());
        const auto [startM, endM] = measureRange(options, 0, length(line));
        storeMeasured(*feature, std::move(line), startM, endM);
        stepOrStop(progress);
    }
}

/// Each line of the chain reads its end measures off its own stretch of the measured join: the
/// same values as reading them off the whole join, found without searching it once per line.
void assignMultiple(const AssignMeasuresOptions& options, IFeatureLayer* layer,
                    IProgressBar& progress) {
    Polyline merged = vectorUtil::MergeLinesInOrder(layer);
    const auto [startM, endM] = measureRange(options, options.start, length(merged));
    maputil::SetLineMs(merged, startM, endM);
    std::vector<FeaturePtr> chain;
    vectorUtil::OrderFromTo(layer, chain);
    std::size_t offset = 0;
    for (FeaturePtr& feature : chain) {
        if (!feature) throw maputil::objectNotSet();
        Polyline line = maputil::CheckedPolyline(*feature, layer->name());
        const Path& joined = merged.paths.front();
        const std::size_t count = line.vertexCount();
        const Polyline stretch(Path(joined.begin() + static_cast<std::ptrdiff_t>(offset),
                                    joined.begin() + static_cast<std::ptrdiff_t>(offset + count)),
                               merged.zAware, true);
        offset += count;
        const double mFrom = vectorUtil::GetMAtPoint(fromPoint(line), stretch);
        const double mTo = vectorUtil::GetMAtPoint(toPoint(line), stretch);
        storeMeasured(*feature, std::move(line), mFrom, mTo);
        stepOrStop(progress);
    }
}

}  // namespace

std::pair<double, double> measureRange(const AssignMeasuresOptions& options, double from,
                                       double length) {
    std::pair<double, double> range =
        options.relative ? std::pair{0.0, 100.0} : std::pair{from, from + length};
    if (options.reverse) std::swap(range.first, range.second);
    return range;
}

void run(const AssignMeasuresOptions& options, IDocument& map, IProgressBar& progress) {
    IFeatureLayer* layer = maputil::RequireLayer(&map, options.layer, "input features");
    if (options.multiple && maputil::GetSelectionCount(layer) == 0)
        throw RunRefused(
            "Multiple features option works only with selected feature. Try again after "
            "selecting features.",
            "AssignMs Warning");
    const long count = maputil::RequireFeaturesToProcess(layer);
    progress.show("Processing...", 0, count, 1);
    if (!options.multiple) {
        assignSingle(options, layer, progress);
    } else {
        try {
            assignMultiple(options, layer, progress);
        } catch (const RunCancelled&) {
            throw;
        } catch (const std::exception& e) {
            const auto [number, description] = describe(e);
            throw HostError(description, number, kMultipleRoutine);
        }
    }
    progress.hide();
}

// ---- dialog ----------------------------------------------------------------------------------

const DialogDecl& frmAssignMstoReaches::declaration() {
    static const DialogDecl decl{
        "frmAssignMstoReaches",
        "Assign Measures to Reaches",
        {
            {.name = "cmbInput",
             .kind = ControlKind::List,
             .label = "Input Features",
             .frame = "Inputs",
             .defaultValue = "Centerline",
             .help = "measured line layer to give measures",
             .source = layersFor(channel::kMeasuredCenterline),
             .required = {"No layer selected for input features"}},
            {.name = "chkRelative",
             .kind = ControlKind::CheckBox,
             .label = "Assign Relative Ms (0 - 100)",
             .frame = "Inputs",
             .defaultValue = "0",
             .help = "measures from 0 to 100 instead of distances"},
            {.name = "chkMultiple",
             .kind = ControlKind::CheckBox,
             .label = "Assign Aggregate Ms to Multiple Features",
             .frame = "Inputs",
             .defaultValue = "0",
             .help = "one run of measures across the selected chain of lines"},
            {.name = "chkOrientation",
             .kind = ControlKind::CheckBox,
             .label = "Assign Ms in Reverse Direction (HEC-RAS)",
             .frame = "Inputs",
             .defaultValue = "0",
             .help = "measures grow against the digitised direction"},
            {.name = "txtStart",
             .kind = ControlKind::TextBox,
             .label = "Starting Ms (for Mulitple features)",
             .frame = "Inputs",
             .defaultValue = "0",
             .help = "first measure of the chain",
             .type = ValueType::Number,
             .enabledBy = "chkMultiple"},
            okButton("assign the measures"),
            cancelButton("close without assigning", "Command1"),
        }};
    return decl;
}

AssignMeasuresOptions frmAssignMstoReaches::options() const {
    return {.layer = text("cmbInput"),
            .relative = checked("chkRelative"),
            .multiple = checked("chkMultiple"),
            .reverse = checked("chkOrientation"),
            .start = number("txtStart").value_or(0)};
}

void frmAssignMstoReaches::onOk() {
    // The start is checked whether or not the box is enabled: a red start refuses every run.
    if (!holdsNumber(control("txtStart"))) {
        MsgBox("Enter a valid number for 'Start'", MsgButtons::OK, "Warning");
        return;
    }
    runThenUnload(ErrorStyle::Routine, "AssignMs (Main)", [&] {
        run(options(), currentDocument(), userInterface().statusProgress());
        MsgBox("Measures assigned successfully!", MsgButtons::OK, "Assign Ms to Reaches");
    });
}

}  // namespace ondu
