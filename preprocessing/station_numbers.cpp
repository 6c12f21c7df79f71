#include "preprocessing/station_numbers.h"

#include <memory>
#include <vector>

#include "framework/channel_model.h"
#include "framework/error_report.h"
#include "framework/map_helpers.h"
#include "framework/shared_state.h"
#include "framework/ui.h"
#include "framework/vector_helpers.h"

namespace ondu {

namespace {

/// The reaches of the whole layer (any selection ignored), in identifier order, indexed.
struct Reaches {
    std::vector<FieldValue> ids;
    std::unique_ptr<vectorUtil::SegmentIndex> index;
};

Reaches readReaches(IFeatureLayer* layer, int idField) {
    Reaches reaches;
    std::vector<Polyline> lines;
    auto cursor = maputil::featureClassOf(layer).search(nullptr);
    while (auto feature = cursor->nextFeature()) {
        lines.push_back(maputil::CheckedPolyline(*feature, layer->name()));
        reaches.ids.push_back(feature->value(idField));
    }
    reaches.index = std::make_unique<vectorUtil::SegmentIndex>(std::move(lines));
    return reaches;
}

void addFieldWhenMissing(IFeatureLayer* layer, const std::string& name, FieldType type) {
    if (maputil::featureClassOf(layer).findField(name) < 0) maputil::AddField(layer, name, type);
}

}  // namespace

void run(const StationNumbersOptions& options, IDocument& map, IProgressBar& progress) {
    IFeatureLayer* sections = maputil::RequireLayer(&map, options.crossSections, "cross-section");
    IFeatureLayer* reaches = maputil::RequireLayer(&map, options.reach, "reach");
    maputil::RefuseSameLayer(sections, "cross-section", reaches, "reach");
    const long count = maputil::RequireFeaturesToProcess(sections);
    IFeatureClass& reachClass = maputil::featureClassOf(reaches);
    const int reachId = maputil::RequireField(reachClass, options.reachField);

    addFieldWhenMissing(sections, options.reachField, reachClass.field(reachId).type);
    addFieldWhenMissing(sections, std::string(channel::kStationNo.name), channel::kStationNo.type);
    IFeatureClass& sectionClass = maputil::featureClassOf(sections);
    const int idOut = maputil::RequireField(sectionClass, options.reachField);
    const int stationOut =
        maputil::RequireField(sectionClass, std::string(channel::kStationNo.name));

    const Reaches lines = readReaches(reaches, reachId);
    progress.show("Processing...", 0, count, 1);
    auto cursor = maputil::GetFeatureCursor(sections);
    while (auto section = cursor->nextFeature()) {
        const auto found =
            lines.index->meetings(maputil::CheckedPolyline(*section, sections->name()), 1);
        if (found.empty())
            throw HostError("Cross-section " + std::to_string(section->OID()) + " of " +
                                sections->name() + " crosses no reach of " + reaches->name(),
                            error_number::kObjectNotSet);
        section->setValue(stationOut, vectorUtil::GetMAtPoint(found[0].first, found[0].piece));
        section->setValue(idOut, lines.ids[found[0].line]);
        section->store();
        stepOrStop(progress);
    }
    progress.hide();
}

// ---- dialog ----------------------------------------------------------------------------------

const DialogDecl& frmAssignStnNotoCS::declaration() {
    static const DialogDecl decl{"frmAssignStnNotoCS",
                                 "Assign Station Numbers to CrossSections",
                                 {
                                     {.name = "cmbCrossSection",
                                      .kind = ControlKind::List,
                                      .label = "Cross-section Layer",
                                      .frame = "Cross-sections",
                                      .defaultValue = "CrossSections",
                                      .help = "3D line layer of cross-sections",
                                      .source = layersFor(channel::kCrossSections),
                                      .required = {"No layer selected for cross-sections"}},
                                     {.name = "cmbReach",
                                      .kind = ControlKind::List,
                                      .label = "Reach Layer",
                                      .frame = "Reaches",
                                      .defaultValue = "Reach",
                                      .help = "measured line layer of reaches",
                                      .source = layersFor(channel::kReach),
                                      .required = {"No layer selected for reach"}},
                                     {.name = "cmbField",
                                      .kind = ControlKind::List,
                                      .label = "Reach Identifier",
                                      .frame = "Reaches",
                                      .defaultValue = "ReachName",
                                      .help = "reach field copied to the cross-sections",
                                      .source = fieldsOf("cmbReach"),
                                      .reproposed = std::string(channel::kHydroCode),
                                      .required = {"No field selected for reach identifier"}},
                                     okButton("assign the stations"),
                                     cancelButton("close without assigning"),
                                 }};
    return decl;
}

StationNumbersOptions frmAssignStnNotoCS::options() const {
    return {.crossSections = text("cmbCrossSection"),
            .reach = text("cmbReach"),
            .reachField = text("cmbField")};
}

void frmAssignStnNotoCS::onOk() {
    runThenUnload(ErrorStyle::Routine, "assiging station numbers (Main)", [&] {
        run(options(), currentDocument(), userInterface().statusProgress());
        MsgBox("Station numbers assigned successfully!", MsgButtons::OK, "Assign station numbers");
    });
}

}  // namespace ondu
