#include "preprocessing/hecras_reach.h"

#include <map>
#include <utility>
#include <vector>

#include "framework/channel_model.h"
#include "framework/error_report.h"
#include "framework/map_helpers.h"
#include "framework/shared_state.h"
#include "framework/ui.h"
#include "framework/vector_helpers.h"

namespace ondu {

namespace {

/// The segments of one river, grouped by reach in the order the reaches first occur.
struct River {
    std::vector<std::string> reachOrder;
    std::map<std::string, std::vector<long long>> segments;  ///< by reach value
};

/// The pairs as one read of the layer finds them. Text values keep the run free of where clauses,
/// so no river or reach name can break or change the selection.
struct Pairs {
    std::vector<std::string> riverOrder;  ///< rivers of the processing set, first occurrence
    std::map<std::string, River> rivers;
    long count = 0;
};

void addTextFieldWhenMissing(IFeatureLayer* layer, const std::string& name) {
    if (maputil::featureClassOf(layer).findField(name) < 0)
        maputil::AddField(layer, name, FieldType::String);
}

Pairs readPairs(IFeatureLayer* input, int riverField, int reachField) {
    Pairs pairs;
    auto all = maputil::featureClassOf(input).search(nullptr);
    while (auto segment = all->nextFeature()) {
        const FieldValue r = segment->value(riverField), c = segment->value(reachField);
        if (isNull(r) || isNull(c)) continue;
        River& river = pairs.rivers[toText(r)];
        auto [entry, added] = river.segments.try_emplace(toText(c));
        if (added) {
            river.reachOrder.push_back(toText(c));
            ++pairs.count;
        }
        entry->second.push_back(segment->OID());
    }
    std::map<std::string, bool> listed;
    auto processed = maputil::GetFeatureCursor(input);
    while (auto segment = processed->nextFeature()) {
        const FieldValue r = segment->value(riverField), c = segment->value(reachField);
        if (isNull(r) || isNull(c)) continue;
        if (!listed.emplace(toText(r), true).second) continue;
        pairs.riverOrder.push_back(toText(r));
    }
    return pairs;
}

void select(IFeatureLayer* layer, const std::vector<long long>& ids) {
    ISelectionSet& selection = layer->selectionSet();
    selection.clear();
    for (long long id : ids) selection.add(id);
}

/// The pair's segments joined along their chain; a chain that cannot be walked names the pair.
Polyline joinedReach(IFeatureLayer* input, const std::string& river, const std::string& reach) {
    try {
        return vectorUtil::MergeLinesInOrder(input);
    } catch (const std::exception& e) {
        const auto [number, description] = describe(e);
        throw HostError(description + " (river '" + river + "', reach '" + reach + "')", number);
    }
}

}  // namespace

void run(const HecReachOptions& options, IDocument& map, IProgressBar& progress) {
    IFeatureLayer* input = maputil::RequireLayer(&map, options.centerline, "centerline");
    IFeatureLayer* output = maputil::RequireLayer(&map, options.reach, "reach");
    maputil::RefuseSameLayer(output, "reach", input, "centerline");
    maputil::RequireFeaturesToProcess(input);
    IFeatureClass& segments = maputil::featureClassOf(input);
    const int riverField = maputil::RequireField(segments, options.riverField);
    const int reachField = maputil::RequireField(segments, options.reachField);

    for (const auto& link : {channel::kFromLine, channel::kToLine})
        if (segments.findField(std::string(link.name)) < 0)
            maputil::AddField(input, std::string(link.name), link.type);
    addTextFieldWhenMissing(output, options.riverField);
    addTextFieldWhenMissing(output, options.reachField);
    IFeatureClass& reaches = maputil::featureClassOf(output);
    const int riverOut = maputil::RequireField(reaches, options.riverField);
    const int reachOut = maputil::RequireField(reaches, options.reachField);
    const bool zAware = maputil::HasZValues(input) && maputil::HasZValues(output);

    const Pairs pairs = readPairs(input, riverField, reachField);
    progress.show("Processing...", 0, pairs.count, 1);
    for (const std::string& r : pairs.riverOrder) {
        const River& river = pairs.rivers.at(r);
        for (const std::string& c : river.reachOrder) {
            select(input, river.segments.at(c));
            Polyline line = joinedReach(input, r, c);
            FeaturePtr feature = reaches.createFeature();
            feature->setShape(zAware ? vectorUtil::MakeZAwarePolyline(line)
                                     : vectorUtil::ClearZAware(line));
            feature->setValue(riverOut, r);
            feature->setValue(reachOut, c);
            feature->store();
            stepOrStop(progress);
        }
    }
    progress.hide();
}

// ---- dialog ----------------------------------------------------------------------------------

const DialogDecl& frmCreateHECReach::declaration() {
    static const DialogDecl decl{
        "frmCreateHECReach",
        "Create HEC-RAS Reach",
        {
            {.name = "cmbInput",
             .kind = ControlKind::List,
             .label = "Centerline Layer",
             .frame = "Input Data",
             .defaultValue = "CenterLine",
             .help = "line layer of centerline segments",
             .source = layersFor(channel::kCenterLine),
             .required = {"No layer selected for centerline"}},
            {.name = "cmbRiver",
             .kind = ControlKind::List,
             .label = "River Name",
             .frame = "Input Data",
             .defaultValue = "RiverName",
             .help = "field holding the river name",
             .source = fieldsOf("cmbInput"),
             .reproposed = "River",
             .required = {"No field selected for river name"}},
            {.name = "cmbReach",
             .kind = ControlKind::List,
             .label = "Reach Identifier",
             .frame = "Input Data",
             .defaultValue = "ReachName",
             .help = "field holding the reach name",
             .source = fieldsOf("cmbInput"),
             .reproposed = "ReachID",
             .required = {"No field selected for reach identifier"}},
            {.name = "cmbOutput",
             .kind = ControlKind::List,
             .label = "Reach Layer",
             .frame = "Output",
             .defaultValue = "Reach",
             .help = "measured line layer receiving one line per river and reach",
             .source = layersFor(channel::kMeasuredReach),
             .required = {"No layer selected for reach"}},
            okButton("create the reaches"),
            cancelButton("close without creating"),
        }};
    return decl;
}

HecReachOptions frmCreateHECReach::options() const {
    return {.centerline = text("cmbInput"),
            .riverField = text("cmbRiver"),
            .reachField = text("cmbReach"),
            .reach = text("cmbOutput")};
}

void frmCreateHECReach::onOk() {
    runThenUnload(ErrorStyle::Routine, "CreateHECReach (Main)", [&] {
        run(options(), currentDocument(), userInterface().statusProgress());
        MsgBox("HEC-RAS reach created successfully!");
    });
}

}  // namespace ondu
