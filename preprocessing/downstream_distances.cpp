#include "preprocessing/downstream_distances.h"

#include <algorithm>
#include <map>
#include <vector>

#include "framework/channel_model.h"
#include "framework/error_report.h"
#include "framework/map_helpers.h"
#include "framework/shared_state.h"
#include "framework/ui.h"
#include "framework/vector_helpers.h"

namespace ondu {

namespace {

struct Section {
    FeaturePtr feature;
    double station;
};

/// Reach values in ascending order: numbers as numbers, texts by their characters.
struct Ascending {
    bool operator()(const FieldValue& a, const FieldValue& b) const {
        return vectorUtil::GreaterThan(b, a);
    }
};

/// The reach value as it is compared: the text of a text field, the number of any other.
FieldValue reachKey(const FieldValue& value, FieldType type) {
    if (type == FieldType::String) return toText(value);
    if (auto number = toDouble(value)) return *number;
    return value;
}

}  // namespace

void run(const DownstreamDistancesOptions& options, IDocument& map, IProgressBar& progress) {
    IFeatureLayer* layer = maputil::RequireLayer(&map, options.crossSections, "cross-section");
    const long count = maputil::RequireFeaturesToProcess(layer);
    IFeatureClass& sections = maputil::featureClassOf(layer);
    const int reachField = maputil::RequireField(sections, options.reachField);
    const int stationField = maputil::RequireField(sections, options.stationField);
    const std::string distanceName(channel::kDistanceDS.name);
    if (sections.findField(distanceName) < 0)
        maputil::AddField(layer, distanceName, channel::kDistanceDS.type);
    const int distanceField = maputil::RequireField(sections, distanceName);
    const FieldType reachType = sections.field(reachField).type;

    std::map<FieldValue, std::vector<Section>, Ascending> reaches;
    auto cursor = sections.search(nullptr);
    while (auto feature = cursor->nextFeature()) {
        const FieldValue reach = feature->value(reachField);
        if (isNull(reach)) continue;
        const double station = maputil::RequireNumber(*feature, stationField, sections);
        reaches[reachKey(reach, reachType)].push_back({std::move(feature), station});
    }

    progress.show("Processing...", 0, count, 1);
    for (auto& [reach, members] : reaches) {
        // Read in identifier order; a stable sort keeps that order among equal stations.
        std::stable_sort(members.begin(), members.end(),
                         [](const Section& a, const Section& b) { return a.station < b.station; });
        for (std::size_t i = 0; i < members.size(); ++i) {
            const double distance = i == 0 ? 0 : members[i].station - members[i - 1].station;
            members[i].feature->setValue(distanceField, distance);
            members[i].feature->store();
            stepOrStop(progress);
        }
    }
    progress.hide();
}

// ---- dialog ----------------------------------------------------------------------------------

const DialogDecl& frmAssignDnDs::declaration() {
    static const DialogDecl decl{
        "frmAssignDnDs",
        "Assign Downstream Distance to Xs",
        {
            {.name = "cmbCrossSections",
             .kind = ControlKind::List,
             .label = "Cross-section Layer",
             .frame = "Inputs",
             .defaultValue = "CrossSections",
             .help = "3D line layer of cross-sections",
             .source = layersFor(channel::kCrossSections),
             .required = {"No layer selected for cross-sections"}},
            {.name = "cmbRchField",
             .kind = ControlKind::List,
             .label = "Reach Identifier",
             .frame = "Inputs",
             .defaultValue = "ReachName",
             .help = "field grouping the cross-sections into reaches",
             .source = fieldsOf("cmbCrossSections"),
             .reproposesFirst = true,
             .required = {"No field selected for reach identifier"}},
            {.name = "cmbMsField",
             .kind = ControlKind::List,
             .label = "Station Identifier",
             .frame = "Inputs",
             .defaultValue = "StationNo",
             .help = "numeric field ordering the cross-sections of a reach",
             .source = fieldsOf("cmbCrossSections"),
             .reproposesFirst = true,
             .required = {"No field selected for station identifier"}},
            okButton("assign the distances"),
            cancelButton("close without assigning"),
        }};
    return decl;
}

DownstreamDistancesOptions frmAssignDnDs::options() const {
    return {.crossSections = text("cmbCrossSections"),
            .reachField = text("cmbRchField"),
            .stationField = text("cmbMsField")};
}

void frmAssignDnDs::onOk() {
    runThenUnload(ErrorStyle::Routine, "assigning d/s distance (Main)", [&] {
        run(options(), currentDocument(), userInterface().statusProgress());
        MsgBox("Downstream distances assigned to all cross-sections successfully!", MsgButtons::OK,
               "Assign downstream distances to cross-sections");
    });
}

}  // namespace ondu
